#include "sensorsweep.h"

#include "link/linkthread.h"


SensorSweep::SensorSweep(LinkThread *link, int sensorCount, Job job, QObject *parent)
    : QObject(parent)
    , link(link)
    , sensorCount(sensorCount)
    , job(std::move(job))
{
}

void SensorSweep::start()
{
    running = true;
    done = 0;
    cancelled = false;
    runSensor(0);
}

void SensorSweep::cancel()
{
    cancelled = true;
}

void SensorSweep::runSensor(int index)
{
    if (index >= sensorCount || cancelled) {
        running = false;
        emit finished();
        return;
    }
    emit sensorStarted(index);
    // The sweep outlives its jobs: whoever starts it waits for finished().
    const Progress progress = [this, index](const QString &step) {
        QMetaObject::invokeMethod(this, [this, index, step] { emit this->progress(index, step); },
                                  Qt::QueuedConnection);
    };
    Job sensorJob = job;
    link->run([sensorJob, index, progress](SensorLink &line) { sensorJob(line, index, progress); },
              [this, index] {
        done = index + 1;
        runSensor(index + 1);
    });
}
