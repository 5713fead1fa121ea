#include "acq/recordlog.h"
#include "device/parametertable.h"
#include "testenvironment.h"

#include <QDir>
#include <QtTest>

namespace {
QString contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}
}

// Interval records driven by a clock the test sets.
class TestRecordLog : public QObject
{
    Q_OBJECT

private slots:
    void aDayOfRecords();
    void rowsOfTheTimeAway();

private:
    TestEnvironment environment;
};

void TestRecordLog::aDayOfRecords()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime midnight(QDate(2026, 3, 3), QTime(0, 0), Qt::UTC);
    const QString folder = QDir::current().filePath(QStringLiteral("records"));
    const QString firstDay = folder + QStringLiteral("/SN9001_20260303_records.csv");
    const QString nextDay = folder + QStringLiteral("/SN9001_20260304_records.csv");
    QVERIFY(QDir().mkpath(folder));
    RecordLog log(folder, QStringLiteral("9001"), 60, { IdIrradiance, IdTemp }, 3);
    const int gapStart = 12 * 3600, gapEnd = gapStart + 1800;
    QVERIFY(log.advanceTo(midnight));
    // A sample every 10 s, none in the gap, where time is not advanced
    // either; the one on the minute belongs to the interval ending there.
    for (int s = 10; s <= 86400 + 10; s += 10) {
        if (s > gapStart && s <= gapEnd)
            continue;
        const int k = (s - 1) % 60 / 10 + 1;
        LiveSample sample { midnight.addSecs(s), { { IdIrradiance, 100.0 * k } } };
        if (s != 14 * 3600 + 5 * 60 + 30)
            sample.values.insert(IdTemp, 20 + 0.5 * k);
        log.addSample(sample);
        if (s % 60 == 0)
            QVERIFY(log.advanceTo(sample.time));
    }
    QVERIFY(log.advanceTo(midnight.addSecs(86400 + 60)));

    const QStringList day = contents(firstDay).split(QLatin1Char('\n'));
    QCOMPARE(day.size(), 1442);
    for (int i = 1; i <= 1440; ++i) {
        const QString stamp = midnight.addSecs(60 * i).toString(Qt::ISODate);
        const bool inGap = 60 * i > gapStart && 60 * i <= gapEnd;
        QVERIFY2(inGap ? day.at(i) == stamp + QStringLiteral(";;;;;0;;;;;0;")
                       : day.at(i).startsWith(stamp) && day.at(i).split(QLatin1Char(';')).at(5) == QStringLiteral("6"),
                 qPrintable(day.at(i)));
    }
    // Temperatures 20.5, 21, 22, 22.5 and 23: one sample lacked it.
    QCOMPARE(day.at(14 * 60 + 6), QStringLiteral("2026-03-03T14:06:00Z;350.0;100;600;170.8;6;21.80;20.50;23.00;0.93;5;"));
    QCOMPARE(contents(nextDay), QStringLiteral("INTERVAL_END_UTC;IRRADIANCE_MEAN;IRRADIANCE_MIN;IRRADIANCE_MAX;IRRADIANCE_STD;"
             "IRRADIANCE_COUNT;TEMP_MEAN;TEMP_MIN;TEMP_MAX;TEMP_STD;TEMP_COUNT;\n"
             "2026-03-04T00:01:00Z;100.0;100;100;0.0;1;20.50;20.50;20.50;0.00;1;\n"));

    // The folder goes: the rows of 00:02 to 00:05 are refused, only the
    // last three kept, and written in a new file when it is back.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!log.advanceTo(midnight.addSecs(86400 + 5 * 60)));
    QVERIFY(!log.errorString().isEmpty());
    QCOMPARE(log.droppedRows(), qint64(1));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(log.advanceTo(midnight.addSecs(86400 + 6 * 60)));
    QCOMPARE(contents(nextDay).section(QLatin1Char('\n'), 1), QStringLiteral("2026-03-04T00:03:00Z;;;;;0;;;;;0;\n"
             "2026-03-04T00:04:00Z;;;;;0;;;;;0;\n2026-03-04T00:05:00Z;;;;;0;;;;;0;\n2026-03-04T00:06:00Z;;;;;0;;;;;0;\n"));
}

