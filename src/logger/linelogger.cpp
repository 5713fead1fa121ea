#include "linelogger.h"

#include "acq/recordlog.h"
#include "acq/timedreading.h"
#include "feed/feedmessages.h"
#include "feed/mqttpublisher.h"
#include "link/linkthread.h"
#include "link/networkline.h"
#include "link/openfailure.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "ports/networklines.h"
#include "ports/portresolution.h"
#include "ports/serialportenumerator.h"
#include "session/lineconnection.h"
#include "session/linesession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {
const QString Online = QStringLiteral("online");
const QString NoAnswer = QStringLiteral("no answer");

// How often a port missing at the start is looked for, besides the
// arrivals the enumerator tells (which a container may not have).
constexpr int PortPollMs = 1000;
// How long a stop waits for the broker to take the messages queued.
constexpr int StopFlushMs = 5000;

QString lineText(int bitRateCode, int framingCode)
{
    return QStringLiteral("%1 %2").arg(baudForCode(bitRateCode)).arg(framingName(framingCode));
}
} // namespace

// The interval records of one sensor, and whether their file is failing.
struct LineLogger::SensorRecords
{
    QString key;    // of the unit whose samples they hold
    std::unique_ptr<RecordLog> log;
    bool failing = false;
};

LineLogger::LineLogger(const LoggerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , ports(new SerialPortEnumerator(this))
    , session(new LineSession(SerialLineSettings(), this))
    , link(new LinkThread(this))
    , connection(new LineConnection(link, session, this))
    , reading(new TimedReading(link, session, this))
{
    session->replaceSensors(options.line.sensors);
    session->selectLine(options.line.bitRateCode, options.line.framingCode);
    // The project's timing (a slow gateway's timeouts, say); else the defaults.
    if (options.line.hasTiming)
        link->setTiming(options.line.timing);
    reading->setOutputDirectory(options.outputDirectory);
    // A logger that runs for months reports a file it cannot write and goes on.
    reading->setStopsOnLogError(false);

    portPoll.setInterval(PortPollMs);
    connect(&portPoll, &QTimer::timeout, this, &LineLogger::openWhenPresent);
    restart.setSingleShot(true);
    connect(&restart, &QTimer::timeout, this, &LineLogger::startReading);
    boundary.setSingleShot(true);
    boundary.setTimerType(Qt::PreciseTimer);
    connect(&boundary, &QTimer::timeout, this, [this] {
        // The samples of a tick under way belong to the interval that ends
        // now: its completion advances the records instead.
        if (!link->isBusy())
            advanceRecords();
        armBoundary();
    });

    connect(ports, &SerialPortEnumerator::deviceDiscovered, connection, &LineConnection::portArrived);
    connect(ports, &SerialPortEnumerator::deviceRemoved, connection, &LineConnection::portRemoved);
    connect(connection, &LineConnection::openFailed, this, [this](int error, const QString &device) {
        opening = false;
        if (classifyOpenFailure(error) == OpenFailureKind::Gone) {
            // Gone again before it could be opened, or a gateway that does
            // not answer: looked for anew.
            if (!waitingLogged && NetworkLine::looksLikeUrl(device))
                emit event(QStringLiteral("%1: waiting for it").arg(openFailureReason(error, device)));
            waitingLogged = true;
            return;
        }
        portRefused(error, device);
    });
    connect(session, &LineSession::connectionChanged, this, &LineLogger::followConnection);

    connect(reading, &TimedReading::started, this, &LineLogger::readingStarted);
    connect(reading, &TimedReading::startFailed, this, &LineLogger::readingFailedToStart);
    connect(reading, &TimedReading::sampled, this,
            [this](int sensorId, const QDateTime &time, double, const QVector<int> &ids,
                   const QVector<ReadValue> &values) { sampled(sensorId, time, ids, values); });
    connect(reading, &TimedReading::ticked, this, [this] {
        // A run of one sensor tells a failed tick, not a lost sensor.
        if (session->sensors().size() == 1)
            markBack(session->sensors().first().id);
        advanceRecords();
    });
    connect(reading, &TimedReading::tickFailed, this, [this](const TransferFailure &failure) {
        markLost(session->sensors().first().id, transactionErrorMessage(failure.result, failure.error).text);
        advanceRecords();
    });
    connect(reading, &TimedReading::sensorLost, this, &LineLogger::markLost);
    connect(reading, &TimedReading::sensorBack, this, &LineLogger::markBack);
    connect(reading, &TimedReading::lineLost, this, [this] {
        connection->lineLost();
        advanceRecords();
    });
    connect(reading, &TimedReading::logFailed, this, [this](const QString &fileName) {
        emit event(QStringLiteral("cannot write %1: tried again at the next row").arg(fileName));
    });
    connect(reading, &TimedReading::logWritten, this, [this](const QString &fileName) {
        emit event(QStringLiteral("%1 is written again").arg(fileName));
    });
}

LineLogger::~LineLogger()
{
    // The reading and the connection go before the link whose completions
    // they wait for; the link's thread ends after its attempt under way.
    delete reading;
    delete connection;
    delete link;
}

void LineLogger::start()
{
    if (!QDir().mkpath(options.outputDirectory)) {
        emit event(QStringLiteral("cannot create the directory %1").arg(options.outputDirectory));
        end(Failed);
        return;
    }
    QString feed;
    if (options.mqttEnabled) {
        publisher.reset(new MqttPublisher(options.mqtt, options.mqttQueueLimit));
        const QString broker = QStringLiteral("%1:%2").arg(options.mqtt.host).arg(options.mqtt.port);
        // Emitted on the publisher's network thread: queued to this one.
        connect(publisher.get(), &MqttPublisher::connectionChanged, this,
                [this, broker](bool connected, const QString &reason) {
                    // A stop ends the connection itself: the broker is not away.
                    if (mqttState == int(connected) || (stopping && !connected))
                        return;
                    mqttState = int(connected);
                    emit event(connected ? QStringLiteral("MQTT broker %1 connected").arg(broker)
                                         : QStringLiteral("MQTT broker %1 away (%2): up to %3 messages kept for it")
                                                   .arg(broker, reason).arg(options.mqttQueueLimit));
                });
        connect(publisher.get(), &MqttPublisher::overflowStarted, this, [this](qint64 dropped) {
            emit event(QStringLiteral("MQTT queue full (%1 messages): the oldest are dropped, %2 so far; "
                                      "the files keep every value")
                               .arg(options.mqttQueueLimit).arg(dropped));
        });
        if (!publisher->start()) {
            emit event(QStringLiteral("MQTT: %1").arg(publisher->errorString()));
            end(Failed);
            return;
        }
        feed = QStringLiteral(", MQTT to %1 as %2").arg(broker, options.mqtt.clientId);
    }
    QStringList addresses;
    for (const ProjectSensor &sensor : options.line.sensors)
        addresses << QString::number(sensor.address);
    const QString records = options.recordSeconds > 0
            ? QStringLiteral(", records of %1 s").arg(options.recordSeconds) : QString();
    emit event(QStringLiteral("%1 %2 started: port %3 at %4, addresses %5, every %6 ms; files in %7%8%9")
                       .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                            options.line.portName, lineText(options.line.bitRateCode, options.line.framingCode),
                            addresses.join(QLatin1Char(',')))
                       .arg(options.line.periodMs)
                       .arg(options.outputDirectory, records, feed));
    // A device no list shows (a pseudo-terminal, a UART udev does not
    // report) is listed, so that it is opened again after it went away.
    SerialPortEnumerator::listNamedPort(options.line.portName);
    ports->setUpNotifications();
    if (options.recordSeconds > 0)
        armBoundary();
    openWhenPresent();
    portPoll.start();
}

