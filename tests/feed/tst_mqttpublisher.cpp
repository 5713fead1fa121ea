#include "device/parametertable.h"
#include "feed/feedmessages.h"
#include "feed/mqttpublisher.h"
#include "mosquittobroker.h"
#include "mqttsubscriber.h"

#include <QtTest>
#include <csignal>
#include <sys/wait.h>

namespace {

// The numbers first to last, published as messages when a publisher is given.
QStringList numbers(int first, int last, MqttPublisher *publisher = nullptr, const QString &topic = QString())
{
    QStringList list;
    for (int i = first; i <= last; ++i) {
        list << QString::number(i);
        if (publisher)
            publisher->publish(topic, list.last().toLatin1());
    }
    return list;
}

} // namespace

// The MQTT feed: its payloads, and the publisher against a real broker.
class TestMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void payloads();
    void publisher();
};

void TestMqttPublisher::payloads()
{
    // No decimal comma, the label escaped in UTF-8, null statistics of no sample.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const SensorIdentity sensor { 9001, 1, QStringLiteral("POA \"S\u00fcd\"") };
    const QDateTime time(QDate(2026, 3, 3), QTime(14, 5, 9, 47), Qt::UTC);
    QCOMPARE(sampleMessage(sensor, { time, { { IdIrradiance, 812 }, { IdTemp, 23.25 } } }),
             QByteArray("{\"time\":\"2026-03-03T14:05:09.047Z\",\"serial\":9001,\"address\":1,\"label\":\"POA \\\"S\xc3\xbc" "d\\\"\","
                        "\"values\":{\"irradiance\":{\"value\":812,\"unit\":\"W/m^2\"},\"temperature\":{\"value\":23.25,\"unit\":\"degC\"}}}"));
    IntervalRecord record { time.addMSecs(50953), 60, { { IdIrradiance, {} }, { IdSpeed, {} } } };
    record.values[0].statistics.add(800);
    record.values[0].statistics.add(825);
    QCOMPARE(recordMessage(sensor, record),
             QByteArray("{\"time\":\"2026-03-03T14:06:00Z\",\"interval_s\":60,\"serial\":9001,\"address\":1,\"label\":\"POA \\\"S\xc3\xbc" "d\\\"\","
                        "\"values\":{\"irradiance\":{\"mean\":812.5,\"min\":800,\"max\":825,\"std\":12.5,\"count\":2,\"unit\":\"W/m^2\"},"
                        "\"speed\":{\"mean\":null,\"min\":null,\"max\":null,\"std\":null,\"count\":0,\"unit\":\"1\"}}}"));
}

void TestMqttPublisher::publisher()
{
    const QString online = QStringLiteral("online"), offline = QStringLiteral("offline");
    MosquittoBroker broker;
    QVERIFY(broker.start());
    const auto brokerOptions = [&broker](const QString &clientId) {
        return MqttOptions { QStringLiteral("127.0.0.1"), broker.port(), clientId, {}, {}, {}, 60 };
    };
    MqttSubscriber subscriber(broker.port(), QStringLiteral("watcher"));

    MqttPublisher publisher(brokerOptions(QStringLiteral("logger-a")), 100);
    QVERIFY(publisher.start());
    publisher.setSensorStatus(9001, online);
    const QStringList sent = numbers(1, 30, &publisher, sampleTopic(9001));
    publisher.setSensorStatus(9001, QStringLiteral("no answer"));
    QTRY_COMPARE(subscriber.payloads(sampleTopic(9001)), sent);
    QTRY_COMPARE(subscriber.payloads(statusTopic(9001)).last(), QStringLiteral("no answer"));
    const QString loggerA = loggerStatusTopic(QStringLiteral("logger-a"));
    publisher.stop();
    QTRY_COMPARE(subscriber.payloads(statusTopic(9001)).last(), offline);
    QTRY_COMPARE(subscriber.payloads(loggerA).last(), offline);

    // A logger killed once its "online" is acknowledged: the broker
    // publishes its will.
    const pid_t child = fork();
    if (child == 0) {
        MqttPublisher dying(brokerOptions(QStringLiteral("logger-b")), 10);
        for (int i = 0; i < 500 && dying.start() && !(dying.isConnected() && dying.queuedCount() == 0); ++i)
            QThread::msleep(10);
        raise(SIGKILL);
    }
    QCOMPARE(waitpid(child, nullptr, 0), child);
    const QString loggerB = loggerStatusTopic(QStringLiteral("logger-b"));
    QTRY_COMPARE(subscriber.payloads(loggerB).value(0), online);
    QTRY_COMPARE(subscriber.payloads(loggerB).last(), offline);

    // All of them are retained: a new subscriber gets them at once.
    MqttSubscriber late(broker.port(), QStringLiteral("late"));
    for (const QString &topic : { statusTopic(9001), loggerA, loggerB })
        QTRY_COMPARE(late.payloads(topic, true), QStringList(offline));

    // Saves the watcher's session in the broker's store, for the crash below.
    broker.stop();

    // A broker that is down at the start is no error; a full queue drops
    // its oldest messages.
    MqttPublisher bounded(brokerOptions(QStringLiteral("logger-c")), 25);
    QSignalSpy overflow(&bounded, &MqttPublisher::overflowStarted);
    QVERIFY(bounded.start());
    const QString topic = recordTopic(7);
    numbers(1, 32, &bounded, topic);
    QCOMPARE(bounded.droppedCount(), qint64(7));
    QCOMPARE(overflow.count(), 1);
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads(topic), numbers(8, 32), 20000);
    QTRY_COMPARE(bounded.queuedCount(), 0);

    // A broker that dies with messages in flight, unacknowledged, and calls
    // that come back while no broker is there.
    broker.freeze();
    numbers(33, 44, &bounded, topic);
    broker.crash();
    QTRY_VERIFY(!bounded.isConnected());
    numbers(45, 56, &bounded, topic);
    QCOMPARE(bounded.queuedCount(), 24);
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(bounded.queuedCount(), 0, 20000);

    // QoS 1 may deliver a message twice, never out of order or not at all.
    QStringList firstSeen;
    QTRY_VERIFY((firstSeen = subscriber.payloads(topic)).contains(QStringLiteral("56")));
    firstSeen.removeDuplicates();
    QCOMPARE(firstSeen, numbers(8, 56));
}

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqttpublisher.moc"
