#ifndef MQTTPUBLISHER_H
#define MQTTPUBLISHER_H

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>
#include <deque>

struct mosquitto;

// How to reach the plant's broker.
struct MqttOptions
{
    QString host = QStringLiteral("localhost");
    int port = 1883;
    QString clientId;           // also names the logger's status topic; kelvaset-<host name> when empty
    QString username;           // none when empty
    QString password;           // read by the caller from a file
    QString caFile;             // TLS with this CA when set
    int keepaliveSeconds = 60;
};

// Hands messages to an MQTT broker through libmosquitto's own network
// thread, so that publish() never waits on the network: it only takes the
// queue's mutex, which the network thread holds briefly.
//
// Every message goes out with QoS 1, in the order given, with a small window
// in flight, and leaves the queue only when the broker has acknowledged it:
// a broker that goes away (or is not there at the start) loses nothing, the
// library re-sends what was in flight once it is back, and the rest follows
// in order. Reconnection waits 1 s, doubling up to 30 s. The queue holds at
// most queueLimit messages; beyond that the oldest not yet handed to the
// network is dropped and counted, and overflowStarted() is emitted once per
// overflow, which ends when the queue is empty again.
//
// The will: MQTT has one will per connection, not one per sensor, so the
// connection's will is a retained "offline" on kelvaset/logger/<client
// id>/status, and "online" is published there on every connection. Each
// sensor's retained kelvaset/<serial>/status is set by setSensorStatus(),
// published again on every connection (a broker restarted without its store
// forgets it), and set to "offline" by stop(). A logger that dies leaves the
// sensors' last status and the logger's "offline". Statuses published again
// on a connection go first in line and come on top of queueLimit.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    MqttPublisher(const MqttOptions &options, int queueLimit, QObject *parent = nullptr);
    // Stops without waiting for acknowledgements.
    ~MqttPublisher() override;

    // Starts the network thread and the connection. A broker that is down
    // is not an error; false when the options cannot be used (an unreadable
    // CA file, a host name that does not resolve), with errorString().
    bool start();
    // Sets every sensor's status and the logger's to "offline", waits up to
    // timeoutMs for the broker to acknowledge them (and whatever was in
    // flight before), then disconnects cleanly. Messages not yet sent are
    // given up.
    void stop(int timeoutMs = 3000);
    // Waits up to timeoutMs, while the broker is connected, for it to
    // acknowledge every message queued (before stop(), which gives up what
    // was not sent); true when it has.
    bool flush(int timeoutMs);

    void publish(const QString &topic, const QByteArray &payload, bool retained = false);
    // "online", "offline" or "no answer", retained on kelvaset/<serial>/status.
    void setSensorStatus(const QString &sensorKey, const QString &status);
    void setSensorStatus(quint32 serialNumber, const QString &status)
    {
        setSensorStatus(QString::number(serialNumber), status);
    }

    bool isConnected() const;
    int queuedCount() const;        // waiting or not yet acknowledged
    qint64 droppedCount() const;
    QString errorString() const { return lastError; }

signals:
    // Emitted on the thread that published, when a full queue first drops a message.
    void overflowStarted(qint64 droppedSoFar);
    // Emitted on the network thread; reason is the library's text.
    void connectionChanged(bool connected, const QString &reason);

private:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained = false;
        bool lastWord = false;  // an "offline" published by stop()
        int mid = -1;           // the library's id once handed to it
    };

    static void onConnect(mosquitto *client, void *self, int result);
    static void onDisconnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int mid);

    // The rest run with the mutex held.
    bool enqueue(const QString &topic, const QByteArray &payload, bool retained);
    void putFirstInLine(const QString &topic, const QByteArray &payload, bool lastWord);
    void republishStatuses();
    void handOut();
    bool lastWordsPending() const;

    MqttOptions options;
    const int queueLimit;
    mosquitto *client = nullptr;
    QString lastError;

    mutable QMutex mutex;
    QWaitCondition acknowledged;
    std::deque<Message> queue;      // the first `handed` are in the library's hands
    int handed = 0;
    bool connected = false;
    bool overflowing = false;
    qint64 dropped = 0;
    QMap<QString, QString> sensorStatuses;
    bool stopping = false;          // then only the last words are handed out
};

#endif // MQTTPUBLISHER_H