void LineLogger::stop()
{
    if (stopping)
        return;
    stopping = true;
    portPoll.stop();
    restart.stop();
    boundary.stop();
    // Jobs run in order: this one's completion comes after that of the tick
    // under way, whose rows are then written.
    link->run([](SensorLink &) {}, [this] { finishStop(); });
}

void LineLogger::finishStop()
{
    reading->stop();
    connection->close();
    advanceRecords();
    if (publisher) {
        // The records just closed, and what a broker that was away missed,
        // go out first when it is there to take them.
        publisher->flush(StopFlushMs);
        publisher->stop();
    }
    emit event(QStringLiteral("stopped"));
    end(Stopped);
}

void LineLogger::end(int exitCode)
{
    stopping = true;
    portPoll.stop();
    restart.stop();
    boundary.stop();
    // Queued, so that a receiver that ends the event loop has entered it.
    QMetaObject::invokeMethod(this, [this, exitCode] { emit finished(exitCode); }, Qt::QueuedConnection);
}

// ---- The port

bool LineLogger::findPort(SerialPortInfo *port) const
{
    // A network line is always present.
    for (const QString &url : { options.line.portIdentity, options.line.portName }) {
        const SerialPortInfo network = NetworkLines::add(url, options.line.portName);
        if (!network.identity.isEmpty()) {
            *port = network;
            return true;
        }
    }
    const QList<SerialPortInfo> present = SerialPortEnumerator::getPorts();
    // The project's adapter by its identity first: it may come back under
    // another device node. Else as the name says (portresolution.h): the
    // list's name, system name or device, or any serial device or link.
    for (const SerialPortInfo &candidate : present) {
        if (!options.line.portIdentity.isEmpty() && candidate.identity == options.line.portIdentity) {
            *port = candidate;
            return true;
        }
    }
    return resolvePort(options.line.portName, present, port);
}

