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

void LinkThread::setTiming(const CommTiming &timing)
{
    QMetaObject::invokeMethod(worker, [link = sensorLink.get(), timing] { link->setTiming(timing); },
                              Qt::QueuedConnection);
}

void LinkThread::run(Job job, Completion done)
{
    ++pending;
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
    --pending;
    if (done)
        done();
}
