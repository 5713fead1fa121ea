#ifndef TIMEDREADING_H
#define TIMEDREADING_H

#include "measurementlog.h"
#include "ops/parametertransfer.h"
#include "session/linesession.h"
#include "useroptions.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class LinkThread;
class LivePlots;

// The timed reading of the live values: at every period it reads the
// values the sensor has, hands them to the line session (the form's
// current values follow it), appends them to the curves and writes a row of
// the CSV log. Each tick reads at the address and line the session holds
// then, and the run pauses while the session waits for a lost port. The next tick is armed only once a tick has completed, and a
// tick's failure is reported before that, so ticks never overlap or nest,
// however long a transfer or the box that reports it takes.
class TimedReading : public QObject
{
    Q_OBJECT

public:
    enum class State { Stopped, Starting, Running, Paused };

    TimedReading(LinkThread *link, LineSession *session, LivePlots *plots, QObject *parent = nullptr);

    State state() const { return currentState; }
    bool isActive() const { return currentState != State::Stopped; }
    QString logFileName() const { return log ? log->fileName() : QString(); }

    // Reads the serial number for the log's name, creates the log, then
    // reads the values at once and every periodMs.
    void start(int periodMs);
    void stop();
    // The new period starts with a tick now, or after the tick under way.
    void setPeriod(int periodMs);

    // While the line is away no tick runs; the log and the curves show the
    // gap. resume() goes on with a tick at once.
    void pause();
    void resume();

    // Decimals of the logged temperature and speed.
    void setOptions(const UserOptions &options) { this->options = options; }

signals:
    void started();
    // The run did not start or has stopped: the serial number could not be
    // read, or the log could not be written (logFailed).
    void startFailed(const TransferFailure &failure);
    void logFailed(const QString &fileName);
    void ticked(int periodMs);
    // A read failed; the run goes on once the receiver returns.
    void tickFailed(const TransferFailure &failure);
    // The device went away during a tick; the run is paused.
    void lineLost();

private:
    struct Tick;
    void tick();
    void finishTick(const Tick &tick);
    void armNextTick();
    double elapsedSeconds() const;

    void followConnection(LineSession::Connection connection);

    LinkThread *link;
    LineSession *session;
    LivePlots *plots;
    UserOptions options;
    QTimer timer;
    QElapsedTimer runClock;
    QElapsedTimer tickClock;
    std::unique_ptr<MeasurementLog> log;
    State currentState = State::Stopped;
    quint32 firmwareVersion = 0;
    int periodMs = 1000;
    bool tickInFlight = false;
    // The curves keep the last run until the new one brings its first sample.
    bool curvesPendingClear = false;
    // Each start, stop or pause begins a new run; completions of an older
    // one are dropped.
    int run = 0;
};

#endif // TIMEDREADING_H
