#ifndef MQTTSUBSCRIBER_H
#define MQTTSUBSCRIBER_H

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>

struct mosquitto;

// A subscriber to kelvaset/# through libmosquitto, with QoS 1 and a
// persistent session (what the broker took while it was away reaches it
// still), reconnecting on its own network thread when the broker is back.
// The constructor waits until the broker has acknowledged the subscription.
class MqttSubscriber
{
public:
    MqttSubscriber(quint16 port, const QString &clientId);
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber &) = delete;
    MqttSubscriber &operator=(const MqttSubscriber &) = delete;

    // The payloads received on a topic, in order; retained: only those the
    // broker kept from before the subscription.
    QStringList payloads(const QString &topic, bool retained = false) const;

private:
    struct Message
    {
        QString topic;
        QString payload;
        bool retained;
    };

    static void connected(mosquitto *client, void *self, int result);
    static void subscribed(mosquitto *client, void *self, int, int, const int *);
    static void received(mosquitto *client, void *self, const struct mosquitto_message *message);

    mosquitto *client = nullptr;
    mutable QMutex mutex;
    QVector<Message> messages;
    bool isSubscribed = false;
};

#endif // MQTTSUBSCRIBER_H
