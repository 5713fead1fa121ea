#include "link/sensorlink.h"
#include "mainform.h"
#include "ops/readall.h"
#include "ops/writeparameters.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QFile>
#include <QtTest>

namespace {
int stored(const char *key) { return storedSetting(QStringLiteral("serialConfig"), QLatin1String(key)).toInt(); }

// The simulator, a link open on it at 19200 8N1, and the form, which a Read
// all at slave 1 fills as the technician's would unless told not to.
struct Sensor
{
    explicit Sensor(const QStringList &simulatorArgs) : sim(simulatorArgs) {}
    bool connect(bool readAllFirst = true)
    {
        const bool opened = sim.start() && link.open(sim.linkPath(), 1, 0);
        if (opened && readAllFirst) {
            ReadAll read(1);
            read.run(link);
            outcome = read.finish(form.parameters);
        }
        sim.clearRequests();
        return opened;
    }
    WriteParameters writeAll() { return WriteParameters::writeAll(form.parameters, outcome.firmwareVersion); }
    QStringList requests() const { return describe(sim.requests()); }

    SimulatorProcess sim;
    SensorLink link;
    MainForm form;
    ReadAll::Outcome outcome;
};
}

// Write all and the Save and Reset commands on the form alone, against the
// sensor simulator: what goes over the line, on which line and at which
// slave address, and where the stored settings and the link end up.
class TestWriteAll : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void initTestCase() { registerImageResources(); }
    void init() { environment.clearSettings(); storeTransferTiming(100, 50, 3, 20); }

    void writeListFollowsFirmware_data()
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
        QTest::newRow("nothing read yet") << "0x80010000" << false << QStringList();
        QTest::newRow("firmware 01.02-03.04") << "0x01020304" << true << QStringList();
        QTest::newRow("firmware 80.00-01.23") << "0x80000123" << true << olderFirmware;
        QTest::newRow("firmware 80.01-00.00") << "0x80010000" << true
                                              << olderFirmware + QStringList(simWrite(1, 0x8030, 2949));
    }
    void writeListFollowsFirmware()
    {
        QFETCH(QString, firmware);
        QFETCH(bool, readAllFirst);
        QFETCH(QStringList, requests);
        Sensor sensor({ "--firmware", firmware });
        QVERIFY(sensor.connect(readAllFirst));
        WriteParameters write = sensor.writeAll();
        QCOMPARE(write.hasNothingToSend(), requests.isEmpty());
        write.run(sensor.link);
        // Each parameter is its own transaction, never merged with its
        // neighbours; a parameter the firmware lacks is not sent.
        QCOMPARE(sensor.requests(), requests);
        QVERIFY(!write.failure().failed());
        // Values the sensor already had leave the stored line where the
        // Read all put it: the one the sensor answered at.
        if (!requests.isEmpty())
            QCOMPARE(QVector<int>({ stored("serialBitRate"), stored("serialDataBitStopParity") }),
                     QVector<int>({ 1, 0 }));
    }

    void writeAllFollowsTheSensorToItsNewLine()
    {
        // A first run: nothing is stored yet, and the Read all tells where
        // the sensor answers before the user types in its new node address.
        Sensor sensor({ "--constperpulse", "4096" });
        QVERIFY(sensor.connect());
        // A new node, bit rate (115200) and framing (8O1) at once, and new
        // values for the rest.
        Ui::MainWindowClass &ui = sensor.form.ui;
        ui.slaveSpinBox->setValue(5);
        ui.delaySpinBox->setValue(9);
        ui.bitRateComboBox->setCurrentIndex(4);
        ui.databitParityStopComboBox->setCurrentIndex(2);
        ui.analogicOutputModeComboBox->setCurrentIndex(4);
        ui.analogicOutputSelectionComboBox->setCurrentIndex(3);
        ui.PT100ReadingEnableCheckBox->setChecked(false);
        ui.constantPerPulseDoubleSpinBox->setValue(1.44);
        WriteParameters write = sensor.writeAll();
        write.run(sensor.link);
        QVERIFY(!write.failure().failed());
        // The node goes to the old address; the bit rate is acknowledged at
        // the old line, the framing at the new bit rate with the old framing,
        // and the rest at the new line and address.
        const SimLine fastEven = { 115200, 1, false }, fastOdd = { 115200, 1, true };
        QCOMPARE(sensor.requests(),
                 QStringList({ simWrite(1, 0x8004, 5), simWrite(5, 0x8005, 4), simWrite(5, 0x8006, 2, fastEven),
                               simWrite(5, 0x8007, 9, fastOdd), simWrite(5, 0x8008, 4, fastOdd),
                               simWrite(5, 0x8009, 3, fastOdd), simWrite(5, 0x800A, 0, fastOdd),
                               simWrite(5, 0x8030, 2949, fastOdd) }));
        // The next start opens the line where the sensor now is; this run
        // goes on with the same port, re-opened at the new line, as the Read
        // all below shows.
        QCOMPARE(QVector<int>({ stored("slave"), stored("serialBitRate"), stored("serialDataBitStopParity") }),
                 QVector<int>({ 5, 4, 2 }));
        sensor.sim.clearRequests();
        ReadAll readAgain(5);
        readAgain.run(sensor.link);
        QCOMPARE(int(readAgain.finish(sensor.form.parameters).verdict), int(ReadAll::Verdict::Success));
        QCOMPARE(sensor.requests(), readAllRequests(true, 5, fastOdd));

        // The form's address is only where reads go; the Save and Reset
        // commands go where the sensor answers, the stored slave.
        ui.slaveSpinBox->setValue(9);
        for (int id : { IdNvParSave, IdSWReset }) {
            sensor.sim.clearRequests();
            WriteParameters command = WriteParameters::command(sensor.form.parameters, id);
            command.run(sensor.link);
            QVERIFY(!command.failure().failed());
            QCOMPARE(sensor.requests(), QStringList(simWrite(5, id == IdNvParSave ? 0x8100 : 0x8101, 1, fastOdd)));
        }
    }

    void emptyFieldsAreNamedAndNothingIsSent_data()
    {
        QTest::addColumn<QStringList>("simulatorArgs");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("fields emptied by hand")
                << QStringList() << QStringList{ "Delay", "AnOutputMode", "ConstPerPulse" };
        // The run stops at AnOutputMode, after the firmware version is
        // known: the fields cleared at start are still empty.
        QTest::newRow("Read all stopped early") << QStringList{ "--exception-at", "0x8008" }
                                                << QStringList{ "AnOutputMode", "AnOutputSelect", "ConstPerPulse" };
    }
    void emptyFieldsAreNamedAndNothingIsSent()
    {
        QFETCH(QStringList, simulatorArgs);
        QFETCH(QStringList, names);
        Sensor sensor(simulatorArgs);
        QVERIFY(sensor.connect());
        if (sensor.outcome.verdict == ReadAll::Verdict::Success) {
            sensor.form.ui.delaySpinBox->clear();
            sensor.form.ui.analogicOutputModeComboBox->setCurrentIndex(-1);
            sensor.form.ui.constantPerPulseDoubleSpinBox->clear();
        }
        WriteParameters write = sensor.writeAll();
        QCOMPARE(write.emptyParameters(), names);
        // Not even the parameters that do hold a value go out.
        write.run(sensor.link);
        QCOMPARE(sensor.requests(), QStringList());
    }

    void lineSettingsStoredWhenReconnectionFails()
    {
        const QStringList later{ "Delay", "AnOutputMode", "AnOutputSelect", "PT100Enable", "ConstPerPulse" };
        const struct { bool bitRate; QStringList requests, written, notWritten; } cases[] = {
            { true, { simWrite(1, 0x8004, 1), simWrite(1, 0x8005, 4) }, { "Node", "BitRate" },
              QStringList("SerialConf") + later },
            { false, { simWrite(1, 0x8004, 1), simWrite(1, 0x8005, 1), simWrite(1, 0x8006, 3) },
              { "Node", "BitRate", "SerialConf" }, later }
        };
        for (const auto &[bitRate, requests, written, notWritten] : cases) {
            init();
            Sensor sensor({});
            QVERIFY(sensor.connect());
            const int newCode = bitRate ? 4 : 3;
            QComboBox *box = bitRate ? sensor.form.ui.bitRateComboBox : sensor.form.ui.databitParityStopComboBox;
            box->setCurrentIndex(newCode);
            // The port's device node goes away while the line stays open: the
            // writes still reach the sensor, the re-opening at the new line fails.
            QVERIFY(QFile::remove(sensor.sim.linkPath()));
            WriteParameters write = sensor.writeAll();
            write.run(sensor.link);
            QCOMPARE(int(write.failure().result), int(ResultNoContext));
            QCOMPARE(write.written(), written);
            QCOMPARE(write.notWritten(), notWritten);
            QCOMPARE(sensor.requests(), requests);
            // The sensor took the new setting: the stored one follows it, so
            // that the next start opens the line where the sensor is.
            QCOMPARE(stored(bitRate ? "serialBitRate" : "serialDataBitStopParity"), newCode);
            QVERIFY(!sensor.link.isOpen());
        }
    }
};

QTEST_MAIN(TestWriteAll)
#include "tst_writeall.moc"
