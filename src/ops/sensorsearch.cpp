#include "sensorsearch.h"

#include "device/conversions.h"
#include "device/parametertable.h"
#include "link/linkthread.h"
#include "link/openfailure.h"
#include "link/sensorlink.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QWaitCondition>

#include <functional>

// What the job on the link thread shares with the search object. The job
// posts its news through it only while the object is there to take them;
// the object's destructor withdraws itself under the lock, so nothing is
// ever posted to a deleted object.
struct SensorSearch::Channel
{
    QMutex mutex;
    QWaitCondition jobReturned;
    SensorSearch *receiver = nullptr;
    bool jobRunning = false;

    void post(const std::function<void(SensorSearch *)> &news)
    {
        QMutexLocker lock(&mutex);
        if (!receiver)
            return;
        SensorSearch *search = receiver;
        QMetaObject::invokeMethod(search, [search, news] { news(search); }, Qt::QueuedConnection);
    }

    void endJob()
    {
        QMutexLocker lock(&mutex);
        jobRunning = false;
        jobReturned.wakeAll();
    }
};

namespace {
bool readWords(SensorLink &link, int slave, int id, quint16 *words, int timeoutMs = -1)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    const int count = descriptor.registerCount();
    const TransactionResult result = timeoutMs < 0
            ? link.readRegisters(slave, descriptor.readAddress, count, words)
            : link.probeRegisters(slave, descriptor.readAddress, count, words, timeoutMs);
    return result == ResultOk;
}
}

SensorSearch::SensorSearch(LinkThread *linkThread, QObject *parent)
    : QObject(parent), link(linkThread), channel(std::make_shared<Channel>())
{
    // For queued connections to finished() and for signal spies.
    qRegisterMetaType<SensorSearch::Outcome>();
    channel->receiver = this;
    // A link thread destroyed mid-search never completes the job.
    connect(linkThread, &QObject::destroyed, this, [this] {
        if (!running)
            return;
        outcome = Cancelled;
        finish();
    });
}

SensorSearch::~SensorSearch()
{
    QMutexLocker lock(&channel->mutex);
    // A link thread that has gone first has either let the job finish or
    // dropped it unstarted: there is nothing to wait for then.
    if (link && channel->jobRunning) {
        link->cancel();
        while (channel->jobRunning)
            channel->jobReturned.wait(&channel->mutex);
    }
    channel->receiver = nullptr;
}

bool SensorSearch::start(const QString &device, const ScanPlan &plan, const CommTiming &timing,
                         bool stopAtFirstSensor)
{
    if (running || !link)
        return false;
    currentPlan = plan;
    foundSensors.clear();
    portFailure.clear();
    probesMade = 0;
    durationMs = -1;
    outcome = Completed;

    const std::shared_ptr<Channel> news = channel;
    // The job reports back through its own copy of the plan.
    const LinkThread::Job job = [news, device, plan, timing, stopAtFirstSensor](SensorLink &line) {
        SensorSearch::Outcome result = SensorSearch::Completed;
        const CommTiming timingBefore = line.timing();
        line.setTiming(timing);
        for (int i = 0; i < plan.size(); ++i) {
            if (line.isCancelled()) {
                result = SensorSearch::Cancelled;
                break;
            }
            const ScanProbe probe = plan.at(i);
            news->post([i](SensorSearch *search) { emit search->probing(i); });
            // Setting the port up takes longer than a probe at a fast line:
            // it happens only when the line changes.
            if (!line.isOpen() || line.bitRateCode() != probe.bitRateCode
                    || line.framingCode() != probe.framingCode) {
                if (!line.open(device, probe.bitRateCode, probe.framingCode)) {
                    const QString reason = openFailureReason(line.openError(), device);
                    news->post([reason](SensorSearch *search) { search->portFailure = reason; });
                    result = SensorSearch::PortFailed;
                    break;
                }
            }
            quint16 words[2] = { 0, 0 };
            const bool answered = readWords(line, probe.slave, IdSerialNumber, words, plan.timeoutMs(i));
            news->post([](SensorSearch *search) { ++search->probesMade; });
            if (!answered)
                continue;

            FoundSensor sensor;
            sensor.serialNumber = convertRead(parameterDescriptor(IdSerialNumber), words).output.toUInt();
            sensor.slave = probe.slave;
            sensor.bitRateCode = probe.bitRateCode;
            sensor.framingCode = probe.framingCode;
            quint16 firmware[2] = { 0, 0 };
            if (readWords(line, probe.slave, IdFWVersion, firmware))
                sensor.firmwareVersion = firmwareNumber(firmware, 2);
            news->post([sensor](SensorSearch *search) {
                search->foundSensors.append(sensor);
                emit search->sensorFound(sensor);
            });
            if (stopAtFirstSensor) {
                result = SensorSearch::StoppedAtSensor;
                break;
            }
        }
        line.close();
        line.setTiming(timingBefore);
        news->post([result](SensorSearch *search) { search->outcome = result; });
        news->endJob();
    };

    {
        QMutexLocker lock(&channel->mutex);
        channel->jobRunning = true;
    }
    const QPointer<SensorSearch> self(this);
    link->run(job, [self] {
        if (self)
            self->finish();
    });
    running = true;
    clock.start();
    return true;
}

void SensorSearch::cancel()
{
    if (running && link)
        link->cancel();
}

qint64 SensorSearch::elapsedMs() const
{
    if (durationMs >= 0)
        return durationMs;
    return clock.isValid() ? clock.elapsed() : 0;
}

void SensorSearch::finish()
{
    running = false;
    durationMs = clock.elapsed();
    emit finished(outcome);
}
