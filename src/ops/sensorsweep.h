#ifndef SENSORSWEEP_H
#define SENSORSWEEP_H

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class LinkThread;
class SensorLink;

// Runs one job per sensor of a list, in turn, each as a job of its own on
// the link's thread, so the window keeps repainting and a cancel takes
// effect between sensors: the sensor under way is finished, no other one is
// started. What each job finds is kept by the caller's job itself. The
// sweep must live until finished() has come.
class SensorSweep : public QObject
{
    Q_OBJECT

public:
    // Callable on the link's thread: tells the step under way.
    using Progress = std::function<void(const QString &step)>;
    using Job = std::function<void(SensorLink &link, int index, const Progress &progress)>;

    SensorSweep(LinkThread *link, int sensorCount, Job job, QObject *parent = nullptr);

    void start();
    void cancel();
    bool wasCancelled() const { return cancelled; }
    // Sensors whose job has completed.
    int sensorsDone() const { return done; }
    bool isRunning() const { return running; }

signals:
    void sensorStarted(int index);
    void progress(int index, const QString &step);
    void finished();

private:
    void runSensor(int index);

    LinkThread *link;
    int sensorCount;
    Job job;
    int done = 0;
    bool cancelled = false;
    bool running = false;
};

#endif // SENSORSWEEP_H