void LineLogger::openWhenPresent()
{
    if (stopping || opening || session->connection() != LineSession::Connection::Closed)
        return;
    SerialPortInfo port;
    if (!findPort(&port)) {
        // A service started before its adapter is plugged in (or while it
        // is away) waits for it rather than fail and be restarted.
        if (!waitingLogged)
            emit event(QStringLiteral("port %1 is not present: waiting for it").arg(options.line.portName));
        waitingLogged = true;
        return;
    }
    opening = true;
    connection->open(port);
}

void LineLogger::portRefused(int error, const QString &device)
{
    const QString port = options.line.portName == device ? QStringLiteral("port %1").arg(device)
                                                         : QStringLiteral("port %1 (%2)").arg(options.line.portName, device);
    switch (classifyOpenFailure(error)) {
    case OpenFailureKind::Busy: {
        const QString holder = programHoldingDevice(device);
        emit event(QStringLiteral("%1 is held by %2: ending with exit code %3; the service starts it again "
                                  "after its RestartSec, and it tries anew")
                           .arg(port, holder.isEmpty() ? QStringLiteral("another program (Linux does not tell which; "
                                                                        "it may run under another account)")
                                                       : holder)
                           .arg(int(PortRefused)));
        end(PortRefused);
        return;
    }
    case OpenFailureKind::PermissionDenied: {
        const struct passwd *account = ::getpwuid(::geteuid());
        const QString user = account ? QString::fromLocal8Bit(account->pw_name) : QString::number(::geteuid());
        const QString group = deviceGroupName(device);
        // Joining root's group is no fix: such a device needs a udev rule.
        const QString owner = group.isEmpty() ? QString() : QStringLiteral(", which belongs to the group \"%1\"").arg(group);
        const QString remedy = group.isEmpty() || group == QLatin1String("root")
                ? QStringLiteral("give the account access to the device (a udev rule)")
                : QStringLiteral("add the account to the group \"%1\" (adduser %2 %1, or SupplementaryGroups=%1 in "
                                 "the unit)").arg(group, user);
        emit event(QStringLiteral("%1: the account %2 may not use it%3; %4, then start the logger again. Ending with "
                                  "exit code %5, which the service does not retry")
                           .arg(port, user, owner, remedy).arg(int(PortNotPermitted)));
        end(PortNotPermitted);
        return;
    }
    case OpenFailureKind::Gone:
    case OpenFailureKind::Other:
        break;
    }
    emit event(QStringLiteral("cannot open %1: %2 Ending with exit code %3")
                       .arg(port, openFailureReason(error, device)).arg(int(PortRefused)));
    end(PortRefused);
}

