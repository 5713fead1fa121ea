#ifndef ABOUTDIALOG_H
#define ABOUTDIALOG_H

#include "ui_aboutdialog.h"

#include <QDialog>

// Shows the program's name and version with the maker's logo, address and
// links. It has no slots of its own: the form connects its OK button to
// accept(), and links open in the desktop's default handler.
class AboutDialog : public QDialog, public Ui::AboutDialog
{
public:
    explicit AboutDialog(QWidget *parent = nullptr);
};

#endif // ABOUTDIALOG_H
