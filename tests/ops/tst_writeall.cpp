#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "testenvironment.h"
#include "virtualports.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace WindowTest;

namespace {
const QString Idle = QStringLiteral("background: #aaa;");
const QString Good = QStringLiteral("background: #0b0;");
const QString SerialConfig = QStringLiteral("serialConfig");

// The line as the simulator observed it when a request arrived.
struct Line
{
    int baud;
    int stopBits;
    bool odd;
};
const Line defaultLine = { 19200, 1, false };

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

QString request(int function, int slave, int address, int count, const QVector<quint16> &values,
                const Line &line, const char *reason = "-")
{
    SimRequest expected;
    expected.function = function;
    expected.slave = slave;
    expected.address = address;
    expected.count = count;
    expected.values = values;
    expected.baud = line.baud;
    expected.stopBits = line.stopBits;
    expected.odd = line.odd;
    expected.reason = QLatin1String(reason);
    return describe(expected);
}

QString written(int slave, int address, quint16 value, const Line &line = defaultLine)
{
    return request(16, slave, address, 1, { value }, line);
}

// Read all as it goes over the line to a sensor with the pulse constant.
QStringList readAllRequests(int slave, const Line &line)
{
    const auto read = [&](int address, int count) { return request(3, slave, address, count, {}, line); };
    QStringList requests{ read(0x8000, 2), read(0x8002, 2) };
    for (int bit = 0; bit < 6; ++bit)
        requests << read(0x0102, 1);
    for (int address = 0x8004; address <= 0x800A; ++address)
        requests << read(address, 1);
    requests << read(0x8030, 1);
    return requests;
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

// A status timer of delayMs is a coarse timer (when 2 s or more): it may
// fire up to 5 % early, and late on a busy machine.
bool heldAsScheduled(qint64 heldMs, int delayMs)
{
    return heldMs >= delayMs - delayMs / 20 - 100 && heldMs < delayMs + 2000;
}

void empty(QWidget *field)
{
    if (auto *combo = qobject_cast<QComboBox *>(field))
        combo->setCurrentIndex(-1);
    else if (auto *spin = qobject_cast<QAbstractSpinBox *>(field))
        spin->clear();
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
    void initTestCase();
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
    void silentSensorGetsTheSameResetAtEveryAttempt();
    void commandRemovesStatusColoursEvenWhenItFails_data();
    void commandRemovesStatusColoursEvenWhenItFails();

private:
    TestEnvironment environment;
};

void TestWriteAll::initTestCase()
{
    registerImageResources();
}

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
    const QStringList olderFirmware{ written(1, 0x8004, 1), written(1, 0x8005, 1), written(1, 0x8006, 0),
                                     written(1, 0x8007, 1), written(1, 0x8008, 1), written(1, 0x8009, 0),
                                     written(1, 0x800A, 1) };
    QTest::newRow("nothing read yet") << QStringLiteral("0x80010000") << false << QStringList();
    QTest::newRow("firmware 01.02-03.04") << QStringLiteral("0x01020304") << true << QStringList();
    QTest::newRow("firmware 80.00-01.23") << QStringLiteral("0x80000123") << true << olderFirmware;
    QTest::newRow("firmware 80.01-00.00") << QStringLiteral("0x80010000") << true
                                          << olderFirmware + QStringList{ written(1, 0x8030, 2949) };
}

void TestWriteAll::writeListFollowsFirmware()
{
    QFETCH(QString, firmware);
    QFETCH(bool, readAllFirst);
    QFETCH(QStringList, requests);

    SensorWindow sensor({ QStringLiteral("--firmware"), firmware });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    ModalAnswerer answerer;
    if (readAllFirst) {
        sensor.click("readAllPushButton");
        QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
        sensor.simulator.clearRequests();
    }
    QVERIFY(widget<QWidget>(&window, "writeAllPushButton")->isEnabled());

    sensor.click("writeAllPushButton");
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    QVERIFY(answerer.boxes().isEmpty());
    // Each parameter is its own transaction, never merged with its
    // neighbours; a parameter the firmware lacks is not sent.
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully sent"));
    QCOMPARE(statusStyle(&window), Good);
    // Values the sensor already had change nothing that is stored: the line
    // stays the one the sensor answered at (stored by a complete Read all).
    const QVariant bitRate = storedSetting(SerialConfig, QStringLiteral("serialBitRate"));
    const QVariant framing = storedSetting(SerialConfig, QStringLiteral("serialDataBitStopParity"));
    QVERIFY(!bitRate.isValid() || bitRate.toInt() == 1);
    QVERIFY(!framing.isValid() || framing.toInt() == 0);

    // Read all's own return to idle would cut the status short; where it
    // did not run, the status stays for its 2 s.
    if (!readAllFirst) {
        const qint64 held = statusHeldFor(&window, QStringLiteral("Values successfully sent"), Good,
                                          sinceWrite, 6000);
        QVERIFY2(heldAsScheduled(held, 2000), qPrintable(QStringLiteral("held for %1 ms").arg(held)));
    }
}

void TestWriteAll::writeAllFollowsTheSensorToItsNewLine()
{
    // A first run: nothing is stored yet, and the Read all tells where the
    // sensor answers before the user types in its new node address.
    SensorWindow sensor({ QStringLiteral("--constperpulse"), QStringLiteral("4096") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(widget<QDoubleSpinBox>(&window, "constantPerPulseDoubleSpinBox")->value(), 2.0);

    // A new node, bit rate and framing at once, and new values for the rest.
    widget<QSpinBox>(&window, "slaveSpinBox")->setValue(5);
    widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(4);            // 115200
    widget<QComboBox>(&window, "databitParityStopComboBox")->setCurrentIndex(2);  // 8O1
    widget<QSpinBox>(&window, "delaySpinBox")->setValue(9);
    widget<QComboBox>(&window, "analogicOutputModeComboBox")->setCurrentIndex(4);
    widget<QComboBox>(&window, "analogicOutputSelectionComboBox")->setCurrentIndex(3);
    widget<QCheckBox>(&window, "PT100ReadingEnableCheckBox")->setChecked(false);
    widget<QDoubleSpinBox>(&window, "constantPerPulseDoubleSpinBox")->setValue(1.44);
    sensor.simulator.clearRequests();

    sensor.click("writeAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    // The node goes to the old address; the bit rate is acknowledged at the
    // old line, the framing at the new bit rate with the old framing, and the
    // rest at the new line and address.
    const Line fastEven = { 115200, 1, false };
    const Line fastOdd = { 115200, 1, true };
    QCOMPARE(describe(sensor.simulator.requests()),
             QStringList({ written(1, 0x8004, 5), written(5, 0x8005, 4), written(5, 0x8006, 2, fastEven),
                           written(5, 0x8007, 9, fastOdd), written(5, 0x8008, 4, fastOdd),
                           written(5, 0x8009, 3, fastOdd), written(5, 0x800A, 0, fastOdd),
                           written(5, 0x8030, 2949, fastOdd) }));
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("slave")).toInt(), 5);
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialBitRate")).toInt(), 4);
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("serialDataBitStopParity")).toInt(), 2);
    QVERIFY(window.isConnectionOpen());
    QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isChecked());
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully sent"));
    QCOMPARE(statusStyle(&window), Good);

    // The window goes on talking to the sensor where it now is.
    sensor.simulator.clearRequests();
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(5, fastOdd));
    QCOMPARE(widget<QSpinBox>(&window, "slaveSpinBox")->value(), 5);
    QCOMPARE(widget<QComboBox>(&window, "bitRateComboBox")->currentIndex(), 4);
    QCOMPARE(widget<QComboBox>(&window, "databitParityStopComboBox")->currentIndex(), 2);
    QCOMPARE(widget<QSpinBox>(&window, "delaySpinBox")->value(), 9);
    QCOMPARE(widget<QComboBox>(&window, "analogicOutputModeComboBox")->currentIndex(), 4);
    QCOMPARE(widget<QComboBox>(&window, "analogicOutputSelectionComboBox")->currentIndex(), 3);
    QVERIFY(!widget<QCheckBox>(&window, "PT100ReadingEnableCheckBox")->isChecked());
    QCOMPARE(widget<QDoubleSpinBox>(&window, "constantPerPulseDoubleSpinBox")->value(), 2949 / 2048.0);

    // The technician quits and starts the program again.
    sensor.pressOpenClose();
    QVERIFY(!window.isConnectionOpen());
    window.close();
    MainWindow restarted;
    QVERIFY(widget<QComboBox>(&restarted, "serialPortComboBox")->currentText().contains(sensor.simulator.name()));
    QCOMPARE(widget<QSpinBox>(&restarted, "slaveSpinBox")->value(), 5);
    QCOMPARE(widget<QComboBox>(&restarted, "bitRateComboBox")->currentIndex(), 4);
    QCOMPARE(widget<QComboBox>(&restarted, "databitParityStopComboBox")->currentIndex(), 2);
    widget<QPushButton>(&restarted, "openClosePushButton")->click();
    QVERIFY(restarted.isConnectionOpen());
    sensor.simulator.clearRequests();
    widget<QPushButton>(&restarted, "readAllPushButton")->click();
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(5, fastOdd));
    QCOMPARE(statusText(&restarted), QStringLiteral("Values successfully retrieved"));
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
            << QStringList{ QStringLiteral("--exception-at"), QStringLiteral("0x8008") } << 1
            << QStringList()
            << QStringLiteral("AnOutputMode, AnOutputSelect, ConstPerPulse");
}

