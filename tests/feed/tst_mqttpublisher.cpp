#include "device/parametertable.h"
#include "feed/feedmessages.h"
#include "feed/mqttpublisher.h"
#include "mosquittobroker.h"

#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// mosquitto_sub on kelvaset/# with a persistent session, so that what the
// broker took while it was away is delivered when it comes back.
class Subscriber
{
public:
    Subscriber(quint16 port, const QString &id)
    {
        // Line-buffered, or its debug lines (the SUBACK) would come late.
        process.start(QStringLiteral("stdbuf"),
                      { QStringLiteral("-oL"), QStringLiteral("mosquitto_sub"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                        QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("-i"), id,
                        QStringLiteral("-t"), QStringLiteral("kelvaset/#"), QStringLiteral("-d"),
                        QStringLiteral("-F"), QStringLiteral("MSG %t %p") });
    }
    ~Subscriber()
    {
        process.terminate();
        process.waitForFinished();
    }

    bool waitSubscribed()
    {
        return QTest::qWaitFor([this] { read(); return subscribed; }, 5000);
    }
    // The payloads received on a topic, in order.
    QStringList payloads(const QString &topic)
    {
        read();
        QStringList found;
        const QString prefix = topic + QLatin1Char(' ');
        for (const QString &message : qAsConst(received)) {
            if (message.startsWith(prefix))
                found << message.mid(prefix.size());
        }
        return found;
    }

private:
    void read()
    {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).chopped(1);
            if (line.startsWith(QLatin1String("MSG ")))
                received << line.mid(4);
            else if (line.startsWith(QLatin1String("Subscribed")))
                subscribed = true;
        }
    }

    QProcess process;
    QStringList received;
    bool subscribed = false;
};

// The retained messages on the status topics, as a new subscriber sees them.
QStringList retainedStatuses(quint16 port, int count)
{
    QProcess process;
    process.start(QStringLiteral("mosquitto_sub"),
                  { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                    QStringLiteral("-t"), QStringLiteral("kelvaset/+/status"), QStringLiteral("-t"),
                    QStringLiteral("kelvaset/logger/+/status"), QStringLiteral("-C"), QString::number(count),
                    QStringLiteral("-W"), QStringLiteral("5"), QStringLiteral("-F"), QStringLiteral("%r %t %p") });
    process.waitForFinished();
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

QStringList firstSeen(const QStringList &payloads)
{
    QStringList unique;
    for (const QString &payload : payloads) {
        if (!unique.contains(payload))
            unique << payload;
    }
    return unique;
}

QStringList numbers(int first, int last)
{
    QStringList list;
    for (int i = first; i <= last; ++i)
        list << QString::number(i);
    return list;
}

MqttOptions brokerOptions(quint16 port, const QString &clientId)
{
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = port;
    options.clientId = clientId;
    return options;
}

} // namespace

// The MQTT feed against a real broker on a loopback port.
class TestMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void messagesInOrderStatusesAndWill();
    void aBrokerThatGoesAwayLosesNothing();
    void aFullQueueDropsTheOldest();
};

