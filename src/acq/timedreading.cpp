#include "timedreading.h"

#include "device/parametertable.h"
#include "link/linkthread.h"
#include "liveplots.h"

#include <QPointF>
#include <QVector>

#include <algorithm>
#include <memory>

struct TimedReading::Tick
{
    int run = 0;
    QDateTime time;
    double x = 0;
    QVector<int> ids;                 // read, in order
    QVector<ReadValue> values;
    TransferFailure failure;
};

TimedReading::TimedReading(LinkThread *link, LineSession *session, LivePlots *plots, QObject *parent)
    : QObject(parent)
    , link(link)
    , session(session)
    , plots(plots)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TimedReading::tick);
    connect(session, &LineSession::connectionChanged, this, &TimedReading::followConnection);
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
    const int slave = session->slave();
    firmwareVersion = session->firmwareVersion();
    this->periodMs = periodMs;
    const int thisRun = ++run;
    auto reading = std::make_shared<ParameterReading>();
    auto failure = std::make_shared<TransferFailure>();
    link->run([slave, reading, failure](SensorLink &sensorLink) {
        *reading = readParameter(sensorLink, slave, IdSerialNumber);
        *failure = TransferFailure::from(reading->result, sensorLink);
    }, [this, thisRun, reading, failure] {
        if (thisRun != run)
            return;
        if (reading->result != ResultOk) {
            currentState = State::Stopped;
            emit startFailed(*failure);
            return;
        }
        runClock.restart();
        log.reset(new MeasurementLog(MeasurementLog::fileNameFor(reading->value.output.toUInt(),
                                                                 QDateTime::currentDateTime())));
        if (!log->create(this->firmwareVersion)) {
            currentState = State::Stopped;
            emit logFailed(log->fileName());
            return;
        }
        curvesPendingClear = true;
        currentState = State::Running;
        emit started();
        tick();
    });
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
    plots->markGap(elapsedSeconds());
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
    for (int id : liveIds) {
        if (parameterDescriptor(id).isAvailable(firmwareVersion))
            tick->ids.append(id);
    }
    // Where the sensor is now: a Write all may have moved it since the start.
    const int address = session->slave();
    link->run([tick, address](SensorLink &sensorLink) {
        for (int id : qAsConst(tick->ids)) {
            const ParameterReading reading = readParameter(sensorLink, address, id);
            if (reading.result != ResultOk) {
                tick->failure = TransferFailure::from(reading.result, sensorLink);
                return;
            }
            tick->values.append(reading.value);
        }
    }, [this, tick] {
        if (tick->run == run)
            finishTick(*tick);
    });
}

void TimedReading::finishTick(const Tick &tick)
{
    // A device that went away leaves no row and no sample, only the gap.
    if (tick.failure.failed() && tick.failure.lineLost) {
        tickInFlight = false;
        pause();
        emit lineLost();
        return;
    }

    session->applyLiveValues(tick.ids, tick.values);
    QString row = MeasurementLog::timestampFields(tick.time);
    if (!tick.values.isEmpty() && curvesPendingClear) {
        plots->clear();
        curvesPendingClear = false;
    }
    for (int i = 0; i < tick.values.size(); ++i) {
        const int id = tick.ids.at(i);
        const int position = int(std::find(liveIds.cbegin(), liveIds.cend(), id) - liveIds.cbegin());
        plots->append(position, QPointF(tick.x, tick.values.at(i).output.toDouble()));
        row += MeasurementLog::valueField(id, tick.values.at(i).output, options.temperaturePrecision,
                                          options.speedPrecision);
    }
    // A row cut short by a failed read is written too, so the log shows
    // the tick.
    if (!log->appendRow(row)) {
        stop();
        emit logFailed(log->fileName());
        return;
    }

    const int thisRun = run;
    const qint64 tickMs = tickClock.elapsed();
    if (tick.failure.failed())
        emit tickFailed(tick.failure);
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

void TimedReading::armNextTick()
{
    timer.start(int(qMax<qint64>(0, periodMs - tickClock.elapsed())));
}
