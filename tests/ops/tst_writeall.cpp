#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace WindowTest;

namespace {
const QString Sent = QStringLiteral("Values successfully sent");
const QString SerialConfig = QStringLiteral("serialConfig");
const QString NoContext = QStringLiteral("Connection failed: modbus object has not been initialized.");
const QString NothingToSend = QStringLiteral("Nothing sent: There is nothing to send: read all from a sensor this "
                                             "program knows first.");

// Read all, then wait until its status has gone back to "Ready", so that
// its reset cannot cut the next operation's status short.
bool readAllAndSettle(SensorWindow &sensor)
{
    sensor.click("readAllPushButton");
    return QTest::qWaitFor([&] { return statusText(&sensor.window()) == QLatin1String("Ready"); }, 5000);
}
}

// Sending to the sensor: Write all, and the save and reset commands, which
// go through the same parameter write. Every case checks what the simulator
// received, on which line and at which slave address, and what the window
// and the stored settings show afterwards.
class TestWriteAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init();

    void writeListFollowsFirmware_data();
    void writeListFollowsFirmware();
    void writeAllFollowsTheSensorToItsNewLine();
    void nothingSentWhenAFieldHoldsNoValue_data();
    void nothingSentWhenAFieldHoldsNoValue();
    void lineSettingsStoredWhenReconnectionFails_data();
    void lineSettingsStoredWhenReconnectionFails();

    void commandGoesToTheStoredSlave_data();
    void commandGoesToTheStoredSlave();
    void commandRemovesStatusColoursEvenWhenItFails_data();
    void commandRemovesStatusColoursEvenWhenItFails();

private:
    TestEnvironment environment;
};

void TestWriteAll::init()
{
    environment.clearSettings();
    storeTransferTiming(100, 50, 3, 20);
}

void TestWriteAll::writeListFollowsFirmware_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("readAllFirst");
    QTest::addColumn<QStringList>("requests");

    // What the simulator holds at start, sent back unchanged.
    const QStringList olderFirmware{ simWrite(1, 0x8004, 1), simWrite(1, 0x8005, 1), simWrite(1, 0x8006, 0),
                                     simWrite(1, 0x8007, 1), simWrite(1, 0x8008, 1), simWrite(1, 0x8009, 0),
                                     simWrite(1, 0x800A, 1) };
    // No firmware known yet, or one older than any the program knows:
    // nothing at all is sent.
    QTest::newRow("nothing read yet") << QStringLiteral("0x80010000") << false << QStringList();
    QTest::newRow("firmware 01.02-03.04") << QStringLiteral("0x01020304") << true << QStringList();
    QTest::newRow("firmware 80.00-01.23") << QStringLiteral("0x80000123") << true << olderFirmware;
    QTest::newRow("firmware 80.01-00.00") << QStringLiteral("0x80010000") << true
                                          << olderFirmware + QStringList{ simWrite(1, 0x8030, 2949) };
}

void TestWriteAll::writeListFollowsFirmware()
{
    QFETCH(QString, firmware);
    QFETCH(bool, readAllFirst);
    QFETCH(QStringList, requests);

    SensorWindow sensor({ QStringLiteral("--firmware"), firmware });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    ModalAnswerer answerer;
    if (readAllFirst) {
        QVERIFY(readAllAndSettle(sensor));
        // Opening the port again enables Write all even after an unknown
        // sensor; the firmware read before still decides what is sent.
        sensor.pressOpenClose();
        sensor.pressOpenClose();
        sensor.simulator.clearRequests();
        answerer.clear();
    }

    sensor.click("writeAllPushButton");
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    // Each parameter is its own transaction, never merged with its
    // neighbours; a parameter the firmware lacks is not sent.
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    if (requests.isEmpty()) {
        QCOMPARE(shownBoxes(answerer), QStringList(NothingToSend));
        QCOMPARE(answerer.boxes().first().icon, int(QMessageBox::Critical));
        QCOMPARE(statusText(&window), QStringLiteral("Ready"));
        return;
    }
    QCOMPARE(shownBoxes(answerer), QStringList());
    QVERIFY(successShownFor(&window, Sent, sinceWrite, 2000));
    // Values the sensor already had leave the stored line where the Read
    // all put it: the one the sensor answered at.
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialBitRate")).toString(), QStringLiteral("1"));
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialDataBitStopParity")).toString(), QStringLiteral("0"));
}