void TestWriteAll::nothingSentWhenAFieldHoldsNoValue()
{
    QFETCH(QStringList, simulatorArgs);
    QFETCH(int, readAllBoxes);
    QFETCH(QStringList, emptied);
    QFETCH(QString, names);

    SensorWindow sensor(simulatorArgs);
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QCOMPARE(answerer.boxes().size(), readAllBoxes);
    QCOMPARE(window.firmware(), 0x80010000u);
    for (const QString &name : emptied)
        empty(widget<QWidget>(&window, qPrintable(name)));
    // New line settings that would be stored, were anything sent.
    widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(4);
    QVERIFY(widget<QWidget>(&window, "writeAllPushButton")->isEnabled());
    const QString statusBefore = statusText(&window);
    answerer.clear();
    sensor.simulator.clearRequests();

    sensor.click("writeAllPushButton");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Nothing sent"));
    QCOMPARE(answerer.boxes().first().icon, int(QMessageBox::Critical));
    const QString text = answerer.boxes().first().text;
    QVERIFY2(text.startsWith(QStringLiteral("These parameters hold no value: %1.").arg(names)), qPrintable(text));
    // Not even the parameters that do hold a value go out.
    QCOMPARE(describe(sensor.simulator.requests()), QStringList());
    QVERIFY(storedSetting(SerialConfig, QStringLiteral("serialBitRate")).toInt() != 4);
    QVERIFY(window.isConnectionOpen());
    QCOMPARE(statusText(&window), statusBefore);
}

