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
        // Read all alone leaves the period range alone; the options dialog, once
        // closed, applies the firmware to it: two reads per tick, and the stored
        // period fits.
        QCOMPARE(periodBox->minimum(), 3 * WorstReadMs);
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        window.findChild<QAction *>(QStringLiteral("actionOptions"))->trigger();
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

    void unpluggedPortPausesTheRunUntilItIsBack()
    {
        // A line other than the default, which the port must be reopened at.
        storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), 4);
        storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity"), 2);
        const QStringList line = QStringLiteral("--bitrate 4 --serialconf 2").split(QLatin1Char(' '));
        SensorWindow sensor(line);
        MainWindow &window = sensor.window();
        QVERIFY(openAndReadAll(sensor));
        ModalAnswerer answerer;
        auto *read = widget<QCheckBox>(&window, "readCheckBox");
        read->click();
        QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 2; }, 10000));
        const QString logName = window.currentLogFileName();

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

        // The same adapter is plugged in again: the run goes on, in the same log.
        SimulatorProcess back(line, sensor.simulator.name());
        QVERIFY(back.start() && QTest::qWaitFor([&] { return rowCount(logName) >= rowsBefore + 2; }, 10000));
        QVERIFY(window.currentLogFileName() == logName && sensor.waitUntilIdle());
        read->click();
        QVERIFY(answerer.boxes().isEmpty() && statusText(&window) != paused);

        // Every tick since the return asked for the three values, each once and
        // answered, at the line the port was opened at.
        QStringList expected;
        for (int i = 3 * rowsBefore; i < 3 * rowCount(logName); ++i)
            expected << simRequest(3, 1, QList<int>{ 0x0100, 0x0101, 0x0103 }.at(i % 3), 1, {}, { 115200, 1, true });
        QCOMPARE(describe(back.requests()), expected);
    }

private:
    TestEnvironment environment;
};

QTEST_MAIN(TestTimedRun)
#include "tst_timedrun.moc"
