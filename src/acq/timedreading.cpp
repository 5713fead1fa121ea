#include "timedreading.h"

#include "device/parametertable.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "link/transactionerror.h"

#include <QDir>

#include <algorithm>
#include <memory>

// One sensor of the run.
struct TimedReading::Polled
{
    int address = 1;
    bool listed = false;           // a sensor of the session's list, not the form's alone
    quint32 serialNumber = 0;      // 0 until its identity has been read
    quint32 firmwareVersion = 0;
    std::unique_ptr<MeasurementLog> log;
    bool logCreated = false;
    bool logFailing = false;
    bool failing = false;
};

// What one tick read; filled on the link's thread.
struct TimedReading::Tick
{
    struct Sensor
    {
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
    // The form's sensor may move (a Write all of its node): its polling
    // follows it from the next tick, as does its row of the list.
    formSlave = session->slave();
    connect(session, &LineSession::slaveChanged, this, [this](int slave) {
        for (const auto &sensor : polled) {
            if (sensor->address == formSlave)
                sensor->address = slave;
        }
        formSlave = slave;
    });
}

TimedReading::~TimedReading() = default;

QVector<int> TimedReading::addresses() const
{
    QVector<int> result;
    for (const auto &sensor : polled)
        result << sensor->address;
    return result;
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

QString TimedReading::logPath(quint32 serialNumber) const
{
    const QString name = MeasurementLog::fileNameFor(serialNumber, runStart);
    return outputDirectory.isEmpty() ? name : QDir(outputDirectory).filePath(name);
}

void TimedReading::start(int periodMs)
{
    stop();
    currentState = State::Starting;
    this->periodMs = periodMs;
    polled.clear();
    for (const LineSensor &sensor : session->sensors()) {
        auto entry = std::make_unique<Polled>();
        entry->address = sensor.address;
        entry->listed = true;
        polled.push_back(std::move(entry));
    }
    if (polled.empty()) {
        // No list: the sensor the form shows, whose firmware Read all told.
        auto entry = std::make_unique<Polled>();
        entry->address = session->slave();
        entry->firmwareVersion = session->firmwareVersion();
        polled.push_back(std::move(entry));
    }
    const int thisRun = ++run;
    // The form's sensor has its firmware from Read all; a listed sensor is
    // asked.
    auto identities = std::make_shared<QVector<Tick::Sensor>>();
    QVector<bool> withFirmware;
    for (const auto &sensor : polled) {
        Tick::Sensor identity;
        identity.address = sensor->address;
        identities->append(identity);
        withFirmware.append(sensor->listed);
    }
    link->run([identities, withFirmware](SensorLink &line) {
        for (int i = 0; i < identities->size(); ++i) {
            Tick::Sensor &sensor = (*identities)[i];
            sensor.identityRead = readIdentity(line, sensor.address, withFirmware.at(i), &sensor.serialNumber,
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
        const bool single = polled.size() == 1;
        bool anyAnswered = false;
        for (size_t i = 0; i < polled.size(); ++i) {
            Polled &sensor = *polled[i];
            const Tick::Sensor &identity = identities->at(int(i));
            if (sensor.listed)
                session->applySensorPoll(sensor.address, identity.failure, identity.counts);
            if (!identity.identityRead)
                continue;
            anyAnswered = true;
            sensor.serialNumber = identity.serialNumber;
            if (sensor.listed) {
                sensor.firmwareVersion = identity.firmwareVersion;
                session->applySensorIdentity(sensor.address, identity.serialNumber, identity.firmwareVersion);
            }
            if (!createLog(sensor) && stopsOnLogError) {
                currentState = State::Stopped;
                emit logFailed(sensor.log->fileName());
                return;
            }
        }
        if (!anyAnswered || (single && !identities->first().identityRead)) {
            currentState = State::Stopped;
            emit startFailed(identities->first().failure);
            return;
        }
        // A sensor that did not answer at the start is asked its identity
        // again at every tick, and reported once.
        for (size_t i = 0; i < polled.size(); ++i) {
            if (!identities->at(int(i)).identityRead) {
                polled[i]->failing = true;
                const TransferFailure &failure = identities->at(int(i)).failure;
                emit sensorLost(polled[i]->address, transactionErrorMessage(failure.result, failure.error).text);
            }
        }
        currentState = State::Running;
        emit runStarting(addresses());
        emit started();
        tick();
    });
}

bool TimedReading::createLog(Polled &sensor)
{
    if (!sensor.log)
        sensor.log.reset(new MeasurementLog(logPath(sensor.serialNumber)));
    sensor.logCreated = sensor.log->create(sensor.firmwareVersion);
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
    // An operation the user started has the line: this tick is left out.
    if (link->isBusy()) {
        tickClock.restart();
        armNextTick();
        return;
    }
    tickInFlight = true;
    tickClock.restart();
    auto tick = std::make_shared<Tick>();
    tick->run = run;
    tick->time = QDateTime::currentDateTime();
    tick->x = elapsedSeconds();
    for (const auto &sensor : polled) {
        Tick::Sensor read;
        read.address = sensor->address;
        // A sensor not known yet is asked who it is first.
        read.identityRead = sensor->serialNumber == 0;
        read.ids = availableLiveIds(sensor->firmwareVersion);
        tick->sensors.append(read);
    }
    link->run([tick](SensorLink &line) {
        for (Tick::Sensor &sensor : tick->sensors) {
            if (sensor.identityRead) {
                if (readIdentity(line, sensor.address, true, &sensor.serialNumber, &sensor.firmwareVersion,
                                 &sensor.failure)) {
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
    const bool single = polled.size() == 1;
    bool stopped = false;
    for (int i = 0; i < tick.sensors.size() && !stopped; ++i)
        finishSensor(*polled[size_t(i)], tick, i, single, &stopped);
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
    if (sensor.listed)
        session->applySensorPoll(sensor.address, read.failure, read.counts);
    if (read.identityRead) {
        sensor.serialNumber = read.serialNumber;
        sensor.firmwareVersion = read.firmwareVersion;
        if (sensor.listed)
            session->applySensorIdentity(sensor.address, read.serialNumber, read.firmwareVersion);
    }
    if (sensor.address == session->slave() && !read.values.isEmpty())
        session->applyLiveValues(read.ids.mid(0, read.values.size()), read.values);

    if (!single && read.failure.failed()) {
        emit gap(sensor.address, tick.x);
        if (!sensor.failing) {
            sensor.failing = true;
            emit sensorLost(sensor.address, transactionErrorMessage(read.failure.result, read.failure.error).text);
        }
        return;
    }
    if (!single && sensor.failing) {
        sensor.failing = false;
        emit sensorBack(sensor.address);
    }
    if (sensor.serialNumber == 0)
        return;    // a sensor of one run that never answered has no log

    if (!read.values.isEmpty())
        emit sampled(sensor.address, tick.time, tick.x, read.ids.mid(0, read.values.size()), read.values);
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