void TestWriteAll::writeAllFollowsTheSensorToItsNewLine()
{
    // A first run: nothing is stored yet, and the Read all tells where the
    // sensor answers before the user types in its new node address.
    SensorWindow sensor({ QStringLiteral("--constperpulse"), QStringLiteral("4096") });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");

    // A new node, bit rate and framing at once, and new values for the rest.
    widget<QSpinBox>(&window, "slaveSpinBox")->setValue(5);
    widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(4);            // 115200
    widget<QComboBox>(&window, "databitParityStopComboBox")->setCurrentIndex(2);  // 8O1
    widget<QSpinBox>(&window, "delaySpinBox")->setValue(9);
    widget<QComboBox>(&window, "analogicOutputModeComboBox")->setCurrentIndex(4);
    widget<QComboBox>(&window, "analogicOutputSelectionComboBox")->setCurrentIndex(3);
    widget<QCheckBox>(&window, "PT100ReadingEnableCheckBox")->setChecked(false);
    widget<QDoubleSpinBox>(&window, "constantPerPulseDoubleSpinBox")->setValue(1.44);
    // The line is re-opened on the port it is open on, whatever the port
    // list shows now.
    widget<QComboBox>(&window, "serialPortComboBox")->setCurrentIndex(-1);
    sensor.simulator.clearRequests();

    sensor.click("writeAllPushButton");
    QCOMPARE(shownBoxes(answerer), QStringList());
    // The node goes to the old address; the bit rate is acknowledged at the
    // old line, the framing at the new bit rate with the old framing, and the
    // rest at the new line and address.
    const SimLine fastEven = { 115200, 1, false };
    const SimLine fastOdd = { 115200, 1, true };
    QCOMPARE(describe(sensor.simulator.requests()),
             QStringList({ simWrite(1, 0x8004, 5), simWrite(5, 0x8005, 4), simWrite(5, 0x8006, 2, fastEven),
                           simWrite(5, 0x8007, 9, fastOdd), simWrite(5, 0x8008, 4, fastOdd),
                           simWrite(5, 0x8009, 3, fastOdd), simWrite(5, 0x800A, 0, fastOdd),
                           simWrite(5, 0x8030, 2949, fastOdd) }));
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("slave")).toInt(), 5);
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialBitRate")).toInt(), 4);
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialDataBitStopParity")).toInt(), 2);
    QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isChecked());
    QCOMPARE(statusText(&window), Sent);

    // The window goes on talking to the sensor where it now is.
    sensor.simulator.clearRequests();
    sensor.click("readAllPushButton");
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(true, 5, fastOdd));

    // The technician picks the port again, quits and starts the program
    // again: it opens the same port on the new line and address.
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    window.close();
    MainWindow restarted;
    widget<QPushButton>(&restarted, "openClosePushButton")->click();
    QVERIFY(QTest::qWaitFor([&] { return !restarted.isBusy(); }, 10000));
    sensor.simulator.clearRequests();
    widget<QPushButton>(&restarted, "readAllPushButton")->click();
    QVERIFY(QTest::qWaitFor([&] { return !restarted.isBusy(); }, 10000));
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(true, 5, fastOdd));
    QCOMPARE(shownBoxes(answerer), QStringList());
}

void TestWriteAll::nothingSentWhenAFieldHoldsNoValue_data()
{
    QTest::addColumn<QStringList>("simulatorArgs");
    QTest::addColumn<int>("readAllBoxes");
    QTest::addColumn<QStringList>("emptied");
    QTest::addColumn<QString>("names");

    QTest::newRow("fields emptied by hand")
            << QStringList() << 0
            << QStringList{ QStringLiteral("delaySpinBox"), QStringLiteral("analogicOutputModeComboBox"),
                            QStringLiteral("constantPerPulseDoubleSpinBox") }
            << QStringLiteral("Delay, AnOutputMode, ConstPerPulse");
    // The run stops at AnOutputMode, after the firmware version is known:
    // the fields cleared at start are still empty.
    QTest::newRow("Read all stopped early")
            << QStringList{ QStringLiteral("--exception-at"), QStringLiteral("0x8008") } << 1 << QStringList()
            << QStringLiteral("AnOutputMode, AnOutputSelect, ConstPerPulse");
}

void TestWriteAll::nothingSentWhenAFieldHoldsNoValue()
{
    QFETCH(QStringList, simulatorArgs);
    QFETCH(int, readAllBoxes);
    QFETCH(QStringList, emptied);
    QFETCH(QString, names);

    SensorWindow sensor(simulatorArgs);
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QCOMPARE(answerer.boxes().size(), readAllBoxes);
    for (const QString &name : emptied) {
        if (auto *combo = window.findChild<QComboBox *>(name))
            combo->setCurrentIndex(-1);
        else
            window.findChild<QAbstractSpinBox *>(name)->clear();
    }
    // A new bit rate, that would be stored were anything sent.
    widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(4);
    const QString statusBefore = statusText(&window);
    answerer.clear();
    sensor.simulator.clearRequests();

    sensor.click("writeAllPushButton");
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("Nothing sent: These parameters hold no value: %1.\n"
                                                               "Read all or fill them in, then write again.")
                                                       .arg(names)));
    // Not even the parameters that do hold a value go out.
    QCOMPARE(describe(sensor.simulator.requests()), QStringList());
    QVERIFY(storedSetting(SerialConfig, QStringLiteral("serialBitRate")).toInt() != 4);
    QCOMPARE(statusText(&window), statusBefore);
}

