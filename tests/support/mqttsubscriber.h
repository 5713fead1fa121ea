#ifndef MQTTSUBSCRIBER_H
#define MQTTSUBSCRIBER_H

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QtTest>

// mosquitto_sub on kelvaset/# with a persistent session (what the broker took while it was
// away reaches it still), line-buffered, or its debug line of the subscription would come late.
struct MqttSubscriber : QProcess
{
    MqttSubscriber(quint16 port, const QString &clientId)
    {
        start(QStringLiteral("stdbuf"), QStringLiteral("-oL mosquitto_sub -h 127.0.0.1 -p %0 -q 1 -c -i %1 -t kelvaset/# -d -F")
              .arg(port).arg(clientId).split(QLatin1Char(' ')) << QStringLiteral("MSG %r %t %p"));
        QVERIFY(QTest::qWaitFor([this] { return peek(bytesAvailable()).contains("Subscribed"); }, 5000));
    }
    ~MqttSubscriber() override { kill(); waitForFinished(); }
    // The payloads received on a topic, in order; retained: only those the
    // broker kept from before the subscription.
    QStringList payloads(const QString &topic, bool retained = false)
    {
        const QRegularExpression message(QStringLiteral("^MSG %0 %1 (.*)$").arg(retained ? "1" : "[01]", topic),
                                         QRegularExpression::MultilineOption);
        QStringList found;
        for (auto match = message.globalMatch(QString::fromUtf8(peek(bytesAvailable()))); match.hasNext();)
            found << match.next().captured(1);
        return found;
    }
};

#endif // MQTTSUBSCRIBER_H
