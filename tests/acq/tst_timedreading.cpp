// The timed reading on its own: a link thread of its own opened on the
// sensor simulator and plots on three tab pages, judged by the CSV log on
// disk, the curves, the signals and what the sensor was asked.

#include "acq/livecurve.h"
#include "acq/liveplots.h"
#include "acq/timedreading.h"
#include "link/commtiming.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QSettings>
#include <QTabWidget>
#include <QtTest>

#include <qwt_plot.h>

#include <cmath>

Q_DECLARE_METATYPE(TransferFailure)

namespace {

const int Period = 100;
const quint32 Firmware = 0x80010000u;
const QList<int> FullTick = { 0x0100, 0x0101, 0x0103 };

// A data line: the tick's local time and milliseconds, then the values.
QRegularExpression rowPattern(const QString &values)
{
    return QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d;\\d{3};") + values + '$');
}

// The log's lines; empty unless every line, the last one included, ends in
// a plain LF.
QStringList logLines(const QString &fileName)
{
    QFile file(fileName);
    const QByteArray content = !fileName.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (!content.endsWith('\n') || content.contains('\r'))
        return {};
    return QString::fromLatin1(content.chopped(1)).split(QLatin1Char('\n'));
}

// The registers asked for, in order; a retry is counted once.
QList<int> readAddresses(const QList<SimRequest> &requests)
{
    QList<int> addresses;
    for (const SimRequest &request : requests) {
        if (addresses.isEmpty() || addresses.last() != request.address)
            addresses.append(request.address);
    }
    return addresses;
}

// A run's requests: the serial number at the start, then each tick's reads.
QList<int> runAddresses(int ticks, const QList<int> &perTick = FullTick)
{
    QList<int> addresses = { 0x8000 };
    for (int i = 0; i < ticks; ++i)
        addresses += perTick;
    return addresses;
}

std::array<QwtPlot *, 3> addPlotPages(QTabWidget &tabs)
{
    const std::array<QwtPlot *, 3> plots = { new QwtPlot, new QwtPlot, new QwtPlot };
    for (QwtPlot *plot : plots)
        tabs.addTab(plot, QString());
    return plots;
}

using Counts = QVector<size_t>;

// A timed reading on a link of its own to a simulator, what it plotted and
// what it signalled.
struct Rig
{
    explicit Rig(const QStringList &simulatorArgs = {}) : simulator(simulatorArgs) {}

    bool open() { return simulator.start() && openOn(simulator); }
    bool openOn(const SimulatorProcess &sensor)
    {
        bool opened = false;
        link.run([&](SensorLink &line) { opened = line.open(sensor.linkPath(), 1, 0); });
        return waitUntilIdle() && opened;
    }
    bool waitUntilIdle() { return QTest::qWaitFor([this] { return !link.isBusy(); }, 10000); }
    // Runs until the receiver of the nth tick (counted over the rig's
    // life) stops it, so that every request made has its row.
    bool runUntilTick(int n, quint32 firmware = Firmware)
    {
        QMetaObject::Connection stopper = QObject::connect(&reading, &TimedReading::ticked, [this, n] {
            if (ticks.count() == n)
                reading.stop();
        });
        reading.start(1, firmware, Period);
        const bool stopped = QTest::qWaitFor([this] { return !reading.isActive(); }, 20000) && waitUntilIdle();
        QObject::disconnect(stopper);
        return stopped;
    }
    const LiveCurve *curve(int position) const { return plots.curve(position); }
    Counts counts() const { return { curve(0)->sampleCount(), curve(1)->sampleCount(), curve(2)->sampleCount() }; }
    int rows() const { return logLines(reading.logFileName()).size() - 1; }

    SimulatorProcess simulator;
    LinkThread link;
    QTabWidget tabs;
    LivePlots plots { &tabs, addPlotPages(tabs) };
    TimedReading reading { &link, &plots };
    QSignalSpy starts { &reading, &TimedReading::started };
    QSignalSpy startFailures { &reading, &TimedReading::startFailed };
    QSignalSpy failedLogs { &reading, &TimedReading::logFailed };
    QSignalSpy ticks { &reading, &TimedReading::ticked };
    QSignalSpy tickFailures { &reading, &TimedReading::tickFailed };
    QSignalSpy linesLost { &reading, &TimedReading::lineLost };
};

} // namespace

class TestTimedReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { QDir::setCurrent(environment.workingDirectory()); }

    void runsLogAndPlotEveryTick();
    void failedReadWritesItsRowAndTicksNeverNest();
    void runThatCannotStartOrLogStops();
    void pausedOrLostLineLeavesAGap();

