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
    const bool whole = content.endsWith('\n') && !content.contains('\r');
    return whole ? QString::fromLatin1(content.chopped(1)).split(QLatin1Char('\n')) : QStringList();
}

// The registers asked for, in order; a retry is counted once.
QList<int> readAddresses(const QList<SimRequest> &requests)
{
    QList<int> addresses;
    for (const SimRequest &request : requests)
        addresses.append(request.address);
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

// A run's requests: the serial number at the start, then each tick's reads.
QList<int> runAddresses(int ticks, const QList<int> &perTick = { 0x0100, 0x0101, 0x0103 })
{
    QList<int> addresses = { 0x8000 };
    for (int i = 0; i < ticks; ++i)
        addresses += perTick;
    return addresses;
}

using Counts = QVector<size_t>;

// A timed reading on a link of its own to a simulator, what it plotted and
// what it signalled.
struct Rig
{
    explicit Rig(const QStringList &simulatorArgs = {}) : simulator(simulatorArgs)
    {
        plots.follow(&reading, &session);
        QObject::connect(&reading, &TimedReading::ticked, [this] {
            if (ticks.count() == stopAtTick)
                reading.stop();
        });
    }

    bool open() { return simulator.start() && openOn(simulator); }
    bool openOn(const SimulatorProcess &sensor)
    {
        bool opened = false;
        link.setTiming(CommTiming::load());
        link.run([&](SensorLink &line) { opened = line.open(sensor.linkPath(), 1, 0); });
        return waitUntilIdle() && opened;
    }
    bool waitUntilIdle() { return QTest::qWaitFor([this] { return !link.isBusy(); }, 10000); }
    // Runs until the receiver of the nth tick (counted over the rig's
    // life) stops it, so that every request made has its row.
    bool runUntilTick(int n, quint32 firmware = Firmware)
    {
        stopAtTick = n;
        start(firmware);
        return waitUntilStopped();
    }
    void start(quint32 firmware = Firmware)
    {
        session.applyIdentity(9000, firmware);
        reading.start(Period);
    }
    bool waitUntilStopped() { return QTest::qWaitFor([this] { return !reading.isActive(); }, 20000) && waitUntilIdle(); }
    QwtPlot *addPage() { return static_cast<QwtPlot *>(tabs.widget(tabs.addTab(new QwtPlot, QString()))); }
    const LiveCurve *curve(int position) const { return plots.curve(position); }
    Counts counts() const { return { curve(0)->sampleCount(), curve(1)->sampleCount(), curve(2)->sampleCount() }; }
    int rows() const { return logLines(reading.logFileName()).size() - 1; }

    int stopAtTick = 0;
    SimulatorProcess simulator;
    LinkThread link;
    QTabWidget tabs;
    LivePlots plots { &tabs, { addPage(), addPage(), addPage() } };
    LineSession session { SerialLineSettings() };
    TimedReading reading { &link, &session };
    QSignalSpy starts { &reading, &TimedReading::started }, failedLogs { &reading, &TimedReading::logFailed };
    QSignalSpy ticks { &reading, &TimedReading::ticked }, tickFailures { &reading, &TimedReading::tickFailed };
    QSignalSpy startFailures { &reading, &TimedReading::startFailed }, linesLost { &reading, &TimedReading::lineLost };
};

} // namespace

class TestTimedReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<TransferFailure>();
        // A comma locale: the log must keep writing "." whatever the user runs.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void init()
    {
        environment.clearSettings();
        // Transfers short, yet long enough for the simulator to answer on a
        // busy machine: two attempts, with response timeouts of 30 and 40 ms.
        CommTiming{ 30, 30, 2, 10 }.save();
        for (const QFileInfo &log : QDir(environment.workingDirectory()).entryInfoList({ QStringLiteral("*.csv") }))
            QFile::remove(log.filePath());
    }
    void cleanup() { QDir::setCurrent(environment.workingDirectory()); }

    void runsLogAndPlotEveryTick()
    {
        Rig rig({ QStringLiteral("--temperature"), QStringLiteral("-5.25") });
        QVERIFY(rig.open());
        // The precisions shape the rows. A run of a second or so shows the x
        // of the samples.
        const int ticks = 12;
        UserOptions options;
        options.temperaturePrecision = 2;
        options.speedPrecision = 6;
        rig.reading.setOptions(options);
        QVERIFY(rig.runUntilTick(ticks));
        QCOMPARE(rig.starts.count(), 1);
        QCOMPARE(rig.counts(), Counts(3, ticks));
        const QStringList lines = logLines(rig.reading.logFileName());
        QCOMPARE(lines.size(), 1 + ticks);
        for (size_t i = 0; i < size_t(ticks); ++i) {
            const QRegularExpressionMatch values =
                    rowPattern(QStringLiteral("(\\d+);-5\\.25;(-?\\d+\\.\\d{6});")).match(lines.at(int(i) + 1));
            QVERIFY2(values.hasMatch(), qPrintable(lines.at(int(i) + 1)));
            // The log and the plots tell the same reads, the plots unrounded,
            // at one x per tick: the whole seconds since the start.
            const QPointF irradiance = rig.curve(0)->sample(i), temperature = rig.curve(1)->sample(i),
                          speed = rig.curve(2)->sample(i);
            QCOMPARE(values.captured(1).toDouble(), irradiance.y());
            QVERIFY(qAbs(values.captured(2).toDouble() - speed.y()) <= 5e-7 + 1e-9);
            QVERIFY(temperature == QPointF(irradiance.x(), -5.25) && speed.x() == irradiance.x());
            QVERIFY(irradiance.x() == std::floor(irradiance.x())
                    && (i == 0 ? irradiance.x() == 0.0 : irradiance.x() >= rig.curve(0)->sample(i - 1).x()));
        }
        QVERIFY(rig.curve(0)->sample(size_t(ticks - 1)).x() >= 1);
        QCOMPARE(readAddresses(rig.simulator.requests()), runAddresses(ticks));

        // Next, a sensor without speed, whose first tick fails (both attempts
        // at the irradiance get a garbled reply).
        SimulatorProcess next(QStringLiteral("--firmware 0x80000123 --garbage-at 2 --garbage-at 3").split(QLatin1Char(' ')));
        QVERIFY(next.start() && rig.openOn(next));
        QVERIFY(rig.runUntilTick(ticks + 2, 0x80000123u));
        // Speed stays out of the header, the rows, the plots and the requests.
        QCOMPARE(rig.counts(), (Counts{ 2, 2, 0 }));
        QCOMPARE(logLines(rig.reading.logFileName()).size(), 1 + 3);
        const QString garbled = simRequest(3, 1, 0x0100, 1, {}, {}, "garbage");
        const QStringList tick = { simRequest(3, 1, 0x0100, 1), simRequest(3, 1, 0x0101, 1) };
        QCOMPARE(describe(next.requests()), QStringList({ simRequest(3, 1, 0x8000, 2), garbled, garbled }) + tick + tick);
    }

    void failedReadWritesItsRowAndTicksNeverNest()
    {
        // The temperature register answers with an exception: every tick
        // reads the irradiance and then fails.
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
        rig.start();
        QVERIFY(rig.waitUntilStopped());

        // No tick talked to the sensor, nor failed again, meanwhile; the
        // counts are: most nested, disturbances, failures, ticks.
        QCOMPARE((QList<int>{ mostNested, disturbances, rig.tickFailures.count(), rig.ticks.count() }),
                 (QList<int>{ 1, 0, ticks, 0 }));
        QCOMPARE(qvariant_cast<TransferFailure>(rig.tickFailures.first().at(0)).result, ResultSlaveError);
        // One round of reads per tick; each row keeps what was read and ends
        // there, so the next row starts on a line of its own.
        QCOMPARE(readAddresses(rig.simulator.requests()), runAddresses(ticks, { 0x0100, 0x0101 }));
        QCOMPARE(rig.counts(), (Counts{ size_t(ticks), 0, 0 }));
        const QStringList lines = logLines(rig.reading.logFileName());
        QCOMPARE(lines.size(), 1 + ticks);
        for (int i = 1; i <= ticks; ++i)
            QVERIFY2(rowPattern(QString::number(qint64(rig.curve(0)->sample(size_t(i - 1)).y())) + QLatin1Char(';'))
                             .match(lines[i]).hasMatch(), qPrintable(lines[i]));
    }

    void runThatCannotLogStops()
    {
        Rig rig;
        QVERIFY(rig.open());
        const QString removed = QDir(environment.workingDirectory()).filePath(QStringLiteral("removed"));
        QVERIFY(QDir().mkpath(removed) && QDir::setCurrent(removed));
        rig.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.rows() >= 2, 10000);

        // The log's folder goes away during the run (a removed directory
        // stops even root from creating files in it): the next row cannot be
        // written.
        const QString logName = rig.reading.logFileName();
        QVERIFY(QFile::remove(logName) && QDir().rmdir(removed));
        QTRY_COMPARE_WITH_TIMEOUT(rig.failedLogs.count(), 1, 10000);
        QCOMPARE(rig.failedLogs.first().at(0).toString(), logName);
        QVERIFY(!rig.reading.isActive() && rig.waitUntilIdle());

        // A sensor that does not give its serial number starts no run.
        Rig silent({ QStringLiteral("--silent") });
        QVERIFY(silent.open());
        silent.start();
        QTRY_COMPARE_WITH_TIMEOUT(silent.startFailures.count(), 1, 10000);
        QVERIFY(!silent.reading.isActive() && silent.reading.logFileName().isEmpty());
    }

    // A pause while a tick is under way, as when the port goes from the
    // list, drops the tick: no row is written, and the curves break.
    void everySensorOfTheLineHasItsLogAndCurve()
    {
        // Three sensors at 20, 21 and 22 degC; the second falls silent for a
        // while from frame 25 (the third tick), then answers again.
        Rig rig({ "--temperature", "20", "--sensor", "1:9001", "--sensor", "2:9002", "--sensor", "3:9003",
                  "--fault-sensor", "2", "--silent-from", "25:60" });
        for (int address : { 1, 2, 3 }) {
            LineSensor sensor;
            sensor.address = address;
            rig.session.addSensor(sensor);
        }
        QSignalSpy lost(&rig.reading, &TimedReading::sensorLost), back(&rig.reading, &TimedReading::sensorBack);
        QVERIFY(rig.open());
        const int ticks = 10;
        QVERIFY(rig.runUntilTick(ticks));
        // Never a box: the run goes on at its period with the others.
        QCOMPARE(rig.tickFailures.count(), 0);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(lost.first().first().toInt(), 2);
        QCOMPARE(back.count(), 1);

        const QStringList logs = rig.reading.logFileNames();
        QCOMPARE(logs.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(logs.at(i).startsWith(QStringLiteral("SN900%1_").arg(i + 1)), qPrintable(logs.at(i)));
            const QStringList lines = logLines(logs.at(i));
            // The silent sensor's log misses the ticks it did not answer.
            QVERIFY2(i == 1 ? lines.size() < 1 + ticks && lines.size() > 1 : lines.size() == 1 + ticks,
                     qPrintable(QString::number(lines.size())));
            const QString temperature = QStringLiteral(";%1.0;").arg(20 + i);
            for (const QString &row : lines.mid(1))
                QVERIFY2(row.contains(temperature), qPrintable(row));
            // Each value went to its own sensor's curve; the silent one's
            // has the gap.
            const LiveCurve *curve = rig.plots.curve(1, i + 1);
            int gaps = 0;
            for (size_t n = 0; n < curve->sampleCount(); ++n) {
                if (std::isnan(curve->sample(n).y()))
                    ++gaps;
                else
                    QCOMPARE(curve->sample(n).y(), 20.0 + i);
            }
            QCOMPARE(gaps > 0, i == 1);
        }
        const LineSensor &silent = rig.session.sensors().at(1);
        QVERIFY(silent.counts.noAnswer > 0 && silent.state == LineSensor::State::Answered);
        QCOMPARE(rig.session.sensors().at(0).counts.noAnswer, quint64(0));
    }

    // Rows picked, added and removed during a run: each tick polls the
    // sensors listed then, and every sample goes to the log, curve and row
    // of the sensor it was read from; a second sensor with the serial
    // number of another keeps a log of its own.
    void samplesStayWithTheirSensorThroughPicksAddsAndRemovals()
    {
        // At 20, 21 and 22 degC; the third is a clone of the first.
        Rig rig({ "--temperature", "20", "--sensor", "1:9001", "--sensor", "2:9002", "--sensor", "3:9001" });
        QVector<int> ids;
        const auto list = [&](int address) {
            LineSensor sensor;
            sensor.address = address;
            ids << rig.session.addSensor(sensor);
        };
        list(1);
        list(2);
        const int ticks = 9;
        QObject::connect(&rig.reading, &TimedReading::ticked, [&] {
            switch (rig.ticks.count()) {
            case 2:
                rig.session.showSensor(ids.at(1));
                rig.session.showSensor(ids.at(0));
                break;
            case 3:
                list(3);
                break;
            case 6:
                rig.session.removeSensor(ids.at(1));
                break;
            }
        });
        QVERIFY(rig.open());
        QVERIFY(rig.runUntilTick(ticks));
        QCOMPARE(rig.tickFailures.count() + rig.startFailures.count(), 0);

        // Sensor 1 has a row at every tick, the one removed until its
        // removal, the one added from the tick after it.
        const QDir folder(environment.workingDirectory());
        const QStringList expected = { "SN9001_", "SN9002_", "SN9001_A3_" };
        const QVector<int> rows = { 1 + ticks, 1 + 6, 1 + ticks - 3 };
        for (int i = 0; i < 3; ++i) {
            const QStringList logs = folder.entryList({ expected.at(i) + "2*.csv" });
            QCOMPARE(logs.size(), 1);
            const QStringList lines = logLines(folder.filePath(logs.first()));
            QCOMPARE(lines.size(), rows.at(i));
            for (const QString &row : lines.mid(1))
                QVERIFY2(row.contains(QStringLiteral(";%1.0;").arg(20 + i)), qPrintable(row));
            for (size_t n = 0; n < rig.plots.curve(1, ids.at(i))->sampleCount(); ++n)
                QCOMPARE(rig.plots.curve(1, ids.at(i))->sample(n).y(), 20.0 + i);
        }
        // The rows show each sensor's last values; the form, the sensor picked.
        for (int i : { 0, 2 }) {
            const LineSensor &sensor = *rig.session.sensor(ids.at(i));
            QCOMPARE(sensor.lastValues.at(sensor.lastIds.indexOf(IdTemp)).output.toDouble(), 20.0 + i);
        }
        QCOMPARE(rig.session.value(IdTemp).value.output.toDouble(), 20.0);
    }

    void pauseLeavesAGap()
    {
        // Slow replies keep every tick under way for a while.
        CommTiming{ 300, 30, 2, 10 }.save();
        Rig rig({ QStringLiteral("--reply-delay"), QStringLiteral("60") });
        QVERIFY(rig.open());
        const auto tickUnderWayAfter = [&](int ticks) {
            return QTest::qWaitFor([&] { return rig.ticks.count() == ticks && rig.link.isBusy(); }, 10000);
        };
        rig.start();
        QVERIFY(tickUnderWayAfter(2));
        rig.reading.pause();
        QVERIFY(rig.waitUntilIdle());

        rig.reading.resume();
        QVERIFY(tickUnderWayAfter(4));
        QCOMPARE(rig.rows(), 4);
        // The dropped tick asked for everything; after the pause the sensor
        // is asked who it is again.
        QCOMPARE(readAddresses(rig.simulator.requests()).mid(0, 14), runAddresses(3) + runAddresses(1));
        for (int position = 0; position < 3; ++position) {
            const LiveCurve *curve = rig.curve(position);
            QCOMPARE(curve->sampleCount(), size_t(5));
            for (size_t i = 0; i < 5; ++i)
                QCOMPARE(std::isnan(curve->sample(i).y()), i == 2);
            QVERIFY(curve->sample(1).x() <= curve->sample(2).x() && curve->sample(2).x() <= curve->sample(3).x());
        }

        // The device gone in the middle of a tick pauses the run: no row,
        // no box, and no sample after the gap.
        rig.simulator.vanish();
        QTRY_COMPARE_WITH_TIMEOUT(rig.linesLost.count(), 1, 10000);
        QVERIFY(rig.reading.state() == TimedReading::State::Paused && rig.waitUntilIdle());
        QVERIFY(rig.rows() == rig.ticks.count() && rig.tickFailures.isEmpty());
        for (int position = 0; position < 3; ++position)
            QVERIFY(std::isnan(rig.curve(position)->sample(rig.curve(position)->sampleCount() - 1).y()));

        // Another unit answers when the line is back (a replaced sensor):
        // its samples go to a log of its own serial number, never the old
        // unit's.
        const QString oldLog = rig.reading.logFileName();
        const int oldRows = rig.rows();
        SimulatorProcess replaced({ QStringLiteral("--serial"), QStringLiteral("9009") });
        QVERIFY(replaced.start() && rig.openOn(replaced));
        rig.reading.resume();
        QTRY_VERIFY_WITH_TIMEOUT(rig.reading.logFileName().startsWith(QStringLiteral("SN9009_"))
                                 && rig.rows() >= 2, 10000);
        QCOMPARE(logLines(oldLog).size() - 1, oldRows);
    }

private:
    TestEnvironment environment;
};

QTEST_MAIN(TestTimedReading)
#include "tst_timedreading.moc"
