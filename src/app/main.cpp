#include "mainwindow.h"
#include "resources.h"

#include <QApplication>
#include <QCommandLineParser>
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

// Answers --help and --version, and returns true when it has. This runs
// before QApplication exists, because QApplication needs a display and
// aborts without one, and a version query must work on any terminal. A
// console application is enough for the parser; it is gone again before the
// real one is made. Every other argument is left alone: -platform, -style,
// -geometry and the like are QApplication's.
bool answeredCommandLineQuery(int &argc, char **argv, QString *port, QString *project)
{
    QCoreApplication console(argc, argv);
    setApplicationIdentity();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Configures and monitors the Kelvane solar irradiance sensor over a Modbus RTU serial line, or "
            "over the network through a gateway."));
    // Qt's own options are single-dash words; read as bundles of letters,
    // "-reverse" would hold a -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help and quit."));
    const QCommandLineOption version(QStringList{ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Show the program's name and version and quit."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Preselect this port: its name as the port list shows it, "
                                                       "its device (for example /dev/ttyUSB0), or a network line "
                                                       "through a gateway: tcp://HOST[:PORT] (Modbus TCP, port 502 "
                                                       "by default) or rtu+tcp://HOST:PORT (RTU over TCP)."),
                                        QStringLiteral("NAME|URL"));
    parser.addOptions({ help, version, portOption });
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A project file (.kelvaset) to open: its line and sensors."),
                                 QStringLiteral("[PROJECT.kelvaset]"));
    // Unknown options are the toolkit's, so a failed parse is no error here.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs("\nQt's own options, such as -platform NAME, -style NAME and -geometry WxH+X+Y,\n"
                   "are accepted too.\n", stdout);
        return true;
    }
    *port = parser.value(portOption);
    for (const QString &argument : parser.positionalArguments()) {
        if (argument.endsWith(QStringLiteral(".kelvaset")))
            *project = argument;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return true;
    }
    return false;
}
}

int main(int argc, char *argv[])
{
    // Images must resolve before any widget is built.
    registerImageResources();
    QString port;
    QString project;
    if (answeredCommandLineQuery(argc, argv, &port, &project))
        return 0;
    QApplication application(argc, argv);
    setApplicationIdentity();
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.orvanto.Kelvaset"));
    MainWindow window(port);
    window.show();
    if (!project.isEmpty())
        QTimer::singleShot(0, &window, [&window, project] { window.openProject(project); });
    return application.exec();
}
