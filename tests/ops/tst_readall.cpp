#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

using namespace WindowTest;

namespace {
const QString Idle = QStringLiteral("background: #aaa;");
const QString Good = QStringLiteral("background: #0b0;");

// The widgets that show the 21 parameters, in parameter order.
const char *const parameterWidgetNames[] = {
    "serialNumberSpinBox", "FWVersionLineEdit", "factoryCalibrationLineEdit", "notVolatileParLineEdit",
    "digitalInputLineEdit", "PT100StatusLineEdit", "analogicOutputStatusLineEdit", "watchdogLineEdit",
    "slaveSpinBox", "bitRateComboBox", "databitParityStopComboBox", "delaySpinBox",
    "analogicOutputModeComboBox", "analogicOutputSelectionComboBox", "PT100ReadingEnableCheckBox",
    "constantPerPulseDoubleSpinBox", "savePushButton", "resetParamsPushButton", "irradianceSpinBox",
    "PT100TempDoubleSpinBox", "speedDoubleSpinBox",
};
const char *const acquisitionControlNames[] = { "readCheckBox", "readHorizontalSlider", "readSpinBox", "tabWidget" };

// One request as the simulator saw it, in a form that a failed comparison
// shows legibly.
QString describe(const SimRequest &request)
{
    QStringList values;
    for (quint16 value : request.values)
        values << QString::number(value);
    return QStringLiteral("fc%1 slave %2 0x%3 x%4 [%5] %6 baud, %7 stop%8: %9")
            .arg(request.function).arg(request.slave).arg(request.address, 4, 16, QLatin1Char('0'))
            .arg(request.count).arg(values.join(QLatin1Char(','))).arg(request.baud).arg(request.stopBits)
            .arg(request.odd ? QStringLiteral(", odd") : QString(), request.reason);
}

QStringList describe(const QList<SimRequest> &requests)
{
    QStringList lines;
    for (const SimRequest &request : requests)
        lines << describe(request);
    return lines;
}

// A read of the sensor at the program's default line (19200 bit/s, 8N1) and
// slave address 1, answered.
QString answeredRead(int address, int count)
{
    SimRequest request;
    request.function = 3;
    request.slave = 1;
    request.address = address;
    request.count = count;
    request.baud = 19200;
    request.stopBits = 1;
    request.reason = QStringLiteral("-");
    return describe(request);
}

// What Read all sends, in order: identity, the six status bits one by one,
// the configuration, and the pulse constant where the firmware has it.
QStringList readAllRequests(bool withPulseConstant)
{
    QStringList requests{ answeredRead(0x8000, 2), answeredRead(0x8002, 2) };
    for (int bit = 0; bit < 6; ++bit)
        requests << answeredRead(0x0102, 1);
    for (int address = 0x8004; address <= 0x800A; ++address)
        requests << answeredRead(address, 1);
    if (withPulseConstant)
        requests << answeredRead(0x8030, 1);
    return requests;
}

QStringList disabledAmong(QWidget *window, const QList<const char *> &names)
{
    QStringList disabled;
    for (const char *name : names) {
        if (!widget<QWidget>(window, name)->isEnabled())
            disabled << QLatin1String(name);
    }
    return disabled;
}

QList<const char *> parameterWidgets()
{
    return QList<const char *>(std::begin(parameterWidgetNames), std::end(parameterWidgetNames));
}

QList<const char *> acquisitionControls()
{
    return QList<const char *>(std::begin(acquisitionControlNames), std::end(acquisitionControlNames));
}

// Watches the status bar from `since` on: returns after how many ms it went
// back to "Ready" on grey, or -1 when it showed anything but text on style
// meanwhile or did not go back within timeoutMs.
qint64 statusHeldFor(QWidget *window, const QString &text, const QString &style, const QElapsedTimer &since,
                     int timeoutMs)
{
    while (since.elapsed() < timeoutMs) {
        if (statusText(window) == QLatin1String("Ready") && statusStyle(window) == Idle)
            return since.elapsed();
        if (statusText(window) != text || statusStyle(window) != style)
            return -1;
        QTest::qWait(10);
    }
    return -1;
}
}

// Read all against the sensor simulator: what goes over the line, and what
// the window makes of the firmware version it learns.
class TestReadAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void currentFirmwareKeepsEverything();
    void olderFirmwareLosesSpeedAndPulseConstant();
    void firmwareBelowEveryThresholdDisablesAllParameters();
    void failedReadStopsAndChangesNothingElse_data();
    void failedReadStopsAndChangesNothingElse();

private:
    TestEnvironment environment;
};

void TestReadAll::initTestCase()
{
    registerImageResources();
}

void TestReadAll::init()
{
    environment.clearSettings();
    storeTransferTiming(100, 50, 3, 20);
}

