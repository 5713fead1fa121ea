#include "timedreading.h"

#include "device/parametertable.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "link/transactionerror.h"

#include <QDir>

#include <algorithm>
#include <memory>

// One sensor of the run, by identity.
struct TimedReading::Polled
{
    int id = 0;
    quint32 serialNumber = 0;      // 0 until its identity has been read
    quint32 firmwareVersion = 0;
    QString key;                   // what its files are named after
    std::unique_ptr<MeasurementLog> log;
    bool logCreated = false;
    bool logFailing = false;
    bool failing = false;
    // The line was away: another unit may answer when it is back.
    bool identityUnsure = false;
};

// What one tick read; filled on the link's thread.
struct TimedReading::Tick
{
    struct Sensor
    {
        int id = 0;
        int address = 1;
        bool identityRead = false;
        quint32 serialNumber = 0;
        quint32 firmwareVersion = 0;
        QVector<int> ids;              // to read, in order
        QVector<ReadValue> values;     // read, in order
        TransferFailure failure;
        LinkCounts counts;
    };

    int run = 0;
    QDateTime time;
    double x = 0;
    QVector<Sensor> sensors;
    bool lineLost = false;
};

namespace {
// How soon a tick that found the line taken by the user's operation looks
// again.
constexpr int WaitForLinkMs = 20;

// Reads a sensor's serial number, and its firmware when asked; false with
// the failure when it does not answer.
bool readIdentity(SensorLink &link, int address, bool withFirmware, quint32 *serialNumber,
                  quint32 *firmwareVersion, TransferFailure *failure)
{
    const ParameterReading serial = readParameter(link, address, IdSerialNumber);
    if (serial.result != ResultOk) {
        *failure = TransferFailure::from(serial.result, link);
        return false;
    }
    *serialNumber = serial.value.output.toUInt();
    if (!withFirmware)
        return true;
    const ParameterReading firmware = readParameter(link, address, IdFWVersion);
    if (firmware.result != ResultOk) {
        *failure = TransferFailure::from(firmware.result, link);
        return false;
    }
    *firmwareVersion = firmware.value.output.toUInt();
    return true;
}
} // namespace

TimedReading::TimedReading(LinkThread *link, LineSession *session, QObject *parent)
    : QObject(parent)
    , link(link)
    , session(session)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TimedReading::tick);
    connect(session, &LineSession::connectionChanged, this, &TimedReading::followConnection);
}

TimedReading::~TimedReading() = default;

QVector<int> TimedReading::sensorIds() const
{
    QVector<int> result;
    for (const auto &sensor : polled)
        result << sensor->id;
    return result;
}

QString TimedReading::sensorKey(int sensorId) const
{
    for (const auto &sensor : polled) {
        if (sensor->id == sensorId)
            return sensor->key;
    }
    return QString();
}

QVector<TimedReading::Target> TimedReading::targets() const
{
    QVector<Target> result;
    for (const LineSensor &sensor : session->commandTargets())
        result.append({ sensor.id, sensor.address, sensor.id == 0 ? session->firmwareVersion() : 0u });
    return result;
}

TimedReading::Polled &TimedReading::polledFor(const Target &target)
{
    for (const auto &sensor : polled) {
        if (sensor->id == target.id)
            return *sensor;
    }
    auto entry = std::make_unique<Polled>();
    entry->id = target.id;
    entry->firmwareVersion = target.firmwareVersion;
    // The form's sensor, polled while none was listed, goes on in the same
    // log once it is listed itself.
    for (auto &sensor : polled) {
        if (sensor->id == 0 && target.id != 0 && target.address == session->slave()) {
            entry = std::move(sensor);
            entry->id = target.id;
            break;
        }
    }
    polled.erase(std::remove(polled.begin(), polled.end(), nullptr), polled.end());
    polled.push_back(std::move(entry));
    return *polled.back();
}

