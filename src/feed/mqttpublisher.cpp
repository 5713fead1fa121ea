#include "mqttpublisher.h"

#include "feed/feedmessages.h"

#include <QDeadlineTimer>
#include <QSysInfo>
#include <cstring>
#include <mosquitto.h>
#include <mutex>

namespace {

// Enough to keep a distant broker busy, few enough to re-send after a drop.
constexpr int Window = 10;
constexpr int QoS = 1;

const QByteArray Online = QByteArrayLiteral("online");
const QByteArray Offline = QByteArrayLiteral("offline");

QString libraryError(int result)
{
    return QString::fromLocal8Bit(result == MOSQ_ERR_ERRNO ? strerror(errno) : mosquitto_strerror(result));
}

} // namespace

MqttPublisher::MqttPublisher(const MqttOptions &options, int queueLimit, QObject *parent)
    : QObject(parent)
    , options(options)
    , queueLimit(qMax(1, queueLimit))
{
    if (this->options.clientId.isEmpty())
        this->options.clientId = QStringLiteral("kelvaset-%0").arg(QSysInfo::machineHostName());
}

MqttPublisher::~MqttPublisher()
{
    stop(0);
}

bool MqttPublisher::start()
{
    if (client)
        return true;
    stopping = false;
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    client = mosquitto_new(options.clientId.toUtf8().constData(), true, this);
    if (!client) {
        lastError = QStringLiteral("No MQTT client: %0").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    mosquitto_connect_callback_set(client, onConnect);
    mosquitto_disconnect_callback_set(client, onDisconnect);
    mosquitto_publish_callback_set(client, onPublish);

    const QByteArray willTopic = loggerStatusTopic(options.clientId).toUtf8();
    int result = mosquitto_will_set(client, willTopic.constData(), Offline.size(), Offline.constData(), QoS, true);
    if (result == MOSQ_ERR_SUCCESS && !options.username.isEmpty()) {
        const QByteArray password = options.password.toUtf8();
        result = mosquitto_username_pw_set(client, options.username.toUtf8().constData(),
                                           options.password.isEmpty() ? nullptr : password.constData());
    }
    QString reason;
    if (result == MOSQ_ERR_SUCCESS && !options.caFile.isEmpty()) {
        result = mosquitto_tls_set(client, options.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
        // The library tells of an unreadable file as of invalid arguments.
        if (result != MOSQ_ERR_SUCCESS)
            reason = QStringLiteral("CA file %0 cannot be read").arg(options.caFile);
    }
    if (result == MOSQ_ERR_SUCCESS)
        result = mosquitto_reconnect_delay_set(client, 1, 30, true);
    // The thread must run before the connection is asked for: a broker that
    // refuses the very first attempt is then retried like a lost one.
    bool threadStarted = false;
    if (result == MOSQ_ERR_SUCCESS) {
        result = mosquitto_loop_start(client);
        threadStarted = result == MOSQ_ERR_SUCCESS;
    }
    if (result == MOSQ_ERR_SUCCESS)
        result = mosquitto_connect_async(client, options.host.toUtf8().constData(), options.port, options.keepaliveSeconds);
    if (result != MOSQ_ERR_SUCCESS) {
        lastError = QStringLiteral("MQTT broker %0:%1: %2").arg(options.host).arg(options.port)
                .arg(reason.isEmpty() ? libraryError(result) : reason);
        if (threadStarted) {
            mosquitto_disconnect(client);
            mosquitto_loop_stop(client, false);
        }
        mosquitto_destroy(client);
        client = nullptr;
        return false;
    }
    return true;
}

void MqttPublisher::stop(int timeoutMs)
{
    if (!client)
        return;
    {
        QMutexLocker lock(&mutex);
        stopping = true;
        // The logger's own status goes last, after its sensors'.
        putFirstInLine(loggerStatusTopic(options.clientId), Offline, true);
        for (auto status = sensorStatuses.end(); status != sensorStatuses.begin();) {
            --status;
            status.value() = QString::fromLatin1(Offline);
            putFirstInLine(statusTopic(status.key()), Offline, true);
        }
        handOut();
        const QDeadlineTimer deadline(timeoutMs);
        while (lastWordsPending() && !deadline.hasExpired())
            acknowledged.wait(&mutex, deadline);
    }
    // A clean disconnect: the broker discards the will. What was handed to
    // the library goes out before the disconnect itself.
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
    client = nullptr;
    // What the library held is gone with it: a new start() sends it again.
    QMutexLocker lock(&mutex);
    connected = false;
    handed = 0;
}

bool MqttPublisher::flush(int timeoutMs)
{
    QMutexLocker lock(&mutex);
    const QDeadlineTimer deadline(timeoutMs);
    while (connected && !queue.empty() && !deadline.hasExpired())
        acknowledged.wait(&mutex, deadline);
    return queue.empty();
}

void MqttPublisher::publish(const QString &topic, const QByteArray &payload, bool retained)
{
    qint64 droppedSoFar = 0;
    {
        QMutexLocker lock(&mutex);
        if (!enqueue(topic, payload, retained))
            return;
        droppedSoFar = dropped;
    }
    emit overflowStarted(droppedSoFar);
}

void MqttPublisher::setSensorStatus(const QString &sensorKey, const QString &status)
{
    {
        QMutexLocker lock(&mutex);
        sensorStatuses.insert(sensorKey, status);
    }
    publish(statusTopic(sensorKey), status.toUtf8(), true);
}

bool MqttPublisher::isConnected() const
{
    QMutexLocker lock(&mutex);
    return connected;
}

int MqttPublisher::queuedCount() const
{
    QMutexLocker lock(&mutex);
    return int(queue.size());
}

qint64 MqttPublisher::droppedCount() const
{
    QMutexLocker lock(&mutex);
    return dropped;
}

void MqttPublisher::onConnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    {
        QMutexLocker lock(&publisher->mutex);
        publisher->connected = result == 0;
        if (publisher->connected && !publisher->stopping) {
            publisher->republishStatuses();
            publisher->handOut();
        }
    }
    emit publisher->connectionChanged(result == 0, QString::fromUtf8(mosquitto_connack_string(result)));
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    {
        QMutexLocker lock(&publisher->mutex);
        publisher->connected = false;
        // flush() waits no longer for a broker that went away.
        publisher->acknowledged.wakeAll();
    }
    emit publisher->connectionChanged(false, libraryError(result));
}

void MqttPublisher::onPublish(mosquitto *, void *self, int mid)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    QMutexLocker lock(&publisher->mutex);
    auto &queue = publisher->queue;
    for (int i = 0; i < publisher->handed; ++i) {
        if (queue[size_t(i)].mid == mid) {
            queue.erase(queue.begin() + i);
            --publisher->handed;
            break;
        }
    }
    if (queue.empty())
        publisher->overflowing = false;
    publisher->handOut();
    publisher->acknowledged.wakeAll();
}

