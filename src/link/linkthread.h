#ifndef LINKTHREAD_H
#define LINKTHREAD_H

#include <QObject>

#include <functional>
#include <memory>

class QThread;
struct CommTiming;
class SensorLink;

// Runs the work on the sensor line away from the GUI thread. It owns the
// one SensorLink and a thread on which every job touching it runs, one job
// after the other in the order they were given; the window keeps repainting
// meanwhile. A job's completion runs back on the thread that started it,
// where the outcome can go to widgets.
class LinkThread : public QObject
{
    Q_OBJECT

public:
    using Job = std::function<void(SensorLink &link)>;
    using Completion = std::function<void()>;

    explicit LinkThread(QObject *parent = nullptr);
    // Asks a running job to stop after its current attempt and waits for it.
    ~LinkThread() override;

    // Queues job for the link's thread and, once it has returned, runs done
    // on this object's thread. Jobs never overlap; an operation the user
    // starts checks isBusy() first, so that it never waits behind another.
    void run(Job job, Completion done = {});
    // True from the first queued job until the last one has completed.
    bool isBusy() const { return pending > 0; }

    // The timing of the transfers of every job queued from now on. It does
    // not make the link busy: it is no operation of its own.
    void setTiming(const CommTiming &timing);

    // Asks the running job to give up after its current attempt, and the
    // jobs queued so far to give up at once.
    void cancel();

    // The link, for reading its state while no job runs (isOpen(), the
    // line it was opened at); all transfers go through run().
    const SensorLink &link() const { return *sensorLink; }

private:
    void finish(const Completion &done);

    std::unique_ptr<SensorLink> sensorLink;
    QThread *thread = nullptr;
    QObject *worker = nullptr;   // lives on thread; jobs are queued to it
    int pending = 0;
};

#endif // LINKTHREAD_H
