#include "mqttsubscriber.h"

#include <QTest>
#include <mosquitto.h>

MqttSubscriber::MqttSubscriber(quint16 port, const QString &clientId)
{
    // Once for the process, as the publisher does; never cleaned up while
    // a publisher may still use the library.
    static const int ready = mosquitto_lib_init();
    Q_UNUSED(ready)
    client = mosquitto_new(clientId.toUtf8().constData(), false, this);
    QVERIFY(client);
    mosquitto_connect_callback_set(client, &MqttSubscriber::connected);
    mosquitto_subscribe_callback_set(client, &MqttSubscriber::subscribed);
    mosquitto_message_callback_set(client, &MqttSubscriber::received);
    mosquitto_reconnect_delay_set(client, 1, 1, false);
    QCOMPARE(mosquitto_connect(client, "127.0.0.1", port, 60), int(MOSQ_ERR_SUCCESS));
    QCOMPARE(mosquitto_loop_start(client), int(MOSQ_ERR_SUCCESS));
    QVERIFY(QTest::qWaitFor([this] {
        const QMutexLocker lock(&mutex);
        return isSubscribed;
    }, 5000));
}

MqttSubscriber::~MqttSubscriber()
{
    if (!client)
        return;
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
}

QStringList MqttSubscriber::payloads(const QString &topic, bool retained) const
{
    const QMutexLocker lock(&mutex);
    QStringList found;
    for (const Message &message : messages) {
        if (message.topic == topic && (message.retained || !retained))
            found << message.payload;
    }
    return found;
}

// On every connection, a reconnection too: the session is kept, and
// subscribing again is harmless.
void MqttSubscriber::connected(mosquitto *client, void *, int result)
{
    if (result == 0)
        mosquitto_subscribe(client, nullptr, "kelvaset/#", 1);
}

void MqttSubscriber::subscribed(mosquitto *, void *self, int, int, const int *)
{
    auto *subscriber = static_cast<MqttSubscriber *>(self);
    const QMutexLocker lock(&subscriber->mutex);
    subscriber->isSubscribed = true;
}

void MqttSubscriber::received(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *subscriber = static_cast<MqttSubscriber *>(self);
    const QMutexLocker lock(&subscriber->mutex);
    subscriber->messages.append({ QString::fromUtf8(message->topic),
                                  QString::fromUtf8(static_cast<const char *>(message->payload), message->payloadlen),
                                  message->retain });
}