void TestMqttPublisher::messagesInOrderStatusesAndWill()
{
    const QString online = QStringLiteral("online"), offline = QStringLiteral("offline");
    MosquittoBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port(), QStringLiteral("watcher"));
    QVERIFY(subscriber.waitSubscribed());

    MqttPublisher publisher(brokerOptions(broker.port(), QStringLiteral("logger-a")), 100);
    QVERIFY(publisher.start());
    publisher.setSensorStatus(9001, online);
    const QByteArray sample = sampleMessage({ 9001, 1, QStringLiteral("POA Süd") },
                                            { QDateTime::currentDateTimeUtc(), { { IdIrradiance, 812 } } });
    publisher.publish(sampleTopic(9001), sample);
    for (int i = 1; i <= 30; ++i)
        publisher.publish(sampleTopic(9001), QByteArray::number(i));
    publisher.setSensorStatus(9001, QStringLiteral("no answer"));
    QTRY_COMPARE(subscriber.payloads(sampleTopic(9001)), QStringList(QString::fromUtf8(sample)) + numbers(1, 30));
    QTRY_COMPARE(subscriber.payloads(statusTopic(9001)).last(), QStringLiteral("no answer"));
    const QString loggerA = loggerStatusTopic(QStringLiteral("logger-a"));
    QCOMPARE(subscriber.payloads(loggerA).last(), online);
    publisher.stop();
    QTRY_COMPARE(subscriber.payloads(statusTopic(9001)).last(), offline);
    QTRY_COMPARE(subscriber.payloads(loggerA).last(), offline);

    // A logger killed once connected: the broker publishes its will.
    const pid_t child = fork();
    if (child == 0) {
        MqttPublisher dying(brokerOptions(broker.port(), QStringLiteral("logger-b")), 10);
        for (int i = 0; i < 500 && dying.start() && !dying.isConnected(); ++i)
            usleep(10000);
        raise(SIGKILL);
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    const QString loggerB = loggerStatusTopic(QStringLiteral("logger-b"));
    QTRY_COMPARE(subscriber.payloads(loggerB).value(0), online);
    QTRY_COMPARE(subscriber.payloads(loggerB).last(), offline);
    QCOMPARE(retainedStatuses(broker.port(), 3),
             QStringList({ QStringLiteral("1 kelvaset/9001/status offline"),
                           QStringLiteral("1 kelvaset/logger/logger-a/status offline"),
                           QStringLiteral("1 kelvaset/logger/logger-b/status offline") }));
}

void TestMqttPublisher::aBrokerThatGoesAwayLosesNothing()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port(), QStringLiteral("watcher"));
    QVERIFY(subscriber.waitSubscribed());
    // Saves the watcher's session in the broker's store, for the crash below.
    broker.stop();
    QVERIFY(broker.start());
    MqttPublisher publisher(brokerOptions(broker.port(), QStringLiteral("logger")), 1000);
    QVERIFY(publisher.start());
    QTRY_VERIFY(publisher.isConnected());
    const QString topic = recordTopic(7);

    for (int i = 1; i <= 20; ++i)
        publisher.publish(topic, QByteArray::number(i));
    broker.stop();
    QTRY_VERIFY(!publisher.isConnected());
    // These calls come back while no broker is there.
    for (int i = 21; i <= 40; ++i)
        publisher.publish(topic, QByteArray::number(i));
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(publisher.queuedCount(), 0, 20000);
    QTRY_COMPARE(firstSeen(subscriber.payloads(topic)), numbers(1, 40));

    // A broker that dies while messages are in flight, unacknowledged.
    broker.freeze();
    for (int i = 41; i <= 60; ++i)
        publisher.publish(topic, QByteArray::number(i));
    broker.crash();
    QTRY_VERIFY(!publisher.isConnected());
    QCOMPARE(publisher.queuedCount(), 20);
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(publisher.queuedCount(), 0, 20000);
    // QoS 1 may deliver a message twice, never out of order or not at all.
    QTRY_COMPARE(firstSeen(subscriber.payloads(topic)), numbers(1, 60));
    QCOMPARE(publisher.droppedCount(), qint64(0));
}

void TestMqttPublisher::aFullQueueDropsTheOldest()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port(), QStringLiteral("watcher"));
    QVERIFY(subscriber.waitSubscribed());
    broker.stop();

    // A broker that is down at the start is no error.
    MqttPublisher publisher(brokerOptions(broker.port(), QStringLiteral("logger")), 5);
    QSignalSpy overflow(&publisher, &MqttPublisher::overflowStarted);
    QVERIFY(publisher.start());
    for (int i = 1; i <= 12; ++i)
        publisher.publish(sampleTopic(7), QByteArray::number(i));
    QCOMPARE(publisher.droppedCount(), qint64(7));
    QCOMPARE(publisher.queuedCount(), 5);
    QCOMPARE(overflow.count(), 1);

    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads(sampleTopic(7)), numbers(8, 12), 20000);
}

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqttpublisher.moc"
