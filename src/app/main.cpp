#include "mainwindow.h"
#include "resources.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Images must resolve before any widget is built.
    registerImageResources();
    QApplication application(argc, argv);
    // The settings store is located by these names, so they come before the
    // window, whose constructor already reads the settings.
    QCoreApplication::setOrganizationName(QStringLiteral("Orvanto"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvanto.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvaset"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.3"));
    MainWindow window;
    window.show();
    return application.exec();
}
