#include "linkthread.h"

#include "sensorlink.h"

#include <QThread>

LinkThread::LinkThread(QObject *parent)
    : QObject(parent)
    , sensorLink(new SensorLink)
    , thread(new QThread)
    , worker(new QObject)
{
    thread->setObjectName(QStringLiteral("sensor link"));
    worker->moveToThread(thread);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
}

LinkThread::~LinkThread()
{
    // A job under way ends after its current attempt; completions still
    // queued for this object are dropped with it.
    sensorLink->cancel();
    thread->quit();
    thread->wait();
    delete thread;
    // The line is closed here, on the thread that joined the link's.
    sensorLink.reset();
}

void LinkThread::run(Job job, Completion done)
{
    if (pending++ == 0)
        emit busyChanged(true);
    SensorLink *link = sensorLink.get();
    // The destructor joins the thread before this object goes, so posting
    // the completion to it is safe; an event still queued then is dropped.
    QMetaObject::invokeMethod(worker, [this, link, job = std::move(job), done = std::move(done)] {
        job(*link);
        QMetaObject::invokeMethod(this, [this, done] { finish(done); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void LinkThread::cancel()
{
    // Cleared by the next job queued after the ones it stops.
    sensorLink->cancel();
    QMetaObject::invokeMethod(worker, [link = sensorLink.get()] { link->resetCancel(); }, Qt::QueuedConnection);
}

void LinkThread::finish(const Completion &done)
{
    if (--pending == 0)
        emit busyChanged(false);
    if (done)
        done();
}
