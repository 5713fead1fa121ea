#include "link/seriallinesettings.h"
#include "link/sensorlink.h"
#include "ops/readall.h"
#include "session/linesession.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QtTest>

// Read all against the sensor simulator: what goes over the line, what the
// line session learns, and how the outcome is judged.
class TestReadAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init();
    void firmwareDecidesWhatIsRead_data();
    void firmwareDecidesWhatIsRead();
    void failedReadStopsTheRun_data();
    void failedReadStopsTheRun();

private:
    // Reads all from a simulator started with args; the requests it saw go
    // to requests.
    ReadAll readAll(const QStringList &args, LineSession &session, QStringList *requests);

    TestEnvironment environment;
};

void TestReadAll::init()
{
    environment.clearSettings();
}

ReadAll TestReadAll::readAll(const QStringList &args, LineSession &session, QStringList *requests)
{
    ReadAll operation(1);
    SimulatorProcess sensor(args);
    SensorLink link;
    if (!sensor.start() || !link.open(sensor.linkPath(), 1, 0))
        return operation;
    operation.run(link);
    *requests = describe(sensor.requests());
    session.applyReadAll(operation);
    return operation;
}

namespace {
// A session whose stored line is not the simulator's, so that taking the
// sensor's line shows.
SerialLineSettings elsewhere()
{
    SerialLineSettings line;
    line.slave = 9;
    return line;
}
}

void TestReadAll::firmwareDecidesWhatIsRead_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<bool>("pulseConstantRead");
    QTest::addColumn<QStringList>("misreport");
    QTest::newRow("current") << "0x80010000" << int(ReadAll::Verdict::Success) << true << QStringList();
    QTest::newRow("without speed") << "0x80000123" << int(ReadAll::Verdict::Success) << false << QStringList();
    QTest::newRow("unknown") << "0x01020304" << int(ReadAll::Verdict::UnknownFirmware) << false << QStringList();
    // A framing code the form has no item for.
    QTest::newRow("unknown framing") << "0x80010000" << int(ReadAll::Verdict::UnknownLineCode) << true
                                     << QStringList{ "--misreport", "0x8006:9" };
}

void TestReadAll::firmwareDecidesWhatIsRead()
{
    QFETCH(QString, firmware);
    QFETCH(int, verdict);
    QFETCH(bool, pulseConstantRead);
    QFETCH(QStringList, misreport);

    LineSession session(elsewhere());
    QStringList requests;
    const ReadAll operation = readAll(QStringList{ "--firmware", firmware, "--node", "1", "--delay", "7" }
                                              + misreport, session, &requests);
    QCOMPARE(int(operation.verdict()), verdict);
    QCOMPARE(session.firmwareVersion(), firmware.toUInt(nullptr, 16));
    QCOMPARE(session.serialNumber(), 9000u);
    // A sensor without the pulse constant would reject 0x8030: never asked.
    QCOMPARE(requests, readAllRequests(pulseConstantRead));
    QCOMPARE(session.value(IdDelay).value.output.toInt(), 7);
    QCOMPARE(session.value(IdConstPerPulse).isKnown(), pulseConstantRead);
    // Only a sensor the program knows gives the line later writes go to.
    const bool success = verdict == int(ReadAll::Verdict::Success);
    QCOMPARE(session.answeredLine().slave, success ? 1 : 9);
    QCOMPARE(session.slave(), success ? 1 : 9);
    if (!misreport.isEmpty())
        QCOMPARE(operation.unknownParameter() + QString::number(operation.unknownCode()),
                 QStringLiteral("SerialConf9"));
}

void TestReadAll::failedReadStopsTheRun_data()
{
    QTest::addColumn<QStringList>("simulatorArgs");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("serialNumber");

    const QString rejected = simRequest(3, 1, 0x8002, 2, {}, {}, "exception-2");
    QTest::newRow("firmware register rejected")
            << QStringList{ QStringLiteral("--exception-at"), QStringLiteral("0x8002") } << int(ResultSlaveError)
            << QStringList{ simRequest(3, 1, 0x8000, 2), rejected, rejected, rejected } << QStringLiteral("9000");
    const QString unanswered = simRequest(3, 1, 0x8000, 2, {}, {}, "silent");
    QTest::newRow("silent sensor") << QStringList{ QStringLiteral("--silent") } << int(ResultNoResponse)
                                   << QStringList{ unanswered, unanswered, unanswered } << QString();
}

void TestReadAll::failedReadStopsTheRun()
{
    QFETCH(QStringList, simulatorArgs);
    QFETCH(int, result);
    QFETCH(QStringList, requests);
    QFETCH(QString, serialNumber);

    LineSession session(elsewhere());
    QStringList sent;
    const ReadAll operation = readAll(simulatorArgs, session, &sent);
    QCOMPARE(int(operation.verdict()), int(ReadAll::Verdict::TransferFailed));
    QCOMPARE(int(operation.failure().result), result);
    // The run ends at the failed parameter: nothing after it is asked for,
    // what came before is known, nothing is stored.
    QCOMPARE(sent, requests);
    QCOMPARE(session.value(IdSerialNumber).value.display.toString(), serialNumber);
    QVERIFY(!session.value(IdFWVersion).isKnown());
    QCOMPARE(session.answeredLine().slave, 9);
}

QTEST_MAIN(TestReadAll)
#include "tst_readall.moc"