QString TimedReading::logFileName() const
{
    const QStringList names = logFileNames();
    return names.isEmpty() ? QString() : names.first();
}

QStringList TimedReading::logFileNames() const
{
    QStringList names;
    for (const auto &sensor : polled) {
        if (sensor->log)
            names << sensor->log->fileName();
    }
    return names;
}

void TimedReading::followConnection(LineSession::Connection connection)
{
    switch (connection) {
    case LineSession::Connection::Closed:
        stop();
        break;
    case LineSession::Connection::WaitingForPort:
        pause();
        break;
    case LineSession::Connection::Open:
        resume();
        break;
    }
}


void TimedReading::start(int periodMs)
{
    stop();
    currentState = State::Starting;
    this->periodMs = periodMs;
    polled.clear();
    createdLogs.clear();
    const QVector<Target> first = targets();
    severalSensors = first.size() > 1;
    for (const Target &target : first)
        polledFor(target);
    const int thisRun = ++run;
    // The form's sensor has its firmware from Read all; a listed sensor is
    // asked.
    auto identities = std::make_shared<QVector<Tick::Sensor>>();
    for (const Target &target : first) {
        Tick::Sensor identity;
        identity.id = target.id;
        identity.address = target.address;
        identities->append(identity);
    }
    link->run([identities](SensorLink &line) {
        for (Tick::Sensor &sensor : *identities) {
            sensor.identityRead = readIdentity(line, sensor.address, sensor.id != 0, &sensor.serialNumber,
                                               &sensor.firmwareVersion, &sensor.failure);
            sensor.counts = line.counts(sensor.address);
            if (sensor.failure.lineLost)
                break;
        }
    }, [this, thisRun, identities] {
        if (thisRun != run)
            return;
        runStart = QDateTime::currentDateTime();
        runClock.restart();
        bool anyAnswered = false;
        for (const Tick::Sensor &identity : qAsConst(*identities)) {
            Polled &sensor = polledFor({ identity.id, identity.address, 0 });
            session->applySensorPoll(identity.id, identity.failure, identity.counts);
            if (!identity.identityRead)
                continue;
            anyAnswered = true;
            takeIdentity(sensor, identity.address, identity.serialNumber,
                         identity.id != 0 ? identity.firmwareVersion : sensor.firmwareVersion);
            if (!createLog(sensor) && stopsOnLogError) {
                currentState = State::Stopped;
                emit logFailed(sensor.log->fileName());
                return;
            }
        }
        if (!anyAnswered || (!severalSensors && !identities->first().identityRead)) {
            currentState = State::Stopped;
            emit startFailed(identities->first().failure);
            return;
        }
        // A sensor that did not answer at the start is asked its identity
        // again at every tick, and reported once.
        for (const Tick::Sensor &identity : qAsConst(*identities)) {
            if (!identity.identityRead) {
                polledFor({ identity.id, identity.address, 0 }).failing = true;
                emit sensorLost(identity.id,
                                transactionErrorMessage(identity.failure.result, identity.failure.error).text);
            }
        }
        currentState = State::Running;
        emit runStarting(sensorIds());
        emit started();
        tick();
    });
}

void TimedReading::takeIdentity(Polled &sensor, int address, quint32 serialNumber, quint32 firmwareVersion)
{
    if (sensor.id != 0)
        session->applySensorIdentity(sensor.id, serialNumber, firmwareVersion);
    sensor.firmwareVersion = firmwareVersion;
    sensor.identityUnsure = false;
    if (sensor.serialNumber == serialNumber && !sensor.key.isEmpty())
        return;
    // A new sensor of the run, or another unit answering where a sensor was:
    // a log of its own serial number, never the one of another sensor.
    sensor.serialNumber = serialNumber;
    QString key = MeasurementLog::sensorKey(serialNumber);
    for (const auto &other : polled) {
        if (other.get() != &sensor && other->key == key)
            key = MeasurementLog::sensorKey(serialNumber, address);
    }
    sensor.key = key;
    const QString name = MeasurementLog::fileNameFor(key, runStart);
    sensor.log.reset(new MeasurementLog(outputDirectory.isEmpty() ? name : QDir(outputDirectory).filePath(name)));
    sensor.logCreated = false;
    sensor.logFailing = false;
}

