#include "link/sensorlink.h"
#include "ops/readall.h"
#include "session/linesession.h"
#include "ops/writeparameters.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QFile>
#include <QtTest>

namespace {
// The simulator, a link open on it at 19200 8N1, and the line session,
// which a Read all at slave 1 fills unless told not to.
struct Sensor
{
    explicit Sensor(const QStringList &simulatorArgs) : sim(simulatorArgs), session(SerialLineSettings()) {}
    bool connect(bool readAllFirst = true)
    {
        CommTiming timing;
        timing.requestTimeMs = 100;
        timing.responseTimeMs = 50;
        timing.incrementalTimeMs = 20;
        link.setTiming(timing);
        const bool opened = sim.start() && link.open(sim.linkPath(), 1, 0);
        if (opened && readAllFirst) {
            ReadAll read(1);
            read.run(link);
            session.applyReadAll(read);
            verdict = read.verdict();
        }
        sim.clearRequests();
        return opened;
    }
    SensorAddress address() const { return { session.slave(), session.bitRateCode(), session.framingCode() }; }
    WriteParameters writeAll()
    {
        return WriteParameters::writeAll([this](int id) { return session.value(id); }, session.firmwareVersion(),
                                         address());
    }
    QVector<int> answeredLine() const
    {
        const SerialLineSettings &line = session.answeredLine();
        return { line.slave, line.bitRateCode, line.framingCode };
    }
    QStringList requests() const { return describe(sim.requests()); }

    SimulatorProcess sim;
    SensorLink link;
    LineSession session;
    ReadAll::Verdict verdict = ReadAll::Verdict::TransferFailed;
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
    void init() { environment.clearSettings(); }

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
        sensor.session.applyWrite(write);
        // Each parameter is its own transaction, never merged with its
        // neighbours; a parameter the firmware lacks is not sent.
        QCOMPARE(sensor.requests(), requests);
        QVERIFY(!write.failure().failed());
        // Values the sensor already had leave the stored line where the
        // Read all put it: the one the sensor answered at.
        if (!requests.isEmpty())
            QCOMPARE(sensor.answeredLine(), QVector<int>({ 1, 1, 0 }));
    }

    void writeAllFollowsTheSensorToItsNewLine()
    {
        // A first run: nothing is stored yet, and the Read all tells where
        // the sensor answers before the user types in its new node address.
        Sensor sensor({ "--constperpulse", "4096" });
        QVERIFY(sensor.connect());
        // A new node, bit rate (115200) and framing (8O1) at once, and new
        // values for the rest.
        const QVector<QPair<int, QVariant>> edits{ { IdNode, 5 }, { IdDelay, 9 }, { IdBitRate, 4 },
                                                   { IdSerialConf, 2 }, { IdAnOutputMode, 4 },
                                                   { IdAnOutputSelect, 3 }, { IdPT100Enable, 0 },
                                                   { IdConstPerPulse, 1.44 } };
        for (const auto &edit : edits)
            sensor.session.setUserValue(edit.first, edit.second);
        WriteParameters write = sensor.writeAll();
        write.run(sensor.link);
        sensor.session.applyWrite(write);
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
        QCOMPARE(sensor.answeredLine(), QVector<int>({ 5, 4, 2 }));
        sensor.sim.clearRequests();
        ReadAll readAgain(sensor.session.readAllAddress());
        readAgain.run(sensor.link);
        QCOMPARE(int(readAgain.verdict()), int(ReadAll::Verdict::Success));
        QCOMPARE(sensor.requests(), readAllRequests(true, 5, fastOdd));

        // The form's node is only where reads go; the Save and Reset
        // commands go where the sensor answers.
        sensor.session.setUserValue(IdNode, 9);
        for (int id : { IdNvParSave, IdSWReset }) {
            sensor.sim.clearRequests();
            WriteParameters command = WriteParameters::command(id, sensor.address());
            command.run(sensor.link);
            QVERIFY(!command.failure().failed());
            QCOMPARE(sensor.requests(), QStringList(simWrite(5, id == IdNvParSave ? 0x8100 : 0x8101, 1, fastOdd)));
        }
    }

