#ifndef SENSORSEARCH_H
#define SENSORSEARCH_H

#include "link/commtiming.h"
#include "link/linkthread.h"
#include "scanplan.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

// A sensor that answered the search, and the line it answered at.
struct FoundSensor
{
    quint32 serialNumber = 0;
    quint32 firmwareVersion = 0;   // 0 when the sensor did not tell it
    int slave = 0;
    int bitRateCode = -1;
    int framingCode = -1;
};

// Looks for sensors on one serial device by reading the serial number at
// every address and line of a ScanPlan, one attempt each, on the link's
// thread. A sensor that answers is asked its firmware version at the same
// line. The port is set up anew only when the line changes, and closed
// when the search ends however it ends.
//
// The object lives on the GUI thread; its signals arrive there, so
// widgets may take them directly.
class SensorSearch : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        Completed,          // every probe was made
        StoppedAtSensor,    // a sensor answered and only the first was wanted
        Cancelled,
        PortFailed          // the device would not open; see failureReason()
    };
    Q_ENUM(Outcome)

    explicit SensorSearch(LinkThread *linkThread, QObject *parent = nullptr);
    // A search under way is cancelled and its probe awaited, so that the
    // link is closed and nothing arrives for this object afterwards.
    ~SensorSearch() override;

    // Searches device along plan with the timing's byte timeout and
    // retries (for the firmware read), after any job the link has already
    // been given; the link must be closed by then. False, starting
    // nothing, while a search runs.
    bool start(const QString &device, const ScanPlan &plan, const CommTiming &timing, bool stopAtFirstSensor);
    // Stops after the probe under way; finished() follows.
    void cancel();
    bool isRunning() const { return running; }

    const ScanPlan &plan() const { return currentPlan; }
    const QList<FoundSensor> &sensors() const { return foundSensors; }
    // Probes made so far.
    int probesDone() const { return probesMade; }
    qint64 elapsedMs() const;
    // Why the port would not open, for a PortFailed outcome.
    const QString &failureReason() const { return portFailure; }

signals:
    // Probe index of the plan is being made.
    void probing(int index);
    void sensorFound(const FoundSensor &sensor);
    // The link is closed and free for the next job when this arrives.
    void finished(SensorSearch::Outcome outcome);

private:
    struct Channel;

    void finish();

    QPointer<LinkThread> link;
    std::shared_ptr<Channel> channel;
    ScanPlan currentPlan;
    QList<FoundSensor> foundSensors;
    QString portFailure;
    QElapsedTimer clock;
    qint64 durationMs = -1;
    int probesMade = 0;
    Outcome outcome = Completed;
    bool running = false;
};

#endif // SENSORSEARCH_H
