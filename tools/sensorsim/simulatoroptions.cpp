#include "simulatoroptions.h"

#include <QCommandLineParser>
#include <QHash>

#include <algorithm>
#include <iterator>

namespace {
// Accepts decimal and 0x-prefixed hexadecimal, within [minimum, maximum].
bool parseNumber(const QString &text, qint64 minimum, qint64 maximum, qint64 *value)
{
    bool ok = false;
    const qint64 parsed = text.trimmed().toLongLong(&ok, 0);
    if (!ok || parsed < minimum || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

// A one-shot fault option: "N" or, with a time, "N:MS".
struct OneShotOption
{
    const char *name;
    const char *description;
    OneShotFaults::Kind kind;
    qint64 maximumMs;           // 0: the option takes no time
};

const OneShotOption oneShotOptions[] = {
    { "late-reply-at", "Send the reply to frame N MS ms late; frames arriving meanwhile are "
      "heard at once and answered after it. Repeatable.",
      OneShotFaults::Kind::LateReply, 600000 },
    { "duplicate-reply-at", "Send the reply to frame N twice, the copy right after it with no "
      "silence between. Repeatable.",
      OneShotFaults::Kind::DuplicateReply, 0 },
    { "garbage-at", "Instead of the reply to frame N, send a longer burst that is no valid frame "
      "(the reply's length with a failing check, then junk). Repeatable.",
      OneShotFaults::Kind::Garbage, 0 },
    { "byte-gap-at", "Pause MS ms after the third byte of the reply to frame N. Repeatable.",
      OneShotFaults::Kind::ByteGap, 10000 },
};

using Assign = void (*)(SimulatorOptions *, qint64);

struct NumericOption
{
    const char *name;
    const char *description;
    qint64 minimum;
    qint64 maximum;
    Assign assign;
};

const NumericOption numericOptions[] = {
    { "firmware", "Firmware version, e.g. 0x80010000 (default).", 0, 0xFFFFFFFFLL,
      [](SimulatorOptions *o, qint64 v) { o->identity.firmwareVersion = static_cast<quint32>(v); } },
    { "serial", "Serial number (default 9000).", 0, 0xFFFFFFFFLL,
      [](SimulatorOptions *o, qint64 v) { o->identity.serialNumber = static_cast<quint32>(v); } },
    { "node", "Node (slave) address, 1 to 247 (default 1).", 1, 247,
      [](SimulatorOptions *o, qint64 v) { o->configuration.node = static_cast<quint16>(v); } },
    { "bitrate", "Bit-rate code 0 to 4: 9600, 19200 (1, default), 38400, 57600, 115200.", 0, 4,
      [](SimulatorOptions *o, qint64 v) { o->configuration.bitRate = static_cast<quint16>(v); } },
    { "serialconf", "Framing code 0 to 3: 8N1 (0, default), 8E1, 8O1, 8N2.", 0, 3,
      [](SimulatorOptions *o, qint64 v) { o->configuration.serialConf = static_cast<quint16>(v); } },
    { "delay", "Delay register, 1 to 100 (default 1).", 1, 100,
      [](SimulatorOptions *o, qint64 v) { o->configuration.delay = static_cast<quint16>(v); } },
    { "anmode", "Analogue output mode code, 0 to 4 (default 1).", 0, 4,
      [](SimulatorOptions *o, qint64 v) { o->configuration.anOutputMode = static_cast<quint16>(v); } },
    { "anselect", "Analogue output selection code, 0 to 3 (default 0).", 0, 3,
      [](SimulatorOptions *o, qint64 v) { o->configuration.anOutputSelect = static_cast<quint16>(v); } },
    { "pt100enable", "PT100 enable, 0 or 1 (default 1).", 0, 1,
      [](SimulatorOptions *o, qint64 v) { o->configuration.pt100Enable = static_cast<quint16>(v); } },
    { "constperpulse", "Constant per pulse, raw units of 1/2048 (default 2949).", 1, 0xFFFF,
      [](SimulatorOptions *o, qint64 v) { o->configuration.constPerPulse = static_cast<quint16>(v); } },
    { "status", "Status bits 0 to 5 (default 0x1B).", 0, 0x3F,
      [](SimulatorOptions *o, qint64 v) { o->identity.statusBits = static_cast<quint16>(v); } },
    { "answer-from", "Answer a request only at its Nth identical arrival in a row.", 1, 1000000,
      [](SimulatorOptions *o, qint64 v) { o->faults.answerFrom = static_cast<int>(v); } },
    { "reply-delay", "Wait this many ms before replying.", 0, 600000,
      [](SimulatorOptions *o, qint64 v) { o->replyDelayMs = static_cast<int>(v); } },
    { "byte-gap", "Pause this many ms between the bytes of a reply.", 0, 10000,
      [](SimulatorOptions *o, qint64 v) { o->byteGapMs = static_cast<int>(v); } },
    { "vanish-after", "Disappear like an unplugged adapter after N requests.", 1, 1000000000,
      [](SimulatorOptions *o, qint64 v) { o->vanishAfter = static_cast<int>(v); } },
};
}

QList<SensorSetup> SimulatorOptions::sensorSetups() const
{
    if (lineSensors.isEmpty())
        return { SensorSetup{ identity, configuration, stateFile, true } };
    QList<SensorSetup> setups;
    QHash<quint32, int> sameSerial;
    for (const LineSensorOption &sensor : lineSensors) {
        SensorSetup setup{ identity, configuration, QString(), faultSensor == 0 || faultSensor == sensor.node };
        setup.identity.serialNumber = sensor.serialNumber;
        setup.identity.firmwareVersion = sensor.firmwareVersion.value_or(identity.firmwareVersion);
        setup.configuration.node = static_cast<quint16>(sensor.node);
        // A second sensor with the serial number of another (a cloned unit)
        // keeps its state apart: STATE.SERIAL.1, .2, ...
        const int before = sameSerial[sensor.serialNumber]++;
        if (!stateFile.isEmpty()) {
            setup.stateFile = stateFile + QLatin1Char('.') + QString::number(sensor.serialNumber)
                    + (before > 0 ? QStringLiteral(".%1").arg(before) : QString());
        }
        setups.append(setup);
    }
    return setups;
}

namespace {
bool parseLineSensors(const QStringList &entries, SimulatorOptions *options, QString *error)
{
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        qint64 node = 0;
        qint64 serial = 0;
        qint64 firmware = 0;
        if (parts.size() < 2 || parts.size() > 3 || !parseNumber(parts.at(0), 1, 247, &node)
                || !parseNumber(parts.at(1), 0, 0xFFFFFFFFLL, &serial)
                || (parts.size() == 3 && !parseNumber(parts.at(2), 0, 0xFFFFFFFFLL, &firmware))) {
            *error = QStringLiteral("--sensor needs ADDR:SERIAL[:FIRMWARE] (ADDR from 1 to 247), not \"%1\"")
                    .arg(entry);
            return false;
        }
        for (const LineSensorOption &other : options->lineSensors) {
            if (other.node == node) {
                *error = QStringLiteral("--sensor %1: another sensor already has node address %2").arg(entry).arg(node);
                return false;
            }
        }
        LineSensorOption sensor{ static_cast<int>(node), static_cast<quint32>(serial), std::nullopt };
        if (parts.size() == 3)
            sensor.firmwareVersion = static_cast<quint32>(firmware);
        options->lineSensors.append(sensor);
    }
    return true;
}

// --fault-sensor ADDR, which must name a sensor on the line.
bool parseFaultSensor(const QString &text, SimulatorOptions *options, QString *error)
{
    qint64 node = 0;
    bool known = parseNumber(text, 1, 247, &node);
    if (known && options->lineSensors.isEmpty())
        known = node == options->configuration.node;
    else if (known)
        known = std::any_of(options->lineSensors.cbegin(), options->lineSensors.cend(),
                            [node](const LineSensorOption &sensor) { return sensor.node == node; });
    if (!known) {
        *error = QStringLiteral("--fault-sensor %1: no sensor starts at that node address").arg(text);
        return false;
    }
    options->faultSensor = static_cast<int>(node);
    return true;
}

// --silent-from N[:M].
bool parseSilentFrom(const QString &text, FaultOptions *faults, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    qint64 from = 0;
    qint64 until = 0;
    if (parts.size() > 2 || !parseNumber(parts.at(0), 1, 1000000000, &from)
            || (parts.size() == 2 && !parseNumber(parts.at(1), from + 1, 1000000000, &until))) {
        *error = QStringLiteral("--silent-from needs N[:M] with 1 <= N < M, not \"%1\"").arg(text);
        return false;
    }
    faults->silentFrom = static_cast<int>(from);
    faults->silentUntil = static_cast<int>(until);
    return true;
}

// Every --unkept ADDR[,ADDR...].
bool parseUnkept(const QStringList &unkept, FaultOptions *faults, QString *error)
{
    const QStringList addresses = unkept.isEmpty() ? QStringList()
                                                   : unkept.join(QLatin1Char(',')).split(QLatin1Char(','));
    for (const QString &address : addresses) {
        qint64 value = 0;
        quint16 ignored = 0;
        if (!parseNumber(address, 0, 0xFFFF, &value)
                || !SensorConfiguration().registerValue(static_cast<int>(value), &ignored)) {
            *error = QStringLiteral("--unkept needs configuration register addresses (0x8004 to 0x800A, "
                                    "0x8030), not \"%1\"").arg(address);
            return false;
        }
        faults->unkept.insert(static_cast<int>(value));
    }
    return true;
}
}

bool parseSimulatorOptions(const QStringList &arguments, SimulatorOptions *options, QString *error,
                           bool *helpRequested)
{
    *helpRequested = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Simulates a Kelvane irradiance sensor, or several on one line, on a pseudo-terminal, "
            "announced as a virtual serial port.\n"
            "The options ending in -at strike once, at the Nth frame received: frames are "
            "counted from 1 in order of arrival, every frame (for any slave, damaged or not) "
            "counting, as the lines of the --log file do. A frame that gets no reply is left "
            "as it is. The log gives a faulted reply the reason late-reply, duplicate-reply, "
            "garbage or byte-gap, after its own reason if it had one (exception-2+garbage).\n"
            "Several sensors share the line with --sensor; each answers only frames for its own "
            "node, and a frame for no sensor is logged as wrong-slave."));
    const QCommandLineOption help(QStringList{ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Port link name (default kelvane-sim)."),
                                  QStringLiteral("name"), options->name);
    const QCommandLineOption temperature(QStringLiteral("temperature"),
                                         QStringLiteral("Hold the temperature at this value in degC."),
                                         QStringLiteral("celsius"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("File that keeps the saved configuration."),
                                   QStringLiteral("file"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Log every received frame to this file."),
                                 QStringLiteral("file"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption badCrc(QStringLiteral("bad-crc"), QStringLiteral("Corrupt the check of every reply."));
    const QCommandLineOption exceptionAt(QStringLiteral("exception-at"),
                                         QStringLiteral("Answer any request touching ADDR with exception CODE "
                                                        "(default 2). Repeatable."),
                                         QStringLiteral("ADDR[:CODE]"));
    const QCommandLineOption misreport(QStringLiteral("misreport"),
                                       QStringLiteral("Let reads of ADDR carry VALUE, whatever the register "
                                                      "holds (a sensor reporting a code the program may not "
                                                      "know). Repeatable."),
                                       QStringLiteral("ADDR:VALUE"));
    const QCommandLineOption frameTiming(QStringLiteral("frame-timing"),
                                         QStringLiteral("Take as long to reply as the configured bit rate would."));
    const QCommandLineOption exitWithParent(QStringLiteral("exit-with-parent"),
                                            QStringLiteral("Quit when the process that started this one ends."));
    const QCommandLineOption sensor(QStringLiteral("sensor"),
                                    QStringLiteral("Put a sensor at node ADDR with this serial number (and "
                                                   "firmware, default that of --firmware) on the line. "
                                                   "Repeatable: each is one more sensor, with its own registers, "
                                                   "node, line settings and state file (the --state file with "
                                                   ".SERIAL appended, and .1, .2... for a second sensor "
                                                   "with the same serial number); the sensor given Nth measures "
                                                   "(N-1)*100 W/m^2 and (N-1) degC more than the first. "
                                                   "Replaces --node and --serial."),
                                    QStringLiteral("ADDR:SERIAL[:FIRMWARE]"));
    const QCommandLineOption faultSensor(QStringLiteral("fault-sensor"),
                                         QStringLiteral("Let the faults (all but --vanish-after and "
                                                        "--frame-timing) strike only the sensor that started "
                                                        "at node ADDR, wherever it moves; without it they strike "
                                                        "every sensor."),
                                         QStringLiteral("ADDR"));
    const QCommandLineOption silentFrom(QStringLiteral("silent-from"),
                                        QStringLiteral("Stop answering from frame N on and, with M, answer "
                                                       "again from frame M on."),
                                        QStringLiteral("N[:M]"));
    const QCommandLineOption unkept(QStringLiteral("unkept"),
                                    QStringLiteral("Acknowledge writes to configuration register ADDR but keep "
                                                   "its old value. Repeatable, or a comma list."),
                                    QStringLiteral("ADDR[,ADDR...]"));
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Serve the line as a Modbus TCP gateway on this port (0: any free "
                                                "one), at HOST or 127.0.0.1. Prints \"serving URL\"."),
                                 QStringLiteral("[HOST:]PORT"));
    const QCommandLineOption rtuOverTcp(QStringLiteral("rtu-over-tcp"),
                                        QStringLiteral("Serve the line as a gateway that passes the RTU frames "
                                                       "through, on this port, as --tcp."),
                                        QStringLiteral("[HOST:]PORT"));
    const QCommandLineOption noTerminal(QStringLiteral("no-terminal"),
                                        QStringLiteral("Make no pseudo-terminal: only the gateways serve the line."));
    const QCommandLineOption refuse(QStringLiteral("refuse-connections"),
                                    QStringLiteral("The gateways are down: every connection is refused."));
    const QCommandLineOption closeAfter(QStringLiteral("close-after"),
                                        QStringLiteral("The gateway closes the connection after frame N and, with "
                                                       "MS, refuses connections for MS ms, as one that reboots."),
                                        QStringLiteral("N[:MS]"));
    const QCommandLineOption noPath(QStringLiteral("no-path"),
                                    QStringLiteral("The Modbus TCP gateway answers requests for these units with "
                                                   "exception 10 (no path)."),
                                    QStringLiteral("ADDR[,ADDR...]"));
    parser.addOptions({ name, temperature, state, log, silent, badCrc, exceptionAt, misreport, frameTiming,
                        exitWithParent, sensor, faultSensor, silentFrom, unkept, tcp, rtuOverTcp, noTerminal,
                        refuse, closeAfter, noPath });
    QList<QCommandLineOption> oneShot;
    for (const OneShotOption &option : oneShotOptions) {
        oneShot.append(QCommandLineOption(QString::fromLatin1(option.name), QString::fromLatin1(option.description),
                                          QLatin1String(option.maximumMs > 0 ? "N:MS" : "N")));
        parser.addOption(oneShot.last());
    }
    QList<QCommandLineOption> numeric;
    for (const NumericOption &option : numericOptions) {
        numeric.append(QCommandLineOption(QString::fromLatin1(option.name), QString::fromLatin1(option.description),
                                          QStringLiteral("n")));
        parser.addOption(numeric.last());
    }

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        *helpRequested = true;
        *error = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return false;
    }

    for (size_t i = 0; i < std::size(numericOptions); ++i) {
        const QCommandLineOption &option = numeric.at(static_cast<int>(i));
        if (!parser.isSet(option))
            continue;
        const NumericOption &limits = numericOptions[i];
        qint64 value = 0;
        if (!parseNumber(parser.value(option), limits.minimum, limits.maximum, &value)) {
            *error = QStringLiteral("--%1 needs a number from %2 to %3, not \"%4\"")
                    .arg(QLatin1String(limits.name)).arg(limits.minimum).arg(limits.maximum)
                    .arg(parser.value(option));
            return false;
        }
        limits.assign(options, value);
    }

    options->name = parser.value(name);
    if (options->name.isEmpty() || options->name.contains(QLatin1Char('/'))
            || options->name == QLatin1String(".") || options->name == QLatin1String("..")) {
        *error = QStringLiteral("--name must be a plain file name");
        return false;
    }
    if (parser.isSet(temperature)) {
        bool ok = false;
        const double celsius = parser.value(temperature).toDouble(&ok);
        // The register holds quarters of a degree in 16 signed bits.
        if (!ok || celsius < -8192.0 || celsius > 8191.75) {
            *error = QStringLiteral("--temperature needs degrees from -8192 to 8191.75");
            return false;
        }
        options->temperature = celsius;
    }
    options->stateFile = parser.value(state);
    options->logFile = parser.value(log);
    options->faults.silent = parser.isSet(silent);
    options->faults.corruptReplyCrc = parser.isSet(badCrc);
    options->frameTiming = parser.isSet(frameTiming);
    options->exitWithParent = parser.isSet(exitWithParent);
    for (const auto &[option, protocol] : { std::make_pair(&tcp, NetworkLine::Protocol::ModbusTcp),
                                            std::make_pair(&rtuOverTcp, NetworkLine::Protocol::RtuOverTcp) }) {
        for (const QString &entry : parser.values(*option)) {
            GatewayOption gateway;
            gateway.protocol = protocol;
            const int colon = entry.lastIndexOf(QLatin1Char(':'));
            if (colon > 0)
                gateway.host = entry.left(colon).remove(QLatin1Char('[')).remove(QLatin1Char(']'));
            qint64 port = 0;
            if (!parseNumber(entry.mid(colon + 1), 0, 65535, &port)) {
                *error = QStringLiteral("--%1 needs [HOST:]PORT, not \"%2\"").arg(option->names().first(), entry);
                return false;
            }
            gateway.port = int(port);
            options->gateways.append(gateway);
        }
    }
    options->noTerminal = parser.isSet(noTerminal);
    if (options->noTerminal && options->gateways.isEmpty()) {
        *error = QStringLiteral("--no-terminal needs --tcp or --rtu-over-tcp");
        return false;
    }
    options->refuseConnections = parser.isSet(refuse);
    if (parser.isSet(closeAfter)) {
        const QStringList parts = parser.value(closeAfter).split(QLatin1Char(':'));
        qint64 frame = 0;
        qint64 ms = 0;
        if (parts.size() > 2 || !parseNumber(parts.at(0), 1, 1000000000, &frame)
                || (parts.size() == 2 && !parseNumber(parts.at(1), 0, 600000, &ms))) {
            *error = QStringLiteral("--close-after needs N[:MS], not \"%1\"").arg(parser.value(closeAfter));
            return false;
        }
        options->closeAfter = int(frame);
        options->downMs = int(ms);
    }
    for (const QString &entry : parser.values(noPath)) {
        for (const QString &unit : entry.split(QLatin1Char(','))) {
            qint64 address = 0;
            if (!parseNumber(unit, 0, 255, &address)) {
                *error = QStringLiteral("--no-path needs ADDR[,ADDR...], not \"%1\"").arg(entry);
                return false;
            }
            options->noPathTo.insert(int(address));
        }
    }
    for (const QString &entry : parser.values(exceptionAt)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        qint64 address = 0;
        qint64 code = 2;
        if (parts.size() > 2 || !parseNumber(parts.at(0), 0, 0xFFFF, &address)
                || (parts.size() == 2 && !parseNumber(parts.at(1), 1, 255, &code))) {
            *error = QStringLiteral("--exception-at needs ADDR[:CODE], not \"%1\"").arg(entry);
            return false;
        }
        options->faults.exceptionAt.insert(static_cast<int>(address), static_cast<quint8>(code));
    }
    for (const QString &entry : parser.values(misreport)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        qint64 address = 0;
        qint64 value = 0;
        if (parts.size() != 2 || !parseNumber(parts.at(0), 0, 0xFFFF, &address)
                || !parseNumber(parts.at(1), 0, 0xFFFF, &value)) {
            *error = QStringLiteral("--misreport needs ADDR:VALUE, not \"%1\"").arg(entry);
            return false;
        }
        options->faults.misreported.insert(static_cast<int>(address), static_cast<quint16>(value));
    }
    if ((parser.isSet(silentFrom) && !parseSilentFrom(parser.value(silentFrom), &options->faults, error))
            || !parseUnkept(parser.values(unkept), &options->faults, error)
            || !parseLineSensors(parser.values(sensor), options, error)
            || (parser.isSet(faultSensor) && !parseFaultSensor(parser.value(faultSensor), options, error)))
        return false;
    if (!options->lineSensors.isEmpty()
            && (parser.isSet(QStringLiteral("node")) || parser.isSet(QStringLiteral("serial")))) {
        *error = QStringLiteral("--node and --serial do not go with --sensor, which gives each sensor its own");
        return false;
    }
    for (size_t i = 0; i < std::size(oneShotOptions); ++i) {
        const OneShotOption &limits = oneShotOptions[i];
        for (const QString &entry : parser.values(oneShot.at(static_cast<int>(i)))) {
            const QStringList parts = entry.split(QLatin1Char(':'));
            qint64 frame = 0;
            qint64 ms = 0;
            const bool takesTime = limits.maximumMs > 0;
            if (parts.size() != (takesTime ? 2 : 1) || !parseNumber(parts.at(0), 1, 1000000000, &frame)
                    || (takesTime && !parseNumber(parts.at(1), 0, limits.maximumMs, &ms))) {
                *error = takesTime
                        ? QStringLiteral("--%1 needs N:MS (N from 1, MS from 0 to %2), not \"%3\"")
                          .arg(QLatin1String(limits.name)).arg(limits.maximumMs).arg(entry)
                        : QStringLiteral("--%1 needs a frame number N from 1, not \"%2\"")
                          .arg(QLatin1String(limits.name), entry);
                return false;
            }
            QString conflict;
            if (!options->oneShotFaults.add(static_cast<int>(frame), limits.kind, static_cast<int>(ms), &conflict)) {
                *error = QStringLiteral("--%1 %2: %3").arg(QLatin1String(limits.name), entry, conflict);
                return false;
            }
        }
    }
    return true;
}
