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
#include <QDialog>
#include <QDoubleSpinBox>
#include <QMessageBox>
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
// reading; forgets those requests.
bool openAndReadAll(SensorWindow &sensor)
{
    if (!sensor.startSimulator() || !QTest::qWaitFor([&] { return sensor.selectSimulatorPort(); }, 10000))
        return false;
    sensor.pressOpenClose();
    sensor.click("readAllPushButton");
    sensor.simulator.clearRequests();
    return statusText(&sensor.window()) == QLatin1String("Values successfully retrieved");
}

bool openPortOf(SensorWindow &sensor, const SimulatorProcess &simulator)
{
    auto *ports = widget<QComboBox>(&sensor.window(), "serialPortComboBox");
    if (!QTest::qWaitFor([&] { return ports->findText(simulator.name(), Qt::MatchContains) >= 0; }, 10000))
        return false;
    ports->setCurrentIndex(ports->findText(simulator.name(), Qt::MatchContains));
    sensor.pressOpenClose();
    return sensor.window().isConnectionOpen();
}

} // namespace

class TestTimedRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init();
    void cleanup() { QDir::setCurrent(environment.workingDirectory()); }

    void runAndFailedStartsFromTheReadCheckBox();
    void unpluggedPortPausesTheRunUntilItIsBack();

private:
    TestEnvironment environment;
};

void TestTimedRun::init()
{
    environment.clearSettings();
    storeTransferTiming(30, 30, 2, 10);
}

void TestTimedRun::runAndFailedStartsFromTheReadCheckBox()
{
    // A period stored at the last close, below what three reads need.
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer"), 2 * WorstReadMs + 20);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("temperaturePrecision"), 0);
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    MainWindow &window = sensor.window();
    auto *periodBox = widget<QSpinBox>(&window, "readSpinBox");
    auto *speed = widget<QDoubleSpinBox>(&window, "speedDoubleSpinBox");
    const int formSpeedDecimals = speed->decimals();
    QVERIFY(openAndReadAll(sensor));
    // Read all alone leaves the period range alone; the options dialog
    // applies the firmware to it and to the decimals of the live values.
    QCOMPARE(periodBox->minimum(), 3 * WorstReadMs);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->close();
    });
    closer.start(20);
    window.findChild<QAction *>(QStringLiteral("actionOptions"))->trigger();
    closer.stop();
    // Two reads per tick now, and the stored period fits.
    QCOMPARE(periodBox->minimum(), 2 * WorstReadMs);
    QCOMPARE(periodBox->value(), 2 * WorstReadMs + 20);
    QCOMPARE(widget<QDoubleSpinBox>(&window, "PT100TempDoubleSpinBox")->decimals(), 0);
    QCOMPARE(speed->decimals(), formSpeedDecimals);

    // Once Read all's message has gone back to "Ready" (no reset is pending
    // then to cut the flash short), the first tick comes at once and flashes
    // the indicator green for a quarter of the period (seen here up to a
    // poll late); the reset clears the message too.
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == QLatin1String("Ready"); }, 5000));
    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) == 1; }, 5000));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #0b0;"));
    QElapsedTimer sinceFirstTick;
    sinceFirstTick.start();
    QVERIFY(QTest::qWaitFor([&] { return statusStyle(&window) == QLatin1String("background: #aaa;"); }, 5000));
    const qint64 flashMs = sinceFirstTick.elapsed();
    QVERIFY2(flashMs >= periodBox->value() / 4 - 20, qPrintable(QString::number(flashMs)));
    QCOMPARE(statusText(&window), QString());
    QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 3; }, 10000));

    // Closing the port ends the run.
    sensor.pressOpenClose();
    const auto stopped = [&] { return !read->isChecked() && !window.isTimedReadingActive(); };
    QVERIFY(stopped() && window.currentLogFileName().isEmpty());
    QVERIFY(answerer.boxes().isEmpty());

    // Reopened, where the log cannot be created: the working directory is
    // gone (a removed directory stops even root from creating files in it).
    sensor.pressOpenClose();
    const QDir work(environment.workingDirectory());
    const QString gone = work.filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkpath(gone) && QDir::setCurrent(gone) && QDir().rmdir(gone));
    read->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Output file error"));
    QCOMPARE(int(answerer.boxes().first().icon), int(QMessageBox::Critical));
    const QString text = answerer.boxes().first().text;
    const QRegularExpression expected(QStringLiteral("^It's impossible to write to SN9000_[\\d_@]{19}\\.csv$"));
    QVERIFY2(expected.match(text).hasMatch(), qPrintable(text));
    QVERIFY(stopped());
    QDir::setCurrent(work.path());

    // A sensor that does not answer: the serial number cannot be read. The
    // firmware read before keeps the timed reading usable.
    sensor.pressOpenClose();
    SimulatorProcess silent({ QStringLiteral("--silent") });
    QVERIFY(silent.start());
    QVERIFY(openPortOf(sensor, silent));
    answerer.clear();
    read->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("I/O error: I/O error: did not receive any data "
                                                              "from slave.")));
    QVERIFY(stopped());
    sensor.pressOpenClose();
}

void TestTimedRun::unpluggedPortPausesTheRunUntilItIsBack()
{
    // A line other than the default, which the port must be reopened at.
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), 4);
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity"), 2);
    const QStringList line = { QStringLiteral("--bitrate"), QStringLiteral("4"), QStringLiteral("--serialconf"),
                               QStringLiteral("2") };
    SensorWindow sensor(line);
    MainWindow &window = sensor.window();
    QVERIFY(openAndReadAll(sensor));
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 2; }, 10000));
    const QString logName = window.currentLogFileName();

    // The port goes from the list while its line still answers, so that
    // only the notice tells; then the adapter goes for good.
    QVERIFY(QFile::remove(sensor.simulator.linkPath()));
    const QString paused =
            QStringLiteral("%1 was unplugged: the reading is paused until it is back.").arg(sensor.simulator.name());
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == paused; }, 5000));
    sensor.simulator.vanish();
    const int rowsBefore = rowCount(logName);
    // Waits out the port notices (2 s) and several periods: no row and no
    // box meanwhile, and the message stays.
    QVERIFY(!QTest::qWaitFor([&] { return rowCount(logName) != rowsBefore || !answerer.boxes().isEmpty(); },
                             qMax(2500, 5 * period)));
    QCOMPARE(statusText(&window), paused);
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #b00;"));
    QVERIFY(read->isChecked() && window.isTimedReadingActive());

    // The same adapter is plugged in again: the run goes on, in the same log.
    SimulatorProcess back(line, sensor.simulator.name());
    QVERIFY(back.start());
    QVERIFY(QTest::qWaitFor([&] { return rowCount(logName) >= rowsBefore + 2; }, 10000));
    QCOMPARE(window.currentLogFileName(), logName);
    QVERIFY(sensor.waitUntilIdle());
    read->click();
    QVERIFY(answerer.boxes().isEmpty());
    QVERIFY(statusText(&window) != paused);

    // Every tick since the return asked for the three values, each once and
    // answered, at the line the port was opened at.
    const SimLine reopened = { 115200, 1, true };
    QStringList expected;
    for (int row = rowsBefore; row < rowCount(logName); ++row) {
        for (int address : { 0x0100, 0x0101, 0x0103 })
            expected << simRequest(3, 1, address, 1, {}, reopened);
    }
    QCOMPARE(describe(back.requests()), expected);
}

QTEST_MAIN(TestTimedRun)
#include "tst_timedrun.moc"