bool TimedReading::createLog(Polled &sensor)
{
    if (!sensor.log)
        return false;
    // A log of this run is never replaced: a sensor listed again goes on in
    // it.
    if (createdLogs.contains(sensor.log->fileName()))
        sensor.logCreated = true;
    else if ((sensor.logCreated = sensor.log->create(sensor.firmwareVersion)))
        createdLogs.insert(sensor.log->fileName());
    if (!sensor.logCreated && !sensor.logFailing) {
        sensor.logFailing = true;
        if (!stopsOnLogError)
            emit logFailed(sensor.log->fileName());
    }
    return sensor.logCreated;
}

void TimedReading::stop()
{
    ++run;
    timer.stop();
    tickInFlight = false;
    currentState = State::Stopped;
}

void TimedReading::setPeriod(int periodMs)
{
    this->periodMs = periodMs;
    if (currentState != State::Running || tickInFlight)
        return;
    timer.stop();
    tick();
}

void TimedReading::pause()
{
    if (currentState != State::Running)
        return;
    // A tick under way belongs to the line that went: it leaves no row,
    // no sample and no box.
    ++run;
    tickInFlight = false;
    timer.stop();
    currentState = State::Paused;
    for (const auto &sensor : polled)
        sensor->identityUnsure = true;
    emit gap(-1, elapsedSeconds());
}

void TimedReading::resume()
{
    if (currentState != State::Paused)
        return;
    currentState = State::Running;
    if (!tickInFlight)
        tick();
}

double TimedReading::elapsedSeconds() const
{
    // Whole seconds since the run started.
    return double(runClock.elapsed() / 1000);
}

void TimedReading::tick()
{
    if (currentState != State::Running || tickInFlight)
        return;
    // An operation the user started has the line: the tick waits for it to
    // end, and then reads where it left the sensors.
    if (link->isBusy()) {
        timer.start(WaitForLinkMs);
        return;
    }
    tickInFlight = true;
    tickClock.restart();
    auto tick = std::make_shared<Tick>();
    tick->run = run;
    tick->time = QDateTime::currentDateTime();
    tick->x = elapsedSeconds();
    // The sensors listed now; those no longer listed are left, their logs
    // whole on disk.
    const QVector<Target> now = targets();
    severalSensors = severalSensors || now.size() > 1;
    QSet<int> listed;
    for (const Target &target : now) {
        const Polled &sensor = polledFor(target);
        listed.insert(target.id);
        Tick::Sensor read;
        read.id = target.id;
        read.address = target.address;
        // A sensor not known yet is asked who it is first, and so is one
        // that did not answer, or whose line was away: it may be another
        // unit when it answers.
        read.identityRead = sensor.serialNumber == 0 || sensor.failing || sensor.identityUnsure;
        read.ids = availableLiveIds(sensor.firmwareVersion);
        tick->sensors.append(read);
    }
    polled.erase(std::remove_if(polled.begin(), polled.end(),
                                [&listed](const auto &sensor) { return !listed.contains(sensor->id); }),
                 polled.end());
    link->run([tick](SensorLink &line) {
        for (Tick::Sensor &sensor : tick->sensors) {
            if (sensor.identityRead) {
                if (readIdentity(line, sensor.address, sensor.id != 0, &sensor.serialNumber,
                                 &sensor.firmwareVersion, &sensor.failure)) {
                    if (sensor.id != 0)
                        sensor.ids = availableLiveIds(sensor.firmwareVersion);
                } else {
                    sensor.identityRead = false;
                }
            }
            for (int id : qAsConst(sensor.ids)) {
                if (sensor.failure.failed())
                    break;
                const ParameterReading reading = readParameter(line, sensor.address, id);
                if (reading.result != ResultOk)
                    sensor.failure = TransferFailure::from(reading.result, line);
                else
                    sensor.values.append(reading.value);
            }
            sensor.counts = line.counts(sensor.address);
            if (sensor.failure.lineLost) {
                tick->lineLost = true;
                return;
            }
        }
    }, [this, tick] {
        if (tick->run == run)
            finishTick(*tick);
    });
}

