#ifndef MAINFORM_H
#define MAINFORM_H

#include "device/parameterform.h"
#include "ui_mainwindow.h"

#include <QMainWindow>

// The main window's form without the window's controller: what the
// operations fill and take values from in tests of the operations alone.
class MainForm : public QMainWindow
{
public:
    MainForm();

    Ui::MainWindowClass ui;
    ParameterForm parameters;

    // Names of the parameter widgets that are disabled, in parameter order.
    QStringList disabledParameters() const;
};

#endif // MAINFORM_H