void LineLogger::followConnection()
{
    switch (session->connection()) {
    case LineSession::Connection::Open:
        opening = false;
        if (wasWaitingForPort) {
            emit event(QStringLiteral("port %1 is back: the reading goes on").arg(session->port().portName));
            for (const LineSensor &sensor : session->sensors()) {
                if (!silent.contains(sensor.id) && statuses.contains(sensor.id))
                    setStatus(sensor.id, Online);
            }
        } else {
            portPoll.stop();
            emit event(QStringLiteral("port %1 (%2) open at %3")
                               .arg(session->port().portName, session->port().device(),
                                    lineText(session->bitRateCode(), session->framingCode())));
        }
        wasWaitingForPort = false;
        // Also when the port went during the start's reading of identities.
        if (!reading->isActive() && !stopping)
            startReading();
        break;
    case LineSession::Connection::WaitingForPort:
        wasWaitingForPort = true;
        restart.stop();
        emit event((session->port().isNetworkLine()
                    ? QStringLiteral("the connection to %1 was lost: the reading waits for it")
                    : QStringLiteral("port %1 was unplugged: the reading waits for it")).arg(session->port().portName));
        for (const LineSensor &sensor : session->sensors()) {
            if (statuses.contains(sensor.id))
                setStatus(sensor.id, NoAnswer);
        }
        break;
    case LineSession::Connection::Closed:
        break;
    }
}

// ---- The reading

void LineLogger::startReading()
{
    if (!stopping && session->isOpen())
        reading->start(options.line.periodMs);
}

void LineLogger::readingStarted()
{
    startFailureLogged = false;
    QStringList polled;
    for (const LineSensor &sensor : session->sensors()) {
        if (sensor.serialNumber == 0)
            continue;
        polled << QStringLiteral("SN%1 at address %2%3").arg(sensor.serialNumber).arg(sensor.address)
                          .arg(sensor.label.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(sensor.label));
        if (sensor.serialMismatch()) {
            emit event(QStringLiteral("%1 answers as SN%2; the project expects SN%3")
                               .arg(nameOf(sensor.id)).arg(sensor.serialNumber).arg(sensor.expectedSerial));
        }
        // A second sensor with the serial number of another keeps files
        // and topics of its own.
        const QString key = reading->sensorKey(sensor.id);
        if (key != QString::number(sensor.serialNumber)) {
            emit event(QStringLiteral("%1 answers with the serial number of another sensor of the line: its "
                                      "files and topics are named %2").arg(nameOf(sensor.id), key));
        }
        if (!silent.contains(sensor.id))
            setStatus(sensor.id, Online);
        recordsOf(sensor);
    }
    emit event(QStringLiteral("reading %1; raw files %2").arg(polled.join(QStringLiteral(", ")),
                                                              reading->logFileNames().join(QStringLiteral(", "))));
}

void LineLogger::readingFailedToStart(const TransferFailure &failure)
{
    if (failure.lineLost) {
        connection->lineLost();
        return;    // started again when the port is back
    }
    const int retryMs = qBound(1000, options.line.periodMs, 60000);
    if (!startFailureLogged) {
        emit event(QStringLiteral("no sensor answers (%1): asked again every %2 s")
                           .arg(transactionErrorMessage(failure.result, failure.error).text)
                           .arg(retryMs / 1000.0));
    }
    startFailureLogged = true;
    restart.start(retryMs);
}