    void lostAcknowledgementIsSettledByAsking()
    {
        // The sensor takes the new bit rate, but its acknowledgement comes
        // too late (frame 18: after the 16 reads of Read all and the node).
        Sensor sensor({ "--late-reply-at", "18:400" });
        QVERIFY(sensor.connect());
        sensor.session.setUserValue(IdBitRate, 4);
        WriteParameters write = sensor.writeAll();
        write.run(sensor.link);
        sensor.session.applyWrite(write);
        QVERIFY2(!write.failure().failed(), qPrintable(write.lostAcknowledgement()));
        QVERIFY(write.lostAcknowledgement().contains(QStringLiteral("115200 8N1")));
        QCOMPARE(write.notWritten(), QStringList());
        QCOMPARE(sensor.answeredLine(), QVector<int>({ 1, 4, 0 }));
        QCOMPARE(sensor.session.bitRateCode(), 4);
        // The rest went to the sensor at its new line.
        QCOMPARE(sensor.requests().last(), simWrite(1, 0x8030, 2949, { 115200, 1, false }));

        // A sensor that refuses it is not followed.
        Sensor deaf({});
        QVERIFY(deaf.connect());
        deaf.session.setUserValue(IdBitRate, 7);
        WriteParameters refused = deaf.writeAll();
        refused.run(deaf.link);
        deaf.session.applyWrite(refused);
        QCOMPARE(refused.written(), QStringList("Node"));
        QVERIFY(refused.lostAcknowledgement().startsWith(QStringLiteral("The sensor still answers at 19200 8N1")));
        QCOMPARE(deaf.session.bitRateCode(), 1);
    }

    void emptyFieldsAreNamedAndNothingIsSent_data()
    {
        QTest::addColumn<QStringList>("simulatorArgs");
        QTest::addColumn<QStringList>("names");
        // The run stops at AnOutputMode, after the firmware version is
        // known: what it did not reach is not known, whatever another sensor
        // read before left in the session.
        QTest::newRow("Read all stopped early") << QStringList{ "--exception-at", "0x8008" }
                                                << QStringList{ "AnOutputMode", "AnOutputSelect", "PT100Enable",
                                                                "ConstPerPulse" };
    }
    void emptyFieldsAreNamedAndNothingIsSent()
    {
        QFETCH(QStringList, simulatorArgs);
        QFETCH(QStringList, names);
        Sensor sensor(simulatorArgs);
        // Another sensor, read in full before, left every value known.
        for (int id : writeAllIds)
            sensor.session.setUserValue(id, 1);
        QVERIFY(sensor.connect());
        WriteParameters write = sensor.writeAll();
        QCOMPARE(write.unknownParameters(), names);
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
            sensor.session.setUserValue(bitRate ? IdBitRate : IdSerialConf, newCode);
            // The port's device node goes away while the line stays open: the
            // writes still reach the sensor, the re-opening at the new line fails.
            QVERIFY(QFile::remove(sensor.sim.linkPath()));
            WriteParameters write = sensor.writeAll();
            write.run(sensor.link);
            sensor.session.applyWrite(write);
            QCOMPARE(int(write.failure().result), int(ResultNoContext));
            QCOMPARE(write.written(), written);
            QCOMPARE(write.notWritten(), notWritten);
            QCOMPARE(sensor.requests(), requests);
            // The sensor took the new setting: the stored one follows it, so
            // that the next start opens the line where the sensor is.
            QCOMPARE(sensor.answeredLine().at(bitRate ? 1 : 2), newCode);
            QVERIFY(!sensor.link.isOpen());
        }
    }
};

QTEST_MAIN(TestWriteAll)
#include "tst_writeall.moc"
