#ifndef TIMEDREADING_H
#define TIMEDREADING_H

#include "measurementlog.h"
#include "ops/parametertransfer.h"
#include "session/linesession.h"
#include "session/useroptions.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>
#include <vector>

class LinkThread;

// The timed reading of the live values of every sensor of the line (or,
// with none listed, of the sensor the form shows): at every period it reads
// the values each sensor has, one sensor after the other on the line,
// writes a row to each sensor's CSV log and hands the samples on (the
// plots, a publisher) and to the line session (the rows, the form's current
// values). It keeps no list of its own: each tick polls the sensors the
// session lists then, at the addresses and line the session holds then, so
// a sensor added during a run is polled from the next tick and one removed
// is no longer polled, its log left whole. Every sample is told by the
// identity of the sensor it was read from (LineSensor::id; 0 for the form's
// sensor when none is listed), never by its address. The run pauses while
// the session waits for a lost port.
//
// A sensor's log is named after the serial number it answered with; a
// second sensor of the run known by the same serial number gets a log of
// its own with its address in the name, and a sensor that answers with
// another serial number after a silence (a replaced unit) goes on in a log
// of its new serial number.
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
    // The identities of the sensors of the run so far, in the order of the
    // list.
    QVector<int> sensorIds() const;
    // What names the files of a sensor of the run (MeasurementLog::sensorKey);
    // empty until it has answered with its serial number.
    QString sensorKey(int sensorId) const;
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
    void sensorLost(int sensorId, const QString &reason);
    void sensorBack(int sensorId);
    // The device went away during a tick; the run is paused.
    void lineLost();

    // The run's first sensors, for curves of their own; samples of an
    // earlier run are kept until the new one's first.
    void runStarting(const QVector<int> &sensorIds);
    // The live values (ids in liveIds order) one sensor gave at a tick, x
    // the whole seconds since the run started.
    void sampled(int sensorId, const QDateTime &time, double x, const QVector<int> &ids,
                 const QVector<ReadValue> &values);
    // A sensor, or every sensor (sensorId -1), missed ticks from x on.
    void gap(int sensorId, double x);

private:
    struct Polled;
    struct Tick;
    struct Target
    {
        int id;
        int address;
        quint32 firmwareVersion;    // the form's sensor's, from Read all
    };
    QVector<Target> targets() const;
    Polled &polledFor(const Target &target);
    void followConnection(LineSession::Connection connection);
    void tick();
    void finishTick(const Tick &tick);
    void finishSensor(Polled &polled, const Tick &tick, int index, bool single, bool *stopped);
    void takeIdentity(Polled &polled, int address, quint32 serialNumber, quint32 firmwareVersion);
    bool writeRow(Polled &polled, const QString &row);
    bool createLog(Polled &polled);
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
    // What the run knows of each sensor it has polled, by identity: its log
    // and whether it answers. A sensor no longer listed is dropped at the
    // next tick.
    std::vector<std::unique_ptr<Polled>> polled;
    // The logs made in this run: one is appended to, never replaced, when
    // its sensor comes back to the list.
    QSet<QString> createdLogs;
    State currentState = State::Stopped;
    int periodMs = 1000;
    bool severalSensors = false;    // the run has polled more than one
    bool tickInFlight = false;
    // Each start, stop or pause begins a new run; completions of an older
    // one are dropped.
    int run = 0;
};

#endif // TIMEDREADING_H
