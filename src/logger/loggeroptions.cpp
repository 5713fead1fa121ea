#include "loggeroptions.h"

#include "acq/recordlog.h"
#include "link/networkline.h"
#include "link/serialline.h"
#include "ports/portresolution.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace {

constexpr int LowestAddress = 1;
constexpr int HighestAddress = 247;
constexpr int LongestPeriodMs = 60000;
constexpr int DefaultPeriodMs = 1000;
constexpr int SecondsPerDay = 86400;
constexpr int HeadroomPerSensor = 1000;

// A whole number from lowest to highest, or false.
bool takeNumber(const QString &text, int lowest, int highest, int *number)
{
    bool ok = false;
    const int read = text.toInt(&ok);
    if (!ok || read < lowest || read > highest)
        return false;
    *number = read;
    return true;
}

int bitRateCodeOf(const QString &text)
{
    bool ok = false;
    const int baud = text.toInt(&ok);
    for (int code = 0; ok && code < BitRateCodeCount; ++code) {
        if (baudForCode(code) == baud)
            return code;
    }
    return -1;
}

int framingCodeOf(const QString &text)
{
    for (int code = 0; code < FramingCodeCount; ++code) {
        if (framingName(code).compare(text, Qt::CaseInsensitive) == 0)
            return code;
    }
    return -1;
}

// "1,2,3": addresses 1 to 247, none twice.
bool takeAddresses(const QString &text, QVector<ProjectSensor> *sensors)
{
    QSet<int> seen;
    for (const QString &part : text.split(QLatin1Char(','))) {
        ProjectSensor sensor;
        if (!takeNumber(part.trimmed(), LowestAddress, HighestAddress, &sensor.address) || seen.contains(sensor.address))
            return false;
        seen.insert(sensor.address);
        sensors->append(sensor);
    }
    return !sensors->isEmpty();
}

// HOST, HOST:PORT or [IPv6]:PORT.
bool takeBroker(const QString &text, MqttOptions *mqtt)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:\\[([^\\]]+)\\]|([^:\\[\\]]+))(?::(\\d+))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    mqtt->host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    return match.captured(3).isEmpty() || takeNumber(match.captured(3), 1, 65535, &mqtt->port);
}

// The broker tells its clients apart by this, and it names the logger's
// status topic: one per host and line, with no character a topic treats
// specially.
QString clientIdFor(const LoggerOptions &options, const QString &projectPath)
{
    const QString line = projectPath.isEmpty() ? QFileInfo(options.line.portName).fileName()
                                               : QFileInfo(projectPath).completeBaseName();
    QString id = QStringLiteral("kelvaset-%1-%2").arg(QSysInfo::machineHostName(), line);
    return id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
}

} // namespace

int LoggerOptions::defaultQueueLimit(int sensors, int recordSeconds)
{
    const qint64 recordsPerDay = recordSeconds > 0 ? SecondsPerDay / recordSeconds : 0;
    return int(qMin<qint64>(qint64(sensors) * (recordsPerDay + HeadroomPerSensor), std::numeric_limits<int>::max()));
}