private:
    TestEnvironment environment;
};

void TestTimedReading::initTestCase()
{
    qRegisterMetaType<TransferFailure>();
    // A comma locale: the log must keep writing "." whatever the user runs.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestTimedReading::init()
{
    environment.clearSettings();
    // Transfers short, yet long enough for the simulator to answer on a busy
    // machine: two attempts, with response timeouts of 30 and 40 ms.
    CommTiming{ 30, 30, 2, 10 }.save();
    QDir work(environment.workingDirectory());
    for (const QString &name : work.entryList({ QStringLiteral("*.csv") }, QDir::Files))
        work.remove(name);
}

void TestTimedReading::runsLogAndPlotEveryTick()
{
    Rig rig({ QStringLiteral("--temperature"), QStringLiteral("-5.25") });
    QVERIFY(rig.open());
    // Precisions stored during the run (by the options dialog) apply from
    // the next row on. A run of a second or so shows the x of the samples.
    const int ticks = 12, ticksAtDefaultPrecision = 2;
    QObject::connect(&rig.reading, &TimedReading::ticked, [&] {
        if (rig.ticks.count() == ticksAtDefaultPrecision) {
            QSettings().setValue(QStringLiteral("userConfig/temperaturePrecision"), 2);
            QSettings().setValue(QStringLiteral("userConfig/speedPrecision"), 6);
        }
    });
    const QDateTime started = QDateTime::currentDateTime();
    QVERIFY(rig.runUntilTick(ticks));
    const qint64 runSeconds = started.secsTo(QDateTime::currentDateTime());
    QCOMPARE(rig.starts.count(), 1);

    // Named after the serial number and the start, in the working directory.
    const QString logName = rig.reading.logFileName();
    const QDateTime nameTime = QDateTime::fromString(logName, QStringLiteral("'SN9000_'yyyy_MM_dd@HH_mm_ss'.csv'"));
    QVERIFY2(nameTime.isValid() && nameTime >= started.addMSecs(-started.time().msec())
                     && nameTime <= QDateTime::currentDateTime(),
             qPrintable(logName));
    QVERIFY(QFile::exists(environment.workingDirectory() + QLatin1Char('/') + logName));

    const Counts firstRun(3, ticks);
    QCOMPARE(rig.counts(), firstRun);
    QStringList lines = logLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    const QRegularExpression defaultRow = rowPattern(QStringLiteral("(\\d+);-5\\.3;(-?\\d+\\.\\d{2});"));
    const QRegularExpression preciseRow = rowPattern(QStringLiteral("(\\d+);-5\\.25;(-?\\d+\\.\\d{6});"));
    QCOMPARE(rig.curve(0)->sample(0).x(), 0.0);
    double previousX = 0.0;
    for (int tick = 0; tick < ticks; ++tick) {
        const bool precise = tick >= ticksAtDefaultPrecision;
        const QRegularExpressionMatch values = (precise ? preciseRow : defaultRow).match(lines.at(1 + tick));
        QVERIFY2(values.hasMatch(), qPrintable(lines.at(1 + tick)));
        // The log and the plots tell the same reads, the plots unrounded,
        // at one x per tick: the whole seconds since the start.
        const size_t i = size_t(tick);
        const QPointF irradiance = rig.curve(0)->sample(i), temperature = rig.curve(1)->sample(i),
                      speed = rig.curve(2)->sample(i);
        QCOMPARE(values.captured(1).toDouble(), irradiance.y());
        QCOMPARE(temperature.y(), -5.25);
        QVERIFY(qAbs(values.captured(2).toDouble() - speed.y()) <= (precise ? 5e-7 : 5e-3) + 1e-9);
        QVERIFY(temperature.x() == irradiance.x() && speed.x() == irradiance.x());
        QVERIFY(irradiance.x() == std::floor(irradiance.x()) && irradiance.x() >= previousX);
        previousX = irradiance.x();
    }
    QVERIFY2(previousX >= 1 && previousX <= runSeconds, qPrintable(QString::number(previousX)));
    QCOMPARE(readAddresses(rig.simulator.requests()), runAddresses(ticks));

    // Next, a sensor without speed, whose first tick fails (both attempts
    // at the irradiance get a garbled reply): the plots keep the last run
    // until the new run brings its first sample.
    SimulatorProcess next({ QStringLiteral("--firmware"), QStringLiteral("0x80000123"), QStringLiteral("--garbage-at"),
                            QStringLiteral("2"), QStringLiteral("--garbage-at"), QStringLiteral("3") });
    QVERIFY(next.start() && rig.openOn(next));
    Counts atFailure;
    QObject::connect(&rig.reading, &TimedReading::tickFailed, [&] { atFailure = rig.counts(); });
    QVERIFY(rig.runUntilTick(ticks + 2, 0x80000123u));
    QCOMPARE(atFailure, firstRun);
    // Speed stays out of the header, the rows, the plots and the requests.
    QCOMPARE(rig.counts(), (Counts{ 2, 2, 0 }));
    lines = logLines(rig.reading.logFileName());
    QCOMPARE(lines.size(), 1 + 3);
    QCOMPARE(lines.first(), QStringLiteral("TIMESTAMP;MS;IRRADIANCE;TEMP;"));
    QVERIFY2(rowPattern(QString()).match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    for (const QString &line : lines.mid(2))
        QVERIFY2(rowPattern(QStringLiteral("\\d+;-?\\d+\\.\\d\\d;")).match(line).hasMatch(), qPrintable(line));
    const QString garbled = simRequest(3, 1, 0x0100, 1, {}, {}, "garbage");
    QStringList expected = { simRequest(3, 1, 0x8000, 2), garbled, garbled };
    for (int tick = 0; tick < 2; ++tick)
        expected << simRequest(3, 1, 0x0100, 1) << simRequest(3, 1, 0x0101, 1);
    QCOMPARE(describe(next.requests()), expected);
}

void TestTimedReading::failedReadWritesItsRowAndTicksNeverNest()
{
    // The temperature register answers with an exception: every tick reads
    // the irradiance and then fails.
    Rig rig({ QStringLiteral("--exception-at"), QStringLiteral("0x0101") });
    QVERIFY(rig.open());

    // The receivers of the first two failures stand for a box held open
    // while the period elapses several times; meanwhile a new period is
    // entered, which would start a tick at once were none under way. The
    // fourth failure ends the run.
    const int ticks = 4;
    int depth = 0, mostNested = 0, disturbances = 0;
    QObject::connect(&rig.reading, &TimedReading::tickFailed, [&] {
        const int failures = rig.tickFailures.count();
        if (failures == ticks)
            rig.reading.stop();
        if (failures > 2)
            return;
        mostNested = qMax(mostNested, ++depth);
        rig.reading.setPeriod(Period + 10 * failures);
        const int requests = rig.simulator.requests().size();
        disturbances += QTest::qWaitFor([&] {
            return rig.simulator.requests().size() > requests || rig.tickFailures.count() > failures;
        }, 4 * Period);
        --depth;
    });
    rig.reading.start(1, Firmware, Period);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.reading.isActive(), 20000);
    QVERIFY(rig.waitUntilIdle());

    // No tick talked to the sensor, nor failed again, meanwhile.
    QCOMPARE(mostNested, 1);
    QCOMPARE(disturbances, 0);
    QCOMPARE(rig.tickFailures.count(), ticks);
    QCOMPARE(qvariant_cast<TransferFailure>(rig.tickFailures.first().at(0)).result, ResultSlaveError);
    QCOMPARE(rig.ticks.count(), 0);

    // One round of reads per tick; each row keeps what was read and ends
    // there, so the next row starts on a line of its own.
    QCOMPARE(readAddresses(rig.simulator.requests()), runAddresses(ticks, { 0x0100, 0x0101 }));
    QCOMPARE(rig.counts(), (Counts{ size_t(ticks), 0, 0 }));
    const QStringList lines = logLines(rig.reading.logFileName());
    QCOMPARE(lines.size(), 1 + ticks);
    for (int i = 1; i <= ticks; ++i) {
        const QString irradiance = QString::number(qint64(rig.curve(0)->sample(size_t(i - 1)).y()));
        QVERIFY2(rowPattern(irradiance + QLatin1Char(';')).match(lines[i]).hasMatch(), qPrintable(lines[i]));
    }
}

void TestTimedReading::runThatCannotStartOrLogStops()
{
    Rig rig;
    QVERIFY(rig.open());
    const QString removed = QDir(environment.workingDirectory()).filePath(QStringLiteral("removed"));
    QVERIFY(QDir().mkpath(removed) && QDir::setCurrent(removed));
    rig.reading.start(1, Firmware, 60000);
    // A new period entered between ticks brings a tick at once.
    QTRY_COMPARE_WITH_TIMEOUT(rig.rows(), 1, 10000);
    rig.reading.setPeriod(Period);
    QTRY_VERIFY_WITH_TIMEOUT(rig.rows() >= 2, 10000);

    // The log's folder goes away during the run (a removed directory stops
    // even root from creating files in it): the next row cannot be written.
    const QString logName = rig.reading.logFileName();
    QVERIFY(QFile::remove(logName) && QDir().rmdir(removed));
    QTRY_COMPARE_WITH_TIMEOUT(rig.failedLogs.count(), 1, 10000);
    QCOMPARE(rig.failedLogs.first().at(0).toString(), logName);
    QVERIFY(!rig.reading.isActive());
    QVERIFY(rig.waitUntilIdle());
    rig.simulator.clearRequests();
    const int ticks = rig.ticks.count();
    // Waits out a few periods for a tick or another failure.
    QVERIFY(!QTest::qWaitFor([&] {
        return !rig.simulator.requests().isEmpty() || rig.failedLogs.count() > 1 || rig.ticks.count() > ticks;
    }, 3 * Period));
    QDir::setCurrent(environment.workingDirectory());

    // A sensor that does not answer: the serial number cannot be read.
    SimulatorProcess silent({ QStringLiteral("--silent") });
    QVERIFY(silent.start() && rig.openOn(silent));
    rig.reading.start(1, Firmware, Period);
    QTRY_COMPARE_WITH_TIMEOUT(rig.startFailures.count(), 1, 10000);
    QCOMPARE(qvariant_cast<TransferFailure>(rig.startFailures.first().at(0)).result, ResultNoResponse);
    QVERIFY(!rig.reading.isActive());
    QVERIFY(rig.waitUntilIdle());
    QCOMPARE(readAddresses(silent.requests()), runAddresses(0));
    QCOMPARE(rig.starts.count(), 1); // the first run's only
    QVERIFY(QDir().entryList({ QStringLiteral("*.csv") }, QDir::Files).isEmpty());
}

// A pause while a tick is under way, as when the port goes from the list,
// drops the tick; later the line goes during a tick, which the link finds
// out itself. Either way no row is written, and the curves break.
void TestTimedReading::pausedOrLostLineLeavesAGap()
{
    // Slow replies keep every tick under way for a while.
    CommTiming{ 300, 30, 2, 10 }.save();
    Rig rig({ QStringLiteral("--reply-delay"), QStringLiteral("60") });
    QVERIFY(rig.open());
    const auto tickUnderWayAfter = [&](int ticks) {
        return QTest::qWaitFor([&] { return rig.ticks.count() == ticks && rig.link.isBusy(); }, 10000);
    };
    rig.reading.start(1, Firmware, Period);
    QVERIFY(tickUnderWayAfter(2));
    rig.reading.pause();
    QVERIFY(rig.waitUntilIdle());
    const int requests = rig.simulator.requests().size();
    // Waits out a few periods for a row, a tick, a failure or a request.
    QVERIFY(!QTest::qWaitFor([&] {
        return rig.rows() != 2 || rig.ticks.count() != 2 || rig.simulator.requests().size() != requests;
    }, 3 * Period));

    rig.reading.resume();
    QVERIFY(tickUnderWayAfter(4));
    QCOMPARE(rig.rows(), 4);
    // The dropped tick asked for everything.
    QCOMPARE(readAddresses(rig.simulator.requests()).mid(0, 16), runAddresses(5));
    for (int position = 0; position < 3; ++position) {
        const LiveCurve *curve = rig.curve(position);
        QCOMPARE(curve->sampleCount(), size_t(5));
        for (size_t i = 0; i < 5; ++i)
            QCOMPARE(std::isnan(curve->sample(i).y()), i == 2);
        QVERIFY(curve->sample(1).x() <= curve->sample(2).x() && curve->sample(2).x() <= curve->sample(3).x());
    }

    rig.simulator.vanish();
    QTRY_COMPARE_WITH_TIMEOUT(rig.linesLost.count(), 1, 10000);
    QVERIFY(rig.reading.state() == TimedReading::State::Paused);
    QVERIFY(rig.waitUntilIdle());
    QCOMPARE(rig.rows(), rig.ticks.count());
    QVERIFY(rig.tickFailures.isEmpty());
    // Nor does the tick the line was lost in leave a sample after the gap.
    for (int position = 0; position < 3; ++position)
        QVERIFY(std::isnan(rig.curve(position)->sample(rig.curve(position)->sampleCount() - 1).y()));
}

QTEST_MAIN(TestTimedReading)
#include "tst_timedreading.moc"
