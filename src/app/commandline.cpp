#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

WindowCommandLine parseWindowCommandLine(const QStringList &arguments)
{
    WindowCommandLine result;
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
                                                       "any serial device or a link to one, listed or not "
                                                       "(/dev/ttyUSB0, /dev/ttySC0, /dev/pts/3), or a network line "
                                                       "through a gateway: tcp://HOST[:PORT] (Modbus TCP, port 502 "
                                                       "by default) or rtu+tcp://HOST:PORT (RTU over TCP)."),
                                        QStringLiteral("NAME|URL"));
    parser.addOptions({ help, version, portOption });
    // The options of QGuiApplication, QApplication and the X11 platform that
    // take a value: known here only so that their values are not taken for
    // a project file.
    for (const char *qtOption : { "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                  "qwindowicon", "qwindowtitle", "geometry", "title", "icon", "session", "display",
                                  "name", "visual", "style", "stylesheet" }) {
        QCommandLineOption option(QLatin1String(qtOption), QString(), QStringLiteral("VALUE"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A project file to open (.kelvaset, or however it is named): "
                                                "its line and sensors."),
                                 QStringLiteral("[PROJECT]"));
    // Unknown options are the toolkit's, so a failed parse is no error here.
    parser.parse(arguments);
    if (parser.isSet(help)) {
        result.action = WindowCommandLine::Action::ShowHelp;
        result.text = parser.helpText()
                + QStringLiteral("\nQt's own options, such as -platform NAME, -style NAME and -geometry WxH+X+Y,\n"
                                 "are accepted too.\n");
        return result;
    }
    if (parser.isSet(version)) {
        result.action = WindowCommandLine::Action::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion());
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        result.action = WindowCommandLine::Action::Refuse;
        result.text = QStringLiteral("one project file at most, not %1.").arg(positional.join(QLatin1Char(' ')));
        return result;
    }
    result.port = parser.value(portOption);
    result.project = positional.value(0);
    return result;
}