bool MqttPublisher::enqueue(const QString &topic, const QByteArray &payload, bool retained)
{
    bool overflowBegins = false;
    if (int(queue.size()) >= queueLimit) {
        ++dropped;
        overflowBegins = !overflowing;
        overflowing = true;
        // What the library holds cannot be called back; with nothing else
        // waiting the new message is the one given up.
        if (handed == int(queue.size()))
            return overflowBegins;
        queue.erase(queue.begin() + handed);
    }
    queue.push_back(Message { topic, payload, retained, false, -1 });
    handOut();
    return overflowBegins;
}

void MqttPublisher::putFirstInLine(const QString &topic, const QByteArray &payload, bool lastWord)
{
    queue.insert(queue.begin() + handed, Message { topic, payload, true, lastWord, -1 });
}

void MqttPublisher::republishStatuses()
{
    // The will may have replaced the logger's status while it was away, and
    // a broker that lost its store has forgotten the sensors'.
    for (auto status = sensorStatuses.cend(); status != sensorStatuses.cbegin();) {
        --status;
        putFirstInLine(statusTopic(status.key()), status.value().toUtf8(), false);
    }
    putFirstInLine(loggerStatusTopic(options.clientId), Online, false);
}

void MqttPublisher::handOut()
{
    if (!connected || !client)
        return;
    while (handed < Window && handed < int(queue.size())) {
        Message &message = queue[size_t(handed)];
        if (stopping && !message.lastWord)
            break;
        const QByteArray topic = message.topic.toUtf8();
        int mid = 0;
        const int result = mosquitto_publish(client, &mid, topic.constData(), message.payload.size(),
                                             message.payload.constData(), QoS, message.retained);
        // A QoS 1 message is queued by the library even when the connection
        // has just gone (MOSQ_ERR_NO_CONN), and sent once it is back.
        if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN) {
            message.mid = mid;
            ++handed;
        } else {
            // Refused for good (a topic with wildcards, a payload too large).
            queue.erase(queue.begin() + handed);
            ++dropped;
        }
    }
}

bool MqttPublisher::lastWordsPending() const
{
    for (const Message &message : queue) {
        if (message.lastWord)
            return true;
    }
    return false;
}
