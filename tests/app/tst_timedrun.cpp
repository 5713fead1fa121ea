// Measurement runs driven as the technician drives them: the window's
// "Read" check box against the sensor simulator, judged by the log on disk,
// the status bar, the boxes shown and what the sensor was asked.

#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QtTest>

using namespace WindowTest;

namespace {

// Transfer timings of these tests: short, yet long enough for the simulator
// to answer on a busy machine. The worst case of one read over both
// attempts is 2 * (30 + 30) + 10 * 2 * 1 ms.
const int WorstReadMs = 140;

int rowCount(const QString &fileName)
{
    QFile file(fileName);
    return !fileName.isEmpty() && file.open(QIODevice::ReadOnly) ? qMax(0, file.readAll().count('\n') - 1) : 0;
}

// Starts the simulator, opens its port once the window lists it and reads
// everything, which tells the window the firmware and so enables the timed
// reading.
bool openAndReadAll(SensorWindow &sensor)
{
    if (!sensor.startSimulator() || !QTest::qWaitFor([&] { return sensor.selectSimulatorPort(); }, 10000))
        return false;
    sensor.pressOpenClose();
    sensor.click("readAllPushButton");
    return statusText(&sensor.window()) == QLatin1String("Values successfully retrieved");
}

QString lastRow(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return QString::fromUtf8(lines.last());
}

} // namespace

class TestTimedRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init()
    {
        environment.clearSettings();
        storeTransferTiming(30, 30, 2, 10);
    }
    void cleanup() { QDir::setCurrent(environment.workingDirectory()); }

    void runAndFailedStartFromTheReadCheckBox()
    {
        // A period stored at the last close, below what three reads need.
        storeSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer"), 2 * WorstReadMs + 20);
        SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
        MainWindow &window = sensor.window();
        auto *periodBox = widget<QSpinBox>(&window, "readSpinBox");
        QVERIFY(openAndReadAll(sensor));
        // The firmware read decides the period's range: two reads per tick,
        // and the stored period fits.
        QCOMPARE(qMakePair(periodBox->minimum(), periodBox->value()), qMakePair(2 * WorstReadMs, 2 * WorstReadMs + 20));

        // Once Read all's message has gone back to "Ready" (no reset is pending
        // then to cut the flash short), the first tick comes at once and flashes
        // the indicator green for a quarter of the period (seen here up to a
        // poll late); the reset clears the message too.
        QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == QLatin1String("Ready"); }, 5000));
        ModalAnswerer answerer;
        auto *read = widget<QCheckBox>(&window, "readCheckBox");
        read->click();
        QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) == 1; }, 5000)
                && statusStyle(&window) == QLatin1String("background: #0b0;"));
        const QDeadlineTimer flash(periodBox->value() / 4 - 20);
        QVERIFY(QTest::qWaitFor([&] { return statusStyle(&window) == QLatin1String("background: #aaa;"); }, 5000));
        QVERIFY(flash.hasExpired() && statusText(&window).isEmpty()
                && QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 3; }, 10000));

        // Closing the port ends the run.
        sensor.pressOpenClose();
        QVERIFY(!read->isChecked() && !window.isTimedReadingActive() && window.currentLogFileName().isEmpty());

        // Reopened, where the log cannot be created: the working directory is
        // gone (a removed directory stops even root from creating files in it).
        sensor.pressOpenClose();
        const QString gone = QDir(environment.workingDirectory()).filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(gone) && QDir::setCurrent(gone) && QDir().rmdir(gone));
        read->click();
        // The only box of the whole run.
        const QRegularExpression box(
                QStringLiteral("^Output file error: It's impossible to write to SN9000_[\\d_@]{19}\\.csv$"));
        QTRY_VERIFY_WITH_TIMEOUT(box.match(shownBoxes(answerer).join(QLatin1Char('|'))).hasMatch(), 10000);
        QVERIFY(!read->isChecked() && !window.isTimedReadingActive());
    }

    void runFollowsTheSensorThroughLineChangesAndUnplugging()
    {
        // Write all moves the sensor to 115200 8O1; the port follows it.
        const QStringList moved = QStringLiteral("--bitrate 4 --serialconf 2").split(QLatin1Char(' '));
        SensorWindow sensor;
        MainWindow &window = sensor.window();
        QVERIFY(openAndReadAll(sensor));
        const struct { const char *name; int code; } line[] = { { "bitRateComboBox", 4 },
                                                                  { "databitParityStopComboBox", 2 } };
        for (const auto &[name, code] : line) {
            auto *combo = widget<QComboBox>(&window, name);
            combo->setCurrentIndex(code);
            emit combo->activated(code);
        }
        sensor.click("writeAllPushButton");
        QCOMPARE(statusText(&window), QStringLiteral("Values successfully sent"));
        ModalAnswerer answerer;
        auto *read = widget<QCheckBox>(&window, "readCheckBox");
        read->click();
        QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 2; }, 10000));
        const QString logName = window.currentLogFileName();
        // The current values show what the log gets.
        QTRY_VERIFY_WITH_TIMEOUT(lastRow(logName).endsWith(QStringLiteral(";%1;%2;%3;").arg(
                widget<QSpinBox>(&window, "irradianceSpinBox")->cleanText(),
                widget<QDoubleSpinBox>(&window, "PT100TempDoubleSpinBox")->cleanText(),
                widget<QDoubleSpinBox>(&window, "speedDoubleSpinBox")->cleanText())), 5000);

        // The port goes from the list while its line still answers, so that
        // only the notice tells; then the adapter goes for good.
        QVERIFY(QFile::remove(sensor.simulator.linkPath()));
        const QString paused =
                sensor.simulator.name() + QStringLiteral(" was unplugged: the reading is paused until it is back.");
        QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == paused; }, 5000));
        sensor.simulator.vanish();
        const int rowsBefore = rowCount(logName);
        // Waits out the port notices (2 s) and several periods: no row and no
        // box meanwhile, and the message stays.
        QVERIFY(!QTest::qWaitFor([&] { return rowCount(logName) != rowsBefore || !answerer.boxes().isEmpty(); },
                                 qMax(2500, 5 * widget<QSpinBox>(&window, "readSpinBox")->value())));
        QCOMPARE(statusStyle(&window), QStringLiteral("background: #b00;"));
        QVERIFY(statusText(&window) == paused && read->isChecked() && window.isTimedReadingActive());

        // The same adapter is plugged in again, with the sensor at the line it
        // was moved to: the run goes on there, in the same log.
        SimulatorProcess back(moved, sensor.simulator.name());
        QVERIFY(back.start() && QTest::qWaitFor([&] { return rowCount(logName) >= rowsBefore + 2; }, 10000));
        QVERIFY(window.currentLogFileName() == logName && statusText(&window) != paused);

        // A new node written during the run: the next ticks ask there.
        widget<QSpinBox>(&window, "slaveSpinBox")->setValue(7);
        sensor.click("writeAllPushButton");
        const int rowsAtNode7 = rowCount(logName);
        QVERIFY(QTest::qWaitFor([&] { return rowCount(logName) >= rowsAtNode7 + 2; }, 10000));
        read->click();
        QVERIFY(sensor.waitUntilIdle());
        QCOMPARE(shownBoxes(answerer), QStringList());

        // Every read since the return was answered, at the line the sensor
        // moved to; after the node's write, at node 7.
        const QList<SimRequest> requests = back.requests();
        QVERIFY(!requests.isEmpty());
        bool atNode7 = false;
        for (const SimRequest &request : requests) {
            QVERIFY2(request.answered && request.baud == 115200 && request.odd, qPrintable(describe(request)));
            if (request.function == 16 && request.address == 0x8004)
                atNode7 = true;
            else if (request.function == 3)
                QCOMPARE(request.slave, atNode7 ? 7 : 1);
        }
        QVERIFY(atNode7 && requests.last().slave == 7);
    }

private:
    TestEnvironment environment;
};

QTEST_MAIN(TestTimedRun)
#include "tst_timedrun.moc"