void TimedReading::finishTick(const Tick &tick)
{
    // A device that went away leaves no row and no sample, only the gap.
    if (tick.lineLost) {
        tickInFlight = false;
        pause();
        emit lineLost();
        return;
    }
    const bool single = !severalSensors;
    bool stopped = false;
    for (int i = 0; i < tick.sensors.size() && !stopped; ++i) {
        const Tick::Sensor &read = tick.sensors.at(i);
        finishSensor(polledFor({ read.id, read.address, 0 }), tick, i, single, &stopped);
    }
    if (stopped)
        return;

    const int thisRun = run;
    const qint64 tickMs = tickClock.elapsed();
    const TransferFailure &first = tick.sensors.first().failure;
    if (single && first.failed())
        emit tickFailed(first);
    else
        emit ticked(periodMs);
    // The receiver of the signal may have stopped the run meanwhile.
    if (thisRun != run)
        return;
    tickInFlight = false;
    // The period counts the tick's own transfers, not a box that reported
    // its failure.
    if (currentState == State::Running)
        timer.start(int(qMax<qint64>(0, periodMs - tickMs)));
}

void TimedReading::finishSensor(Polled &sensor, const Tick &tick, int index, bool single, bool *stopped)
{
    const Tick::Sensor &read = tick.sensors.at(index);
    if (read.identityRead)
        takeIdentity(sensor, read.address, read.serialNumber, sensor.id != 0 ? read.firmwareVersion
                                                                             : sensor.firmwareVersion);
    const QVector<int> readIds = read.ids.mid(0, read.values.size());
    session->applySensorPoll(sensor.id, read.failure, read.counts, tick.time, readIds, read.values);

    if (!single && read.failure.failed()) {
        emit gap(sensor.id, tick.x);
        if (!sensor.failing) {
            sensor.failing = true;
            emit sensorLost(sensor.id, transactionErrorMessage(read.failure.result, read.failure.error).text);
        }
        return;
    }
    if (!single && sensor.failing) {
        sensor.failing = false;
        emit sensorBack(sensor.id);
    }
    if (sensor.serialNumber == 0)
        return;    // a sensor of one run that never answered has no log

    if (!read.values.isEmpty())
        emit sampled(sensor.id, tick.time, tick.x, readIds, read.values);
    QString row = MeasurementLog::timestampFields(tick.time);
    for (int i = 0; i < read.values.size(); ++i) {
        row += MeasurementLog::valueField(read.ids.at(i), read.values.at(i).output, options.temperaturePrecision,
                                          options.speedPrecision);
    }
    // A row of a one-sensor run cut short by a failed read is written too,
    // so the log shows the tick.
    if (!writeRow(sensor, row) && stopsOnLogError) {
        stop();
        emit logFailed(sensor.log->fileName());
        *stopped = true;
    }
}

bool TimedReading::writeRow(Polled &sensor, const QString &row)
{
    if (!sensor.logCreated && !createLog(sensor))
        return false;
    if (!sensor.log->appendRow(row)) {
        if (!sensor.logFailing) {
            sensor.logFailing = true;
            if (!stopsOnLogError)
                emit logFailed(sensor.log->fileName());
        }
        return false;
    }
    if (sensor.logFailing) {
        sensor.logFailing = false;
        emit logWritten(sensor.log->fileName());
    }
    return true;
}

void TimedReading::armNextTick()
{
    timer.start(int(qMax<qint64>(0, periodMs - tickClock.elapsed())));
}
