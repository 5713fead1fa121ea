#ifndef LINELOGGER_H
#define LINELOGGER_H

#include "loggeroptions.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <map>
#include <memory>

class LineConnection;
class LineSession;
class LinkThread;
class MqttPublisher;
class RecordLog;
class SerialPortEnumerator;
class SerialPortInfo;
class TimedReading;
struct LineSensor;
struct ReadValue;
struct TransferFailure;

// The logger's wiring, with no window: the same line session, connection,
// timed reading and logs as the window's, set up for a service that runs
// for months. It opens the line's port (waiting for it while it is not
// there), reads every sensor of the line at the period, writes the raw CSV
// of each sensor and, when asked, its interval records, and feeds both to
// an MQTT broker. Nothing it meets while running stops it: an unplugged
// adapter pauses the reading until it is back, a silent sensor leaves a gap
// in its own files, a file that cannot be written is tried again at the
// next row, a broker that is away gets what it missed when it is back.
// Only a port that another program holds, or that this account may not
// open, ends it at the start. Every such event is told once, as a line
// for the journal.
class LineLogger : public QObject
{
    Q_OBJECT

public:
    // How the logger ended; 2 is the command line's refusal, in main().
    // PortRefused (held by another program, or failing to open) may mend
    // and is retried by the service; PortNotPermitted (the account may not
    // use the device) will not, as refused arguments will not.
    enum ExitCode { Stopped = 0, Failed = 1, PortRefused = 3, PortNotPermitted = 4 };

    explicit LineLogger(const LoggerOptions &options, QObject *parent = nullptr);
    ~LineLogger() override;

    // Creates the output directory, starts the feed, then opens the port or
    // waits for it, and starts the reading.
    void start();
    // Ends after the tick under way: every row of the intervals closed by
    // now on disk, every sensor "offline" at the broker; finished() follows.
    void stop();

signals:
    // One line for the journal, without its time.
    void event(const QString &message);
    void finished(int exitCode);

private:
    struct SensorRecords;

    void openWhenPresent();
    void portRefused(int error, const QString &device);
    bool findPort(SerialPortInfo *port) const;
    void followConnection();
    void startReading();
    void readingStarted();
    void readingFailedToStart(const TransferFailure &failure);
    void sampled(int sensorId, const QDateTime &time, const QVector<int> &ids, const QVector<ReadValue> &values);
    RecordLog *recordsOf(const LineSensor &sensor);
    void advanceRecords();
    void armBoundary();
    void markLost(int sensorId, const QString &reason);
    void markBack(int sensorId);
    void setStatus(int sensorId, const QString &status);
    QString nameOf(int sensorId) const;
    void finishStop();
    void end(int exitCode);

    const LoggerOptions options;
    SerialPortEnumerator *ports;
    LineSession *session;
    LinkThread *link;
    LineConnection *connection;
    TimedReading *reading;
    std::unique_ptr<MqttPublisher> publisher;
    // By the sensor's identity in the session (LineSensor::id).
    std::map<int, std::unique_ptr<SensorRecords>> records;
    QHash<int, QString> statuses;       // as published
    QSet<int> silent;                   // sensors told as not answering
    QTimer portPoll;                    // while the port is missing at the start
    QTimer restart;                     // after a start no sensor answered
    QTimer boundary;                    // the next interval's end
    bool waitingLogged = false;
    bool startFailureLogged = false;
    bool wasWaitingForPort = false;
    bool opening = false;
    bool stopping = false;
    int mqttState = -1;                 // unknown, 0 away, 1 connected
};

#endif // LINELOGGER_H
