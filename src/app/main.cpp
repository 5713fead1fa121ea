#include "commandline.h"
#include "link/networkline.h"
#include "mainwindow.h"
#include "ports/portresolution.h"
#include "ports/serialportenumerator.h"
#include "resources.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
void setApplicationIdentity()
{
    // The settings store is located by these names, so they are set before
    // the window, whose constructor already reads the settings.
    QCoreApplication::setOrganizationName(QStringLiteral("Orvanto"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvanto.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvaset"));
    // The build puts the project's version here.
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVASET_VERSION));
}

// Reads the command line before QApplication exists, because QApplication
// needs a display and aborts without one, and --help, --version and a
// refusal must work on any terminal. A console application is enough for the
// parser; it is gone again before the real one is made.
WindowCommandLine readCommandLine(int &argc, char **argv)
{
    QCoreApplication console(argc, argv);
    setApplicationIdentity();
    return parseWindowCommandLine(QCoreApplication::arguments());
}
}

int main(int argc, char *argv[])
{
    // Images must resolve before any widget is built.
    registerImageResources();
    const WindowCommandLine commandLine = readCommandLine(argc, argv);
    switch (commandLine.action) {
    case WindowCommandLine::Action::ShowHelp:
    case WindowCommandLine::Action::ShowVersion:
        std::fputs(qPrintable(commandLine.text), stdout);
        return 0;
    case WindowCommandLine::Action::Refuse:
        std::fprintf(stderr, "kelvaset: %s\nTry kelvaset --help.\n", qPrintable(commandLine.text));
        return 2;
    case WindowCommandLine::Action::Run:
        break;
    }
    if (!commandLine.port.isEmpty() && !NetworkLine::looksLikeUrl(commandLine.port)) {
        // Any serial device may be named, listed or not; a path to
        // something else is told at once. A network line is listed by the
        // window.
        const QString problem = portNameProblem(commandLine.port);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kelvaset: --port: %s\n", qPrintable(problem));
            return 2;
        }
        SerialPortEnumerator::listNamedPort(commandLine.port);
    }
    QApplication application(argc, argv);
    setApplicationIdentity();
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.orvanto.Kelvaset"));
    MainWindow window(commandLine.port);
    window.show();
    // Whatever its extension: a file that is no project is told in the box
    // File > Open project shows.
    const QString project = commandLine.project;
    if (!project.isEmpty())
        QTimer::singleShot(0, &window, [&window, project] { window.openProject(project); });
    return application.exec();
}
