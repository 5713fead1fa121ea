#include "acq/recordlog.h"
#include "device/parametertable.h"
#include "testenvironment.h"

#include <QDir>
#include <QtTest>

namespace {
QStringList lines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
}

// Interval records driven by a clock the test sets.
class TestRecordLog : public QObject
{
    Q_OBJECT

private slots:
    void aDayOfRecords();
    void rowsTheDiskRefusedAreWrittenLater();

private:
    TestEnvironment environment;
};

void TestRecordLog::aDayOfRecords()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    RecordLog log(QDir::currentPath(), 9001, 60, { IdIrradiance, IdTemp });
    int records = 0;
    log.setRecordHandler([&records](const IntervalRecord &) { ++records; });
    const QDateTime midnight(QDate(2026, 3, 3), QTime(0, 0), Qt::UTC);
    const int gapStart = 12 * 3600, gapEnd = gapStart + 1800, missingTemp = 14 * 3600 + 5 * 60 + 30;
    QVERIFY(log.advanceTo(midnight));
    // A sample every 10 s, none in the gap; the one on the minute belongs to
    // the interval that ends there. Time is not advanced during the gap.
    for (int s = 10; s <= 86400 + 10; s += 10) {
        if (s > gapStart && s <= gapEnd)
            continue;
        const int k = (s - 1) % 60 / 10 + 1;
        LiveSample sample { midnight.addSecs(s), { { IdIrradiance, 100.0 * k } } };
        if (s != missingTemp)
            sample.values.insert(IdTemp, 20 + 0.5 * k);
        log.addSample(sample);
        if (s % 60 == 0)
            QVERIFY(log.advanceTo(sample.time));
    }
    QVERIFY(log.advanceTo(midnight.addSecs(86400 + 60)));
    QCOMPARE(records, 1441);

    const QStringList day = lines(RecordLog::fileNameFor(9001, midnight.date()));
    QCOMPARE(day.size(), 1441);
    QCOMPARE(day.first(), QStringLiteral("INTERVAL_END_UTC;IRRADIANCE_MEAN;IRRADIANCE_MIN;IRRADIANCE_MAX;"
                                         "IRRADIANCE_STD;IRRADIANCE_COUNT;TEMP_MEAN;TEMP_MIN;TEMP_MAX;TEMP_STD;TEMP_COUNT;"));
    for (int i = 1; i <= 1440; ++i) {
        const QStringList fields = day.at(i).split(QLatin1Char(';'));
        QCOMPARE(fields.size(), 12);
        QCOMPARE(fields.at(0), midnight.addSecs(60 * i).toString(Qt::ISODate));
        const bool inGap = 60 * i > gapStart && 60 * i <= gapEnd;
        QCOMPARE(fields.at(5), inGap ? QStringLiteral("0") : QStringLiteral("6"));
        if (inGap)
            QCOMPARE(day.at(i).mid(fields.at(0).size()), QStringLiteral(";;;;;0;;;;;0;"));
    }
    // Temperatures 20.5, 21, 22, 22.5 and 23: one sample lacked it.
    QCOMPARE(day.at(14 * 60 + 6), QStringLiteral("2026-03-03T14:06:00Z;350.0;100;600;170.8;6;21.80;20.50;23.00;0.93;5;"));
    QCOMPARE(day.last().left(21), QStringLiteral("2026-03-04T00:00:00Z;"));

    const QStringList nextDay = lines(RecordLog::fileNameFor(9001, midnight.date().addDays(1)));
    QCOMPARE(nextDay.size(), 2);
    QCOMPARE(nextDay.at(1), QStringLiteral("2026-03-04T00:01:00Z;100.0;100;100;0.0;1;20.50;20.50;20.50;0.00;1;"));
}

void TestRecordLog::rowsTheDiskRefusedAreWrittenLater()
{
    const QString folder = QDir::current().filePath(QStringLiteral("records"));
    QVERIFY(QDir().mkpath(folder));
    RecordLog log(folder, 7, 60, { IdSpeed }, 3);
    const QDateTime start(QDate(2026, 3, 3), QTime(23, 57), Qt::UTC);
    QVERIFY(log.advanceTo(start));
    log.addSample({ start.addSecs(30), { { IdSpeed, 1.015625 } } });
    QVERIFY(log.advanceTo(start.addSecs(60)));

    // 23:59 to 00:02 are refused, and only the last three kept.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!log.advanceTo(start.addSecs(5 * 60)));
    QVERIFY(!log.errorString().isEmpty());
    QCOMPARE(log.pendingRows(), 3);
    QCOMPARE(log.droppedRows(), qint64(1));

    QVERIFY(QDir().mkpath(folder));
    QVERIFY(log.advanceTo(start.addSecs(6 * 60)));
    QCOMPARE(log.pendingRows(), 0);
    const QString header = QStringLiteral("INTERVAL_END_UTC;SPEED_MEAN;SPEED_MIN;SPEED_MAX;SPEED_STD;SPEED_COUNT;");
    QCOMPARE(lines(folder + QStringLiteral("/SN7_20260303_records.csv")),
             QStringList({ header, QStringLiteral("2026-03-04T00:00:00Z;;;;;0;") }));
    QCOMPARE(lines(folder + QStringLiteral("/SN7_20260304_records.csv")),
             QStringList({ header, QStringLiteral("2026-03-04T00:01:00Z;;;;;0;"),
                           QStringLiteral("2026-03-04T00:02:00Z;;;;;0;"), QStringLiteral("2026-03-04T00:03:00Z;;;;;0;") }));
}

QTEST_GUILESS_MAIN(TestRecordLog)
#include "tst_recordlog.moc"