LoggerCommandLine parseLoggerCommandLine(const QStringList &arguments)
{
    LoggerCommandLine result;
    const auto refuse = [&result](const QString &why) {
        result.action = LoggerCommandLine::Action::Refuse;
        result.text = why;
        return result;
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Logs the Kelvane sensors of one RS-485 line around the clock: a CSV file of samples per sensor, "
            "interval records, and an MQTT feed. Runs without a display, as a service."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help and quit."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Show the program's name and version and quit."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The line's port instead of a project: its name in the port list, "
                                                 "any serial device or a link to one (/dev/ttySC0, /dev/pts/3), or "
                                                 "a network line through a gateway (tcp://HOST[:PORT] for Modbus "
                                                 "TCP, rtu+tcp://HOST:PORT for RTU over TCP)."),
                                  QStringLiteral("NAME|DEVICE|URL"));
    const QCommandLineOption bitRate(QStringLiteral("bit-rate"),
                                     QStringLiteral("Bit rate of --port: 9600, 19200, 38400, 57600 or 115200."),
                                     QStringLiteral("BAUD"), QStringLiteral("19200"));
    const QCommandLineOption framing(QStringLiteral("framing"), QStringLiteral("Framing of --port: 8N1, 8E1, 8O1 or 8N2."),
                                     QStringLiteral("FRAMING"), QStringLiteral("8N1"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("The node addresses of the sensors on --port, as 1,2,3."),
                                     QStringLiteral("LIST"));
    const QCommandLineOption period(QStringLiteral("period"),
                                    QStringLiteral("Reading period, 1 to 60000 ms (the project's, or 1000)."),
                                    QStringLiteral("MS"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Directory of the CSV files (the working directory), created if missing."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Write interval records of this many seconds, aligned to UTC; "
                                                   "the length must divide a day."),
                                    QStringLiteral("SECONDS"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"), QStringLiteral("Publish to this MQTT broker (port 1883)."),
                                  QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption mqttUser(QStringLiteral("mqtt-user"), QStringLiteral("User name at the broker."),
                                      QStringLiteral("USER"));
    const QCommandLineOption mqttPasswordFile(QStringLiteral("mqtt-password-file"),
                                              QStringLiteral("File whose first line is the broker password."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption mqttCa(QStringLiteral("mqtt-tls-ca"),
                                    QStringLiteral("Connect with TLS, trusting this CA certificate file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mqttQueue(QStringLiteral("mqtt-queue"),
                                       QStringLiteral("Messages kept while the broker is away (a day of records "
                                                      "of every sensor plus 1000 a sensor)."),
                                       QStringLiteral("N"));
    parser.addOptions({ help, version, port, bitRate, framing, address, period, out, record, mqtt, mqttUser,
                        mqttPasswordFile, mqttCa, mqttQueue });
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("The project file (.kelvaset): port, line, period and sensors."),
                                 QStringLiteral("[PROJECT.kelvaset]"));

    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        result.action = LoggerCommandLine::Action::ShowHelp;
        result.text = parser.helpText() + QStringLiteral(
                "\nExit codes:\n"
                "  0  stopped by SIGTERM or SIGINT, every file whole\n"
                "  1  the output directory or the MQTT client could not be set up\n"
                "  2  refused arguments (a --port that is no serial device too)\n"
                "  3  the port is held by another program, or would not open: a service retries\n"
                "  4  this account may not use the port's device: a service does not retry\n");
        return result;
    }
    if (parser.isSet(version)) {
        result.action = LoggerCommandLine::Action::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion());
        return result;
    }

    LoggerOptions &options = result.options;
    const QStringList positional = parser.positionalArguments();
    const bool lineGiven = parser.isSet(port) || parser.isSet(bitRate) || parser.isSet(framing) || parser.isSet(address);
    if (positional.size() > 1)
        return refuse(QStringLiteral("one project file at most, not %1.").arg(positional.join(QLatin1Char(' '))));
    if (positional.isEmpty() == !lineGiven)
        return refuse(QStringLiteral("give a project file, or the line with --port and --address, not both."));
    if (!positional.isEmpty()) {
        QString error;
        if (!options.line.load(positional.first(), &error))
            return refuse(error);
        if (options.line.sensors.isEmpty())
            return refuse(QStringLiteral("%1 lists no sensor.").arg(positional.first()));
    } else {
        if (!parser.isSet(port) || !parser.isSet(address))
            return refuse(QStringLiteral("--port and --address go together."));
        options.line.portName = parser.value(port);
        NetworkLine network;
        if (NetworkLine::looksLikeUrl(options.line.portName)) {
            if (!NetworkLine::parse(options.line.portName, &network))
                return refuse(QStringLiteral("--port %1 is no network line: write tcp://HOST[:PORT] or "
                                             "rtu+tcp://HOST:PORT.").arg(options.line.portName));
        } else {
            const QString portProblem = portNameProblem(options.line.portName);
            if (!portProblem.isEmpty())
                return refuse(QStringLiteral("--port: %1").arg(portProblem));
        }
        options.line.bitRateCode = bitRateCodeOf(parser.value(bitRate));
        options.line.framingCode = framingCodeOf(parser.value(framing));
        options.line.periodMs = DefaultPeriodMs;
        if (options.line.bitRateCode < 0)
            return refuse(QStringLiteral("--bit-rate must be 9600, 19200, 38400, 57600 or 115200."));
        if (options.line.framingCode < 0)
            return refuse(QStringLiteral("--framing must be 8N1, 8E1, 8O1 or 8N2."));
        if (!takeAddresses(parser.value(address), &options.line.sensors))
            return refuse(QStringLiteral("--address must list addresses from 1 to 247, none twice."));
    }
    if (parser.isSet(period) && !takeNumber(parser.value(period), 1, LongestPeriodMs, &options.line.periodMs))
        return refuse(QStringLiteral("--period must be 1 to 60000 ms."));
    options.outputDirectory = QDir(parser.isSet(out) ? parser.value(out) : QDir::currentPath()).absolutePath();
    if (parser.isSet(record) && (!takeNumber(parser.value(record), 1, SecondsPerDay, &options.recordSeconds)
                                 || !RecordLog::isValidInterval(options.recordSeconds)))
        return refuse(QStringLiteral("--record must be a number of seconds that divides a day (60, 300, 900...)."));

    options.mqttEnabled = parser.isSet(mqtt);
    const bool mqttDetails = parser.isSet(mqttUser) || parser.isSet(mqttPasswordFile) || parser.isSet(mqttCa)
            || parser.isSet(mqttQueue);
    if (!options.mqttEnabled && mqttDetails)
        return refuse(QStringLiteral("--mqtt-user, --mqtt-password-file, --mqtt-tls-ca and --mqtt-queue need --mqtt."));
    if (options.mqttEnabled) {
        if (!takeBroker(parser.value(mqtt), &options.mqtt))
            return refuse(QStringLiteral("--mqtt must be HOST or HOST:PORT, the port 1 to 65535."));
        options.mqtt.clientId = clientIdFor(options, positional.value(0));
        options.mqtt.username = parser.value(mqttUser);
        if (parser.isSet(mqttPasswordFile)) {
            QFile file(parser.value(mqttPasswordFile));
            if (!file.open(QIODevice::ReadOnly))
                return refuse(QStringLiteral("cannot read the password file %1: %2").arg(file.fileName(), file.errorString()));
            options.mqtt.password = QString::fromUtf8(file.readLine()).remove(QRegularExpression(QStringLiteral("\r?\n$")));
        }
        options.mqtt.caFile = parser.value(mqttCa);
        if (parser.isSet(mqttCa) && !QFileInfo(options.mqtt.caFile).isReadable())
            return refuse(QStringLiteral("cannot read the CA file %1.").arg(options.mqtt.caFile));
        options.mqttQueueLimit = LoggerOptions::defaultQueueLimit(options.line.sensors.size(), options.recordSeconds);
        if (parser.isSet(mqttQueue) && !takeNumber(parser.value(mqttQueue), 1, std::numeric_limits<int>::max(),
                                                   &options.mqttQueueLimit))
            return refuse(QStringLiteral("--mqtt-queue must be a number of messages, 1 or more."));
    }
    result.action = LoggerCommandLine::Action::Run;
    return result;
}
