#include "acq/measurementlog.h"
#include "acq/readingperiod.h"
#include "device/parametertable.h"
#include "link/commtiming.h"
#include "testenvironment.h"

#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <QtTest>

namespace {
QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

// The CSV log's name and lines, and the reading period's bounds.
class TestMeasurementLog : public QObject
{
    Q_OBJECT

private slots:
    void namesAndFieldsIgnoreTheLocale();
    void rowsAreWrittenWholeOrNotAtAll();
    void readingPeriod();

private:
    TestEnvironment environment;
};

void TestMeasurementLog::namesAndFieldsIgnoreTheLocale()
{
    // A locale with a decimal comma must not leak into the file.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime time(QDate(2021, 3, 3), QTime(14, 5, 9, 47));
    QCOMPARE(MeasurementLog::fileNameFor(4294967295u, time), QStringLiteral("SN4294967295_2021_03_03@14_05_09.csv"));
    // Firmware without the measured-value registers logs the time alone.
    QCOMPARE(MeasurementLog::headerLine(0x01020304u), QStringLiteral("TIMESTAMP;MS;"));
    QCOMPARE(MeasurementLog::timestampFields(time), QStringLiteral("03/03/2021 14:05:09;047;"));
    QCOMPARE(MeasurementLog::valueField(IdIrradiance, QVariant(812u), 1, 2), QStringLiteral("812;"));
    QCOMPARE(MeasurementLog::valueField(IdTemp, QVariant(23.25), 1, 2), QStringLiteral("23.3;"));
    QCOMPARE(MeasurementLog::valueField(IdTemp, QVariant(-5.25), 2, 2), QStringLiteral("-5.25;"));
    QCOMPARE(MeasurementLog::valueField(IdTemp, QVariant(23.25), 0, 2), QStringLiteral("23;"));
    QCOMPARE(MeasurementLog::valueField(IdSpeed, QVariant(12.5), 1, 2), QStringLiteral("12.50;"));
    QCOMPARE(MeasurementLog::valueField(IdSpeed, QVariant(1234567.5), 1, 1), QStringLiteral("1234567.5;"));
}

void TestMeasurementLog::rowsAreWrittenWholeOrNotAtAll()
{
    // A file left from before is replaced.
    const QString name = QStringLiteral("rows.csv");
    QVERIFY(MeasurementLog(name).appendRow(QStringLiteral("old content")));
    MeasurementLog log(name);
    QVERIFY(log.create(0x80010000u));
    const QDateTime time(QDate(2021, 3, 3), QTime(14, 5, 9, 47));
    // A row cut short by a failed read still ends its line.
    QVERIFY(log.appendRow(MeasurementLog::timestampFields(time) + QStringLiteral("812;")));
    const QString row = MeasurementLog::timestampFields(time.addSecs(1)) + QStringLiteral("813;21.5;1.00;");
    QVERIFY(log.appendRow(row));
    const QByteArray written = contents(name);
    QCOMPARE(written, QByteArray("TIMESTAMP;MS;IRRADIANCE;TEMP;SPEED;\n"
                                 "03/03/2021 14:05:09;047;812;\n"
                                 "03/03/2021 14:05:10;047;813;21.5;1.00;\n"));

    // A disk that fills in the middle of a row: the row is taken back, the
    // rows before it stay whole.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit oldLimit = {};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    const rlimit limit { rlim_t(written.size() + row.size() / 2), oldLimit.rlim_max };
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool appended = log.appendRow(row);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    sigaction(SIGXFSZ, &previous, nullptr);
    QVERIFY(!appended);
    QCOMPARE(contents(name), written);

    // A folder that is gone, and a disk that is full.
    MeasurementLog gone(QStringLiteral("no-such-dir/x.csv"));
    QVERIFY(!gone.create(0x80000123u));
    QVERIFY(!gone.appendRow(QStringLiteral("1;")));
    QVERIFY(!gone.errorString().isEmpty());
    QVERIFY(!MeasurementLog(QStringLiteral("/dev/full")).appendRow(QStringLiteral("1;")));
}

void TestMeasurementLog::readingPeriod()
{
    CommTiming timing;
    QCOMPARE(minimumReadingPeriodMs(timing, 0x80010000u), 540);
    QCOMPARE(minimumReadingPeriodMs(timing, 0x80000123u), 360);
    QCOMPARE(liveReadsPerTick(0x01020304u), 3);
    timing.maxRetries = 10;
    QCOMPARE(minimumReadingPeriodMs(timing, 0), 2850);
    QCOMPARE(tickFlashMs(8000), 1000);
    QCOMPARE(tickFlashMs(540), 135);
}

QTEST_GUILESS_MAIN(TestMeasurementLog)
#include "tst_measurementlog.moc"