void LineLogger::sampled(int sensorId, const QDateTime &time, const QVector<int> &ids,
                         const QVector<ReadValue> &values)
{
    const LineSensor *sensor = session->sensor(sensorId);
    const QString key = reading->sensorKey(sensorId);
    if (!sensor || key.isEmpty())
        return;
    LiveSample sample { time.toUTC(), {} };
    for (int i = 0; i < values.size(); ++i)
        sample.values.insert(ids.at(i), values.at(i).output.toDouble());
    if (RecordLog *log = recordsOf(*sensor))
        log->addSample(sample);
    if (publisher) {
        publisher->publish(sampleTopic(key),
                           sampleMessage({ sensor->serialNumber, sensor->address, sensor->label }, sample));
    }
}

// ---- Interval records

RecordLog *LineLogger::recordsOf(const LineSensor &sensor)
{
    const QString key = reading->sensorKey(sensor.id);
    if (options.recordSeconds <= 0 || key.isEmpty())
        return nullptr;
    auto &entry = records[sensor.id];
    // Another unit answering where a sensor was (its key changed) gets
    // records of its own; the old unit's are closed whole.
    if (entry && entry->key != key) {
        entry->log->advanceTo(QDateTime::currentDateTimeUtc());
        entry.reset();
    }
    if (!entry) {
        entry.reset(new SensorRecords);
        entry->key = key;
        entry->log.reset(new RecordLog(options.outputDirectory, key, options.recordSeconds,
                                       availableLiveIds(sensor.firmwareVersion)));
        const int sensorId = sensor.id;
        entry->log->setRecordHandler([this, sensorId, key](const IntervalRecord &record) {
            const LineSensor *sensor = session->sensor(sensorId);
            if (!publisher || !sensor)
                return;
            publisher->publish(recordTopic(key),
                               recordMessage({ sensor->serialNumber, sensor->address, sensor->label }, record));
        });
    }
    return entry->log.get();
}

void LineLogger::advanceRecords()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto &entry : records) {
        SensorRecords &sensor = *entry.second;
        const bool written = sensor.log->advanceTo(now);
        if (written == !sensor.failing)
            continue;
        sensor.failing = !written;
        emit event(written ? QStringLiteral("the records of %1 are written again").arg(nameOf(entry.first))
                           : QStringLiteral("cannot write the records of %1 (%2): kept and tried again at the next "
                                            "interval").arg(nameOf(entry.first), sensor.log->errorString()));
    }
}

void LineLogger::armBoundary()
{
    // Just past the next end of an interval on the UTC clock, so that the
    // interval is over when its row is written.
    const qint64 intervalMs = options.recordSeconds * 1000LL;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    boundary.start(int(intervalMs - now % intervalMs + 1));
}

// ---- Sensors' states

void LineLogger::markLost(int sensorId, const QString &reason)
{
    if (!silent.contains(sensorId))
        emit event(QStringLiteral("%1 does not answer: %2").arg(nameOf(sensorId), reason));
    silent.insert(sensorId);
    setStatus(sensorId, NoAnswer);
}

void LineLogger::markBack(int sensorId)
{
    if (silent.remove(sensorId))
        emit event(QStringLiteral("%1 answers again").arg(nameOf(sensorId)));
    setStatus(sensorId, Online);
}

void LineLogger::setStatus(int sensorId, const QString &status)
{
    // A sensor never heard from has no topic yet.
    const QString key = reading->sensorKey(sensorId);
    if (!session->sensor(sensorId) || key.isEmpty() || statuses.value(sensorId) == status)
        return;
    statuses.insert(sensorId, status);
    if (publisher)
        publisher->setSensorStatus(key, status);
}

QString LineLogger::nameOf(int sensorId) const
{
    const LineSensor *sensor = session->sensor(sensorId);
    return sensor ? QStringLiteral("%1 (address %2)").arg(sensor->displayName()).arg(sensor->address)
                  : QStringLiteral("a sensor no longer listed");
}