void TestWriteAll::lineSettingsStoredWhenReconnectionFails_data()
{
    QTest::addColumn<bool>("portIsNoSerialDevice");
    QTest::addColumn<QString>("lineField");
    QTest::addColumn<int>("newCode");
    QTest::addColumn<QString>("storedKey");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("newBaud");
    QTest::addColumn<int>("newStopBits");

    // The bit rate is acknowledged; the port now selected cannot be opened.
    QTest::newRow("bit rate, port is no serial device")
            << true << QStringLiteral("bitRateComboBox") << 4 << QStringLiteral("serialBitRate")
            << QStringList{ written(1, 0x8004, 1), written(1, 0x8005, 4) } << 115200 << 1;
    // The framing is acknowledged; no port is selected any more.
    QTest::newRow("framing, no port selected")
            << false << QStringLiteral("databitParityStopComboBox") << 3 << QStringLiteral("serialDataBitStopParity")
            << QStringList{ written(1, 0x8004, 1), written(1, 0x8005, 1), written(1, 0x8006, 3) } << 19200 << 2;
}

void TestWriteAll::lineSettingsStoredWhenReconnectionFails()
{
    QFETCH(bool, portIsNoSerialDevice);
    QFETCH(QString, lineField);
    QFETCH(int, newCode);
    QFETCH(QString, storedKey);
    QFETCH(QStringList, requests);
    QFETCH(int, newBaud);
    QFETCH(int, newStopBits);

    SensorWindow sensor;
    QVERIFY(sensor.startSimulator());
    QDir().mkpath(virtualPortDirectory());
    const QString notSerial = virtualPortDirectory() + QStringLiteral("/not-a-tty");
    QFile::remove(notSerial);
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), notSerial));
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());

    // The re-connection opens the port selected now, not the one opened.
    auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
    ports->setCurrentIndex(portIsNoSerialDevice ? ports->findText(QStringLiteral("not-a-tty"), Qt::MatchContains)
                                                : -1);
    QCOMPARE(ports->currentIndex() >= 0, portIsNoSerialDevice);
    widget<QComboBox>(&window, qPrintable(lineField))->setCurrentIndex(newCode);
    sensor.simulator.clearRequests();

    sensor.click("writeAllPushButton");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Connection failed"));
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("modbus object has not been initialized."));
    QCOMPARE(describe(sensor.simulator.requests()), requests);
    // The sensor took the new setting: the stored one follows it, so that
    // the next start opens the line where the sensor is.
    QCOMPARE(storedSetting(SerialConfig, storedKey).toInt(), newCode);
    {
        MainWindow nextStart;
        QCOMPARE(widget<QComboBox>(&nextStart, qPrintable(lineField))->currentIndex(), newCode);
    }

    // The failed re-connection left no context; the form still shows the
    // port open, and every transfer says why nothing is sent.
    QVERIFY(!window.isConnectionOpen());
    QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isChecked());
    answerer.clear();
    sensor.simulator.clearRequests();
    sensor.click("savePushButton");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Connection failed"));
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("modbus object has not been initialized."));
    QVERIFY(sensor.simulator.requests().isEmpty());

    // Closing and opening the sensor's port again brings it back.
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    answerer.clear();
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    const QList<SimRequest> readAll = sensor.simulator.requests();
    QVERIFY(!readAll.isEmpty());
    QCOMPARE(readAll.first().baud, newBaud);
    QCOMPARE(readAll.first().stopBits, newStopBits);
    QVERIFY(readAll.first().answered);
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
    QFile::remove(notSerial);
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
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    // The form's address is only where reads go; commands go where the
    // sensor answers.
    widget<QSpinBox>(&window, "slaveSpinBox")->setValue(9);

    ModalAnswerer answerer;
    sensor.click(qPrintable(button));
    QElapsedTimer sinceCommand;
    sinceCommand.start();
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(describe(sensor.simulator.requests()), QStringList{ written(7, address, 1) });
    QCOMPARE(storedSetting(SerialConfig, QStringLiteral("slave")).toInt(), 7);
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully sent"));
    QCOMPARE(statusStyle(&window), Good);
    const qint64 held = statusHeldFor(&window, QStringLiteral("Values successfully sent"), Good, sinceCommand,
                                      statusMs + 4000);
    QVERIFY2(heldAsScheduled(held, statusMs), qPrintable(QStringLiteral("held for %1 ms").arg(held)));
}

