#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

using namespace WindowTest;

namespace {
const QString Retrieved = QStringLiteral("Values successfully retrieved");
const QString Good = QStringLiteral("background: #0b0;");

// The widgets that show the 21 parameters, in parameter order.
const QStringList parameterWidgets = {
    "serialNumberSpinBox", "FWVersionLineEdit", "factoryCalibrationLineEdit", "notVolatileParLineEdit",
    "digitalInputLineEdit", "PT100StatusLineEdit", "analogicOutputStatusLineEdit", "watchdogLineEdit",
    "slaveSpinBox", "bitRateComboBox", "databitParityStopComboBox", "delaySpinBox",
    "analogicOutputModeComboBox", "analogicOutputSelectionComboBox", "PT100ReadingEnableCheckBox",
    "constantPerPulseDoubleSpinBox", "savePushButton", "resetParamsPushButton", "irradianceSpinBox",
    "PT100TempDoubleSpinBox", "speedDoubleSpinBox",
};
const QStringList acquisitionControls = { "readCheckBox", "readHorizontalSlider", "readSpinBox", "tabWidget" };

QStringList disabledAmong(QWidget *window, const QStringList &names)
{
    QStringList disabled;
    for (const QString &name : names) {
        if (!window->findChild<QWidget *>(name)->isEnabled())
            disabled << name;
    }
    return disabled;
}
}

// Read all against the sensor simulator: what goes over the line, and what
// the window makes of the firmware version it learns.
class TestReadAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init();
    void currentFirmwareKeepsEverything();
    void olderFirmwareLosesSpeedAndPulseConstant();
    void unknownFirmwareIsNoSuccessAndTabsFollowTheNextSensor();
    void failedReadStopsAndChangesNothingElse_data();
    void failedReadStopsAndChangesNothingElse();

private:
    TestEnvironment environment;
};

void TestReadAll::init()
{
    environment.clearSettings();
    storeTransferTiming(100, 50, 3, 20);
}

void TestReadAll::currentFirmwareKeepsEverything()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80010000") });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    // Before a Read all the sensor's firmware is unknown: no timed reading.
    QCOMPARE(disabledAmong(&window, acquisitionControls), acquisitionControls);

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QElapsedTimer sinceReadAll;
    sinceReadAll.start();
    QCOMPARE(shownBoxes(answerer), QStringList());
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(true));
    QCOMPARE(widget<QLineEdit>(&window, "FWVersionLineEdit")->text(), QStringLiteral("80.01-00.00"));
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
    QCOMPARE(disabledAmong(&window, parameterWidgets + acquisitionControls), QStringList());
    QVERIFY(successShownFor(&window, Retrieved, sinceReadAll, 2000));
}

void TestReadAll::olderFirmwareLosesSpeedAndPulseConstant()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    auto *tabs = widget<QTabWidget>(&window, "tabWidget");

    ModalAnswerer answerer;
    for (int run = 0; run < 2; ++run) {
        sensor.simulator.clearRequests();
        sensor.click("readAllPushButton");
        QCOMPARE(shownBoxes(answerer), QStringList());
        // The sensor would reject 0x8030: it is never asked for.
        QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(false));
        QCOMPARE(disabledAmong(&window, parameterWidgets + acquisitionControls),
                 QStringList({ QStringLiteral("constantPerPulseDoubleSpinBox"), QStringLiteral("speedDoubleSpinBox") }));
        // The speed tab goes once; the second run finds nothing more to remove.
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->indexOf(widget<QWidget>(&window, "speedTab")), -1);
        QCOMPARE(statusText(&window), Retrieved);
    }
}

void TestReadAll::unknownFirmwareIsNoSuccessAndTabsFollowTheNextSensor()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x01020304") });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QCOMPARE(shownBoxes(answerer), QStringList{ QStringLiteral(
            "Unknown sensor: The sensor reports firmware version 0x01020304, older than any this program knows. "
            "Its values are shown, but none can be written or logged.") });
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(false));
    QCOMPARE(widget<QLineEdit>(&window, "FWVersionLineEdit")->text(), QStringLiteral("01.02-03.04"));
    // The slave address and both commands included: this sensor has none of
    // the parameters the program knows.
    QCOMPARE(disabledAmong(&window, parameterWidgets), parameterWidgets);
    auto *tabs = widget<QTabWidget>(&window, "tabWidget");
    QCOMPARE(tabs->count(), 0);
    QCOMPARE(statusText(&window), QStringLiteral("Cannot retrieve correct values"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #b00;"));
    QVERIFY(!storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).isValid());

    // A sensor with every live value, on the same port, gets every tab back.
    sensor.pressOpenClose();
    const QString name = sensor.simulator.name();
    sensor.simulator.stop();
    SimulatorProcess newer({}, name);
    QVERIFY(newer.start());
    QTRY_VERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    QTRY_VERIFY(window.isConnectionOpen());
    sensor.click("readAllPushButton");
    QCOMPARE(statusText(&window), Retrieved);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->indexOf(widget<QWidget>(&window, "speedTab")), 2);
}

void TestReadAll::failedReadStopsAndChangesNothingElse_data()
{
    QTest::addColumn<QStringList>("simulatorArgs");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("serialNumber");

    const QString rejected = simRequest(3, 1, 0x8002, 2, {}, {}, "exception-2");
    QTest::newRow("firmware register rejected")
            << QStringList{ QStringLiteral("--exception-at"), QStringLiteral("0x8002") }
            << QStringLiteral("Connection failed: slave threw exception \"Illegal data address\" or function not implemented.")
            << QStringList{ simRequest(3, 1, 0x8000, 2), rejected, rejected, rejected } << QStringLiteral("9000");
    const QString unanswered = simRequest(3, 1, 0x8000, 2, {}, {}, "silent");
    QTest::newRow("silent sensor")
            << QStringList{ QStringLiteral("--silent") }
            << QStringLiteral("I/O error: I/O error: did not receive any data from slave.")
            << QStringList{ unanswered, unanswered, unanswered } << QString();
}

void TestReadAll::failedReadStopsAndChangesNothingElse()
{
    QFETCH(QStringList, simulatorArgs);
    QFETCH(QString, box);
    QFETCH(QStringList, requests);
    QFETCH(QString, serialNumber);

    SensorWindow sensor(simulatorArgs);
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    const QStringList disabledBefore = disabledAmong(&window, parameterWidgets);

    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QCOMPARE(shownBoxes(answerer), QStringList{ box });
    // The run ends at the failed parameter: nothing after it is asked for.
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    QCOMPARE(widget<QSpinBox>(&window, "serialNumberSpinBox")->text(), serialNumber);
    QVERIFY(widget<QLineEdit>(&window, "FWVersionLineEdit")->text().isEmpty());
    // The form may show an address the sensor did not answer at: not stored.
    QVERIFY(!storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).isValid());

    // Nothing is enabled, disabled, removed or announced.
    QCOMPARE(disabledAmong(&window, parameterWidgets), disabledBefore);
    QCOMPARE(disabledAmong(&window, acquisitionControls), acquisitionControls);
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));
}

QTEST_MAIN(TestReadAll)
#include "tst_readall.moc"
