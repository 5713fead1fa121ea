#ifndef TIMEDREADING_H
#define TIMEDREADING_H

#include "measurementlog.h"
#include "ops/parametertransfer.h"
#include "session/linesession.h"
#include "session/useroptions.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class LinkThread;

// The timed reading of the live values of every sensor of the line (or,
// with none listed, of the sensor the form shows): at every period it reads
// the values each sensor has, one sensor after the other on the line,
// writes a row to each sensor's CSV log and hands the samples on (the
// plots, a publisher) and to the line session (the form's current values).
// Each tick reads at the addresses and line the session holds then, and the
// run pauses while the session waits for a lost port.
//
// The next tick is armed only once a tick has completed, and a tick's
// failure is reported before that, so ticks never overlap or nest, however
// long a transfer or the box that reports it takes.
//
// A run of one sensor reports a failed read at each tick and logs the row
// as far as it got. With two or more, a sensor that stops answering keeps
// its place: its log gets no row and its curve a gap, it is reported once
// when it stops and once when it answers again, and the others go on.
class TimedReading : public QObject
{
    Q_OBJECT

public:
    enum class State { Stopped, Starting, Running, Paused };

    TimedReading(LinkThread *link, LineSession *session, QObject *parent = nullptr);
    ~TimedReading() override;

    State state() const { return currentState; }
    bool isActive() const { return currentState != State::Stopped; }
    // The sensors polled, by address, in the order they are read.
    QVector<int> addresses() const;
    // The log of the last run's first sensor, and those of all its sensors.
    QString logFileName() const;
    QStringList logFileNames() const;

    // Where the logs go; the working directory by default.
    void setOutputDirectory(const QString &directory) { outputDirectory = directory; }
    // Decimals of the logged temperature and speed.
    void setOptions(const UserOptions &options) { this->options = options; }
    // The window stops a run whose log cannot be written; a logger that
    // runs for months reports it once and tries again at the next row.
    void setStopsOnLogError(bool stops) { stopsOnLogError = stops; }

    // Reads each sensor's identity for its log's name, creates the logs,
    // then reads the values at once and every periodMs.
    void start(int periodMs);
    void stop();
    // The new period starts with a tick now, or after the tick under way.
    void setPeriod(int periodMs);

    // While the line is away no tick runs; the logs and the curves show the
    // gap. resume() goes on with a tick at once.
    void pause();
    void resume();

signals:
    void started();
    // The run did not start: no sensor's serial number could be read.
    void startFailed(const TransferFailure &failure);
    // A log could not be written; with setStopsOnLogError(true) the run
    // has stopped, otherwise this comes once until the log is written again.
    void logFailed(const QString &fileName);
    void logWritten(const QString &fileName);
    void ticked(int periodMs);
    // A read of a one-sensor run failed; the run goes on once the receiver
    // returns.
    void tickFailed(const TransferFailure &failure);
    // A sensor of a run of several stopped answering, or answers again.
    void sensorLost(int address, const QString &reason);
    void sensorBack(int address);
    // The device went away during a tick; the run is paused.
    void lineLost();

    // The run's sensors, for curves of their own; samples of an earlier run
    // are kept until the new one's first.
    void runStarting(const QVector<int> &addresses);
    // The live values (ids in liveIds order) one sensor gave at a tick, x
    // the whole seconds since the run started.
    void sampled(int address, const QDateTime &time, double x, const QVector<int> &ids,
                 const QVector<ReadValue> &values);
    // A sensor, or every sensor (address -1), missed ticks from x on.
    void gap(int address, double x);

private:
    struct Polled;
    struct Tick;
    void followConnection(LineSession::Connection connection);
    void tick();
    void finishTick(const Tick &tick);
    void finishSensor(Polled &polled, const Tick &tick, int index, bool single, bool *stopped);
    bool writeRow(Polled &polled, const QString &row);
    bool createLog(Polled &polled);
    QString logPath(quint32 serialNumber) const;
    void armNextTick();
    double elapsedSeconds() const;

    LinkThread *link;
    LineSession *session;
    UserOptions options;
    QString outputDirectory;
    bool stopsOnLogError = true;
    QTimer timer;
    QElapsedTimer runClock;
    QElapsedTimer tickClock;
    QDateTime runStart;
    std::vector<std::unique_ptr<Polled>> polled;
    State currentState = State::Stopped;
    int periodMs = 1000;
    int formSlave = 1;
    bool tickInFlight = false;
    // Each start, stop or pause begins a new run; completions of an older
    // one are dropped.
    int run = 0;
};

#endif // TIMEDREADING_H
