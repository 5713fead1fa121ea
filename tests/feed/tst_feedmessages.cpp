#include "device/parametertable.h"
#include "feed/feedmessages.h"

#include <QtTest>

// The JSON a plant's systems read from the feed.
class TestFeedMessages : public QObject
{
    Q_OBJECT

private slots:
    void payloads();
};

void TestFeedMessages::payloads()
{
    // A decimal comma must not leak into the numbers; the label is escaped
    // and stays UTF-8.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const SensorIdentity sensor { 9001, 1, QStringLiteral("POA \"Süd\"") };
    const QDateTime time(QDate(2026, 3, 3), QTime(14, 5, 9, 47), Qt::UTC);
    QCOMPARE(sampleMessage(sensor, { time, { { IdIrradiance, 812 }, { IdTemp, 23.25 } } }),
             QByteArray("{\"time\":\"2026-03-03T14:05:09.047Z\",\"serial\":9001,\"address\":1,"
                        "\"label\":\"POA \\\"S\xc3\xbc" "d\\\"\",\"values\":{\"irradiance\":{\"value\":812,"
                        "\"unit\":\"W/m^2\"},\"temperature\":{\"value\":23.25,\"unit\":\"degC\"}}}"));

    IntervalRecord record { time.addMSecs(50953), 60, { { IdIrradiance, {} }, { IdSpeed, {} } } };
    record.values[0].statistics.add(800);
    record.values[0].statistics.add(825);
    const QJsonObject parsed = QJsonDocument::fromJson(recordMessage(sensor, record)).object();
    QCOMPARE(parsed.value(QStringLiteral("time")).toString(), QStringLiteral("2026-03-03T14:06:00Z"));
    QCOMPARE(parsed.value(QStringLiteral("interval_s")).toInt(), 60);
    const QJsonObject values = parsed.value(QStringLiteral("values")).toObject();
    QCOMPARE(values.keys(), QStringList({ QStringLiteral("irradiance"), QStringLiteral("speed") }));
    const QJsonObject irradiance = values.value(QStringLiteral("irradiance")).toObject();
    QCOMPARE(irradiance.value(QStringLiteral("mean")).toDouble(), 812.5);
    QCOMPARE(irradiance.value(QStringLiteral("max")).toDouble(), 825.0);
    QCOMPARE(irradiance.value(QStringLiteral("std")).toDouble(), 12.5);
    QCOMPARE(irradiance.value(QStringLiteral("count")).toInt(), 2);
    // No sample: null statistics, a count of 0.
    const QJsonObject speed = values.value(QStringLiteral("speed")).toObject();
    QVERIFY(speed.value(QStringLiteral("mean")).isNull());
    QVERIFY(speed.value(QStringLiteral("std")).isNull());
    QCOMPARE(speed.value(QStringLiteral("count")).toInt(), 0);
    QCOMPARE(speed.value(QStringLiteral("unit")).toString(), QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestFeedMessages)
#include "tst_feedmessages.moc"