void TestWriteAll::silentSensorGetsTheSameResetAtEveryAttempt()
{
    SensorWindow sensor({ QStringLiteral("--silent") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();

    ModalAnswerer answerer;
    sensor.click("resetParamsPushButton");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("I/O error"));
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("I/O error: did not receive any data from slave."));
    const QString unanswered = request(16, 1, 0x8101, 1, { 1 }, defaultLine, "silent");
    QCOMPARE(describe(sensor.simulator.requests()), QStringList({ unanswered, unanswered, unanswered }));
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), Idle);
}

void TestWriteAll::commandRemovesStatusColoursEvenWhenItFails_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("address");

    QTest::newRow("save") << QStringLiteral("savePushButton") << QStringLiteral("0x8100");
    QTest::newRow("reset") << QStringLiteral("resetParamsPushButton") << QStringLiteral("0x8101");
}

void TestWriteAll::commandRemovesStatusColoursEvenWhenItFails()
{
    QFETCH(QString, button);
    QFETCH(QString, address);

    SensorWindow sensor({ QStringLiteral("--exception-at"), address });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    window.show();
    window.activateWindow();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    QVERIFY(answerer.boxes().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(statusText(&window), QStringLiteral("Ready"), 5000);

    const QColor plain = window.palette().color(QPalette::Active, QPalette::Base);
    const auto base = [&](const char *name) {
        return widget<QWidget>(&window, name)->palette().color(QPalette::Active, QPalette::Base);
    };
    const char *const statusFields[] = { "factoryCalibrationLineEdit", "notVolatileParLineEdit",
                                         "digitalInputLineEdit", "PT100StatusLineEdit",
                                         "analogicOutputStatusLineEdit", "watchdogLineEdit" };
    QCOMPARE(base("digitalInputLineEdit"), QColor(Qt::yellow));
    QCOMPARE(base("watchdogLineEdit"), QColor(Qt::green));

    sensor.simulator.clearRequests();
    sensor.click(qPrintable(button));
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Connection failed"));
    QCOMPARE(answerer.boxes().first().text,
             QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented."));
    QCOMPARE(sensor.simulator.requests().size(), 3);
    for (const char *name : statusFields)
        QVERIFY2(base(name) == plain, name);
    // The texts stay; only the colours go.
    QCOMPARE(widget<QLineEdit>(&window, "digitalInputLineEdit")->text(), QStringLiteral("Close"));
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), Idle);
}

QTEST_MAIN(TestWriteAll)
#include "tst_writeall.moc"