// A logger started again writes count-0 rows for the intervals it missed,
// from the last row of the day's file (or the day before's) on.
void TestRecordLog::rowsOfTheTimeAway()
{
    const QDateTime ten(QDate(2026, 3, 3), QTime(10, 0), Qt::UTC);
    const QString folder = QDir::current().filePath(QStringLiteral("away"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/SN9002_20260303_records.csv");
    const QString header = QStringLiteral("INTERVAL_END_UTC;IRRADIANCE_MEAN;IRRADIANCE_MIN;IRRADIANCE_MAX;IRRADIANCE_STD;"
                                          "IRRADIANCE_COUNT;\n");
    const QString empty = QStringLiteral(";;;;;0;\n");
    {
        RecordLog log(folder, QStringLiteral("9002"), 60, { IdIrradiance });
        QVERIFY(log.advanceTo(ten.addSecs(30)));
        log.addSample({ ten.addSecs(40), { { IdIrradiance, 500 } } });
        QVERIFY(log.advanceTo(ten.addSecs(2 * 60 + 20)));
    }    // stopped at 10:02:20: the interval under way has no row
    {
        // Started again in the interval it stopped in: nothing is missing.
        RecordLog log(folder, QStringLiteral("9002"), 60, { IdIrradiance });
        QVERIFY(log.advanceTo(ten.addSecs(2 * 60 + 40)));
        QCOMPARE(contents(file), header + QStringLiteral("2026-03-03T10:01:00Z;500.0;500;500;0.0;1;\n"
                                                         "2026-03-03T10:02:00Z") + empty);
    }
    QStringList published;
    {
        // Away until 10:06:10, first heard of through a sample.
        RecordLog log(folder, QStringLiteral("9002"), 60, { IdIrradiance });
        log.setRecordHandler([&published](const IntervalRecord &record) {
            published << record.end.toString(Qt::ISODate);
        });
        log.addSample({ ten.addSecs(6 * 60 + 10), { { IdIrradiance, 600 } } });
        QVERIFY(log.advanceTo(ten.addSecs(7 * 60)));
    }
    QCOMPARE(published, QStringList({ "2026-03-03T10:03:00Z", "2026-03-03T10:04:00Z", "2026-03-03T10:05:00Z",
                                      "2026-03-03T10:06:00Z", "2026-03-03T10:07:00Z" }));
    QCOMPARE(contents(file), header + QStringLiteral("2026-03-03T10:01:00Z;500.0;500;500;0.0;1;\n")
             + QStringLiteral("2026-03-03T10:02:00Z") + empty + QStringLiteral("2026-03-03T10:03:00Z") + empty
             + QStringLiteral("2026-03-03T10:04:00Z") + empty + QStringLiteral("2026-03-03T10:05:00Z") + empty
             + QStringLiteral("2026-03-03T10:06:00Z") + empty
             + QStringLiteral("2026-03-03T10:07:00Z;600.0;600;600;0.0;1;\n"));

    // Away over midnight: the rest of the day before, then the new day.
    const QDateTime late(QDate(2026, 3, 3), QTime(23, 58), Qt::UTC);
    {
        RecordLog log(folder, QStringLiteral("9003"), 60, { IdIrradiance });
        QVERIFY(log.advanceTo(late.addSecs(-30)));
        QVERIFY(log.advanceTo(late.addSecs(10)));
    }
    {
        RecordLog log(folder, QStringLiteral("9003"), 60, { IdIrradiance });
        QVERIFY(log.advanceTo(late.addSecs(4 * 60 + 30)));
    }
    QCOMPARE(contents(folder + QStringLiteral("/SN9003_20260303_records.csv")),
             header + QStringLiteral("2026-03-03T23:58:00Z") + empty + QStringLiteral("2026-03-03T23:59:00Z") + empty
             + QStringLiteral("2026-03-04T00:00:00Z") + empty);
    QCOMPARE(contents(folder + QStringLiteral("/SN9003_20260304_records.csv")),
             header + QStringLiteral("2026-03-04T00:01:00Z") + empty + QStringLiteral("2026-03-04T00:02:00Z") + empty);

    // A last row of another interval length is no start: 10:07 is no
    // boundary of 300 s intervals.
    {
        RecordLog log(folder, QStringLiteral("9002"), 300, { IdIrradiance });
        QVERIFY(log.advanceTo(ten.addSecs(20 * 60 + 10)));
        QVERIFY(log.advanceTo(ten.addSecs(25 * 60)));
    }
    QVERIFY(contents(file).endsWith(QStringLiteral("2026-03-03T10:07:00Z;600.0;600;600;0.0;1;\n"
                                                   "2026-03-03T10:25:00Z") + empty));
}

QTEST_GUILESS_MAIN(TestRecordLog)
#include "tst_recordlog.moc"
