#include "link/seriallinesettings.h"
#include "link/sensorlink.h"
#include "mainform.h"
#include "ops/readall.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QtTest>

// Read all on the form alone, against the sensor simulator: what goes over
// the line, what the form shows, and how the outcome is judged.
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
    ReadAll::Outcome readAll(const QStringList &args, MainForm &form, QStringList *requests);

    TestEnvironment environment;
};

void TestReadAll::init()
{
    environment.clearSettings();
    storeTransferTiming(100, 50, 3, 20);
}

ReadAll::Outcome TestReadAll::readAll(const QStringList &args, MainForm &form, QStringList *requests)
{
    SimulatorProcess sensor(args);
    if (!sensor.start())
        return {};
    SensorLink link;
    if (!link.open(sensor.linkPath(), 1, 0))
        return {};
    ReadAll operation(1);
    operation.run(link);
    *requests = describe(sensor.requests());
    return operation.finish(form.parameters);
}

void TestReadAll::firmwareDecidesWhatIsRead_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<bool>("pulseConstantRead");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QStringList>("misreport");
    QTest::newRow("current") << "0x80010000" << int(ReadAll::Verdict::Success) << true << QStringList()
                             << QStringList();
    QTest::newRow("without speed") << "0x80000123" << int(ReadAll::Verdict::Success) << false
                                   << QStringList{ "ConstPerPulse", "Speed" } << QStringList();
    QStringList all;
    for (const ParameterDescriptor &descriptor : parameterTable)
        all << QLatin1String(descriptor.name);
    QTest::newRow("unknown") << "0x01020304" << int(ReadAll::Verdict::UnknownFirmware) << false << all
                             << QStringList();
    // A framing code the form has no item for.
    QTest::newRow("unknown framing") << "0x80010000" << int(ReadAll::Verdict::UnknownLineCode) << true
                                     << QStringList() << QStringList{ "--misreport", "0x8006:9" };
}

void TestReadAll::firmwareDecidesWhatIsRead()
{
    QFETCH(QString, firmware);
    QFETCH(int, verdict);
    QFETCH(bool, pulseConstantRead);
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, misreport);

    MainForm form;
    QStringList requests;
    const ReadAll::Outcome outcome = readAll(QStringList{ "--firmware", firmware, "--node", "1", "--delay", "7" }
                                                     + misreport, form, &requests);
    QCOMPARE(int(outcome.verdict), verdict);
    QCOMPARE(outcome.firmwareVersion, firmware.toUInt(nullptr, 16));
    // A sensor without the pulse constant would reject 0x8030: never asked.
    QCOMPARE(requests, readAllRequests(pulseConstantRead));
    QCOMPARE(form.disabledParameters(), disabled);
    QCOMPARE(form.ui.delaySpinBox->value(), 7);
    // Only a sensor the program knows gives the line later writes go to.
    const bool success = verdict == int(ReadAll::Verdict::Success);
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).isValid(), success);
    if (!misreport.isEmpty())
        QCOMPARE(outcome.unknownParameter + QString::number(outcome.unknownCode), QStringLiteral("SerialConf9"));
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

    MainForm form;
    const QStringList disabledBefore = form.disabledParameters();
    QStringList sent;
    const ReadAll::Outcome outcome = readAll(simulatorArgs, form, &sent);
    QCOMPARE(int(outcome.verdict), int(ReadAll::Verdict::TransferFailed));
    QCOMPARE(int(outcome.failure.result), result);
    // The run ends at the failed parameter: nothing after it is asked for,
    // what came before is shown, nothing is enabled, disabled or stored.
    QCOMPARE(sent, requests);
    QCOMPARE(form.ui.serialNumberSpinBox->text(), serialNumber);
    QVERIFY(form.ui.FWVersionLineEdit->text().isEmpty());
    QCOMPARE(form.disabledParameters(), disabledBefore);
    QVERIFY(!storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).isValid());
}

QTEST_MAIN(TestReadAll)
#include "tst_readall.moc"
