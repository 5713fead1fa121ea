#include "aboutdialog.h"

#include <QCoreApplication>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    // The name and version come from the application identity, so the dialog
    // never disagrees with the window title.
    setWindowTitle(QDialog::tr("About %0").arg(QCoreApplication::applicationName()));
    aboutTextLabel->setText(aboutTextLabel->text().arg(QCoreApplication::applicationVersion()));
}