void TestReadAll::currentFirmwareKeepsEverything()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80010000") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    // Before a Read all the sensor's firmware is unknown: no timed reading.
    QCOMPARE(disabledAmong(&window, acquisitionControls()).size(), 4);

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QElapsedTimer sinceReadAll;
    sinceReadAll.start();
    QVERIFY(answerer.boxes().isEmpty());

    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(true));
    QCOMPARE(window.firmware(), 0x80010000u);
    QCOMPARE(widget<QLineEdit>(&window, "FWVersionLineEdit")->text(), QStringLiteral("80.01-00.00"));
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
    QCOMPARE(disabledAmong(&window, parameterWidgets()), QStringList());
    QCOMPARE(disabledAmong(&window, acquisitionControls()), QStringList());
    QVERIFY(widget<QWidget>(&window, "writeAllPushButton")->isEnabled());

    QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
    QCOMPARE(statusStyle(&window), Good);
    const qint64 held = statusHeldFor(&window, QStringLiteral("Values successfully retrieved"), Good,
                                      sinceReadAll, 5000);
    // The return to idle is a coarse 2 s timer: it may come up to 5 % early.
    QVERIFY2(held >= 1800 && held < 4000, qPrintable(QStringLiteral("held for %1 ms").arg(held)));
}

void TestReadAll::olderFirmwareLosesSpeedAndPulseConstant()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    auto *tabs = widget<QTabWidget>(&window, "tabWidget");

    ModalAnswerer answerer;
    for (int run = 0; run < 2; ++run) {
        sensor.simulator.clearRequests();
        sensor.click("readAllPushButton");
        QVERIFY(answerer.boxes().isEmpty());
        // The sensor would reject 0x8030: it is never asked for.
        QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(false));
        QCOMPARE(window.firmware(), 0x80000123u);
        QCOMPARE(disabledAmong(&window, parameterWidgets()),
                 QStringList({ QStringLiteral("constantPerPulseDoubleSpinBox"), QStringLiteral("speedDoubleSpinBox") }));
        // The speed tab goes once; the second run finds nothing more to remove.
        QCOMPARE(tabs->count(), 2);
        QVERIFY(tabs->indexOf(widget<QWidget>(&window, "irradianceTab")) == 0);
        QVERIFY(tabs->indexOf(widget<QWidget>(&window, "temperatureTab")) == 1);
        QCOMPARE(disabledAmong(&window, acquisitionControls()), QStringList());
        QVERIFY(widget<QWidget>(&window, "writeAllPushButton")->isEnabled());
        QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
        QCOMPARE(statusStyle(&window), Good);
    }
}

void TestReadAll::firmwareBelowEveryThresholdDisablesAllParameters()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x01020304") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(false));
    QCOMPARE(window.firmware(), 0x01020304u);
    QCOMPARE(widget<QLineEdit>(&window, "FWVersionLineEdit")->text(), QStringLiteral("01.02-03.04"));
    // The slave address and both commands included: this sensor has none of
    // the parameters the program knows.
    QCOMPARE(disabledAmong(&window, parameterWidgets()).size(), 21);
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 0);
    // Every transfer went through, so the run itself succeeded.
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
    QCOMPARE(statusStyle(&window), Good);
}

void TestReadAll::failedReadStopsAndChangesNothingElse_data()
{
    QTest::addColumn<QStringList>("simulatorArgs");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("serialNumber");

    SimRequest rejected;
    rejected.function = 3;
    rejected.slave = 1;
    rejected.address = 0x8002;
    rejected.count = 2;
    rejected.baud = 19200;
    rejected.reason = QStringLiteral("exception-2");
    QTest::newRow("firmware register rejected")
            << QStringList{ QStringLiteral("--exception-at"), QStringLiteral("0x8002") }
            << QStringLiteral("Connection failed")
            << QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented.")
            << QStringList{ answeredRead(0x8000, 2), describe(rejected), describe(rejected), describe(rejected) }
            << QStringLiteral("9000");

    SimRequest unanswered;
    unanswered.function = 3;
    unanswered.slave = 1;
    unanswered.address = 0x8000;
    unanswered.count = 2;
    unanswered.baud = 19200;
    unanswered.reason = QStringLiteral("silent");
    QTest::newRow("silent sensor")
            << QStringList{ QStringLiteral("--silent") }
            << QStringLiteral("I/O error")
            << QStringLiteral("I/O error: did not receive any data from slave.")
            << QStringList{ describe(unanswered), describe(unanswered), describe(unanswered) }
            << QString();
}

void TestReadAll::failedReadStopsAndChangesNothingElse()
{
    QFETCH(QStringList, simulatorArgs);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QStringList, requests);
    QFETCH(QString, serialNumber);

    SensorWindow sensor(simulatorArgs);
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    const QStringList disabledBefore = disabledAmong(&window, parameterWidgets());

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, title);
    QCOMPARE(answerer.boxes().first().text, text);

    // The run ends at the failed parameter: nothing after it is asked for.
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    QCOMPARE(widget<QSpinBox>(&window, "serialNumberSpinBox")->text(), serialNumber);
    QVERIFY(widget<QLineEdit>(&window, "FWVersionLineEdit")->text().isEmpty());
    QCOMPARE(window.firmware(), 0u);

    // Nothing is enabled, disabled, removed or announced.
    QCOMPARE(disabledAmong(&window, parameterWidgets()), disabledBefore);
    QCOMPARE(disabledAmong(&window, acquisitionControls()).size(), 4);
    QVERIFY(widget<QWidget>(&window, "writeAllPushButton")->isEnabled());
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), Idle);
}

QTEST_MAIN(TestReadAll)
#include "tst_readall.moc"