void TestWriteAll::lineSettingsStoredWhenReconnectionFails_data()
{
    QTest::addColumn<QString>("lineField");
    QTest::addColumn<int>("newCode");
    QTest::addColumn<QString>("storedKey");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("written");

    const QString later = QStringLiteral("Delay, AnOutputMode, AnOutputSelect, PT100Enable, ConstPerPulse");
    QTest::newRow("bit rate") << QStringLiteral("bitRateComboBox") << 4 << QStringLiteral("serialBitRate")
                              << QStringList{ simWrite(1, 0x8004, 1), simWrite(1, 0x8005, 4) }
                              << QStringLiteral("Written: Node, BitRate.\nNot written: SerialConf, %1.").arg(later);
    QTest::newRow("framing") << QStringLiteral("databitParityStopComboBox") << 3
                             << QStringLiteral("serialDataBitStopParity")
                             << QStringList{ simWrite(1, 0x8004, 1), simWrite(1, 0x8005, 1), simWrite(1, 0x8006, 3) }
                             << QStringLiteral("Written: Node, BitRate, SerialConf.\nNot written: %1.").arg(later);
}

void TestWriteAll::lineSettingsStoredWhenReconnectionFails()
{
    QFETCH(QString, lineField);
    QFETCH(int, newCode);
    QFETCH(QString, storedKey);
    QFETCH(QStringList, requests);
    QFETCH(QString, written);

    SensorWindow sensor;
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    window.findChild<QComboBox *>(lineField)->setCurrentIndex(newCode);
    sensor.simulator.clearRequests();

    // The port's device node goes away while the line stays open: the
    // writes still reach the sensor, the re-opening at the new line fails.
    QVERIFY(QFile::remove(sensor.simulator.linkPath()));
    sensor.click("writeAllPushButton");
    QCOMPARE(shownBoxes(answerer), QStringList(NoContext + QStringLiteral("\n\n") + written));
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    // The sensor took the new setting: the stored one follows it, so that
    // the next start opens the line where the sensor is.
    QCOMPARE(storedSetting(SerialConfig, storedKey).toInt(), newCode);

    // The failed re-opening left no line: the next transfer says why
    // nothing is sent.
    sensor.click("savePushButton");
    QCOMPARE(shownBoxes(answerer).value(1), NoContext);
    QCOMPARE(describe(sensor.simulator.requests()), requests);
}

void TestWriteAll::commandGoesToTheStoredSlave_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("statusMs");

    QTest::newRow("save") << QStringLiteral("savePushButton") << 0x8100 << 2000;
    QTest::newRow("reset") << QStringLiteral("resetParamsPushButton") << 0x8101 << 6000;
}

void TestWriteAll::commandGoesToTheStoredSlave()
{
    QFETCH(QString, button);
    QFETCH(int, address);
    QFETCH(int, statusMs);

    storeSetting(SerialConfig, QStringLiteral("slave"), 7);
    SensorWindow sensor({ QStringLiteral("--node"), QStringLiteral("7") });
    QVERIFY(sensor.open());
    // The form's address is only where reads go; commands go where the
    // sensor answers.
    widget<QSpinBox>(&sensor.window(), "slaveSpinBox")->setValue(9);

    ModalAnswerer answerer;
    sensor.click(qPrintable(button));
    QElapsedTimer sinceCommand;
    sinceCommand.start();
    QCOMPARE(shownBoxes(answerer), QStringList());
    QCOMPARE(describe(sensor.simulator.requests()), QStringList{ simWrite(7, address, 1) });
    QVERIFY(successShownFor(&sensor.window(), Sent, sinceCommand, statusMs));
}

void TestWriteAll::commandRemovesStatusColoursEvenWhenItFails_data()
{
    commandGoesToTheStoredSlave_data();
}

void TestWriteAll::commandRemovesStatusColoursEvenWhenItFails()
{
    QFETCH(QString, button);
    QFETCH(int, address);

    SensorWindow sensor({ QStringLiteral("--exception-at"), QString::number(address) });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    window.show();
    ModalAnswerer answerer;
    QVERIFY(readAllAndSettle(sensor));

    const auto base = [&](const char *name) {
        return widget<QWidget>(&window, name)->palette().color(QPalette::Active, QPalette::Base);
    };
    QCOMPARE(base("digitalInputLineEdit"), QColor(Qt::yellow));
    QCOMPARE(base("watchdogLineEdit"), QColor(Qt::green));

    sensor.simulator.clearRequests();
    sensor.click(qPrintable(button));
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("Connection failed: slave threw exception "
                                                              "\"Illegal data address\" or function not implemented.")));
    QCOMPARE(sensor.simulator.requests().size(), 3);
    const QColor plain = window.palette().color(QPalette::Active, QPalette::Base);
    for (const char *name : { "factoryCalibrationLineEdit", "notVolatileParLineEdit", "digitalInputLineEdit",
                              "PT100StatusLineEdit", "analogicOutputStatusLineEdit", "watchdogLineEdit" })
        QVERIFY2(base(name) == plain, name);
    // The texts stay; only the colours go.
    QCOMPARE(widget<QLineEdit>(&window, "digitalInputLineEdit")->text(), QStringLiteral("Close"));
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));
}

QTEST_MAIN(TestWriteAll)
#include "tst_writeall.moc"
