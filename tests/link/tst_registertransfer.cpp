#include "link/commtiming.h"
#include "link/registertransfer.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "testenvironment.h"

#include <QSettings>
#include <QtTest>

#include <cerrno>

// The retry loop, its timeouts and the classification of a request's
// outcome, on a real (unopened) libmodbus context.
class TestRegisterTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void classification_data();
    void classification();
    void retriesGrowBothTimeouts_data();
    void retriesGrowBothTimeouts();
    void stopsAtFirstSuccess();
    void withoutContextEveryAttemptFailsAtOnce();
    void timingFromDamagedSettingsStaysInRange();
    void errorMessages();
    void deviceNameFromFriendlyName();

private:
    TestEnvironment environment;
};

void TestRegisterTransfer::initTestCase()
{
    environment.clearSettings();
}

void TestRegisterTransfer::classification_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("result");
    QTest::newRow("all registers") << 2 << 0 << int(ResultOk);
    QTest::newRow("fewer registers") << 1 << 0 << int(ResultCountMismatch);
    QTest::newRow("none") << 0 << 0 << int(ResultCountMismatch);
    QTest::newRow("timeout") << -1 << ETIMEDOUT << int(ResultNoResponse);
    QTest::newRow("I/O error") << -1 << EIO << int(ResultNoResponse);
    QTest::newRow("exception") << -1 << int(EMBXILADD) << int(ResultSlaveError);
    QTest::newRow("bad CRC") << -1 << int(EMBBADCRC) << int(ResultSlaveError);
    QTest::newRow("bad file") << -1 << EBADF << int(ResultSlaveError);
}

void TestRegisterTransfer::classification()
{
    QFETCH(int, n);
    QFETCH(int, err);
    QFETCH(int, result);
    QCOMPARE(int(classifyTransfer(n, 2, err)), result);
}

void TestRegisterTransfer::retriesGrowBothTimeouts_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("response");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("increment");
    QTest::newRow("defaults") << 25 << 25 << 3 << 5;
    QTest::newRow("one attempt") << 25 << 25 << 1 << 5;
    // A second and more must reach libmodbus as seconds plus microseconds.
    QTest::newRow("over a second") << 990 << 1500 << 4 << 500;
}

void TestRegisterTransfer::retriesGrowBothTimeouts()
{
    QFETCH(int, request);
    QFETCH(int, response);
    QFETCH(int, retries);
    QFETCH(int, increment);
    modbus_t *context = modbus_new_rtu("/dev/kelvaset-no-such-port", 19200, 'N', 8, 1);
    QVERIFY(context);
    CommTiming timing;
    timing.requestTimeMs = request;
    timing.responseTimeMs = response;
    timing.maxRetries = retries;
    timing.incrementalTimeMs = increment;

    QList<int> responseTimeouts;
    QList<int> byteTimeouts;
    const TransactionResult result = transferWithRetries(context, timing, [&] {
        uint32_t seconds = 0;
        uint32_t micros = 0;
        modbus_get_response_timeout(context, &seconds, &micros);
        responseTimeouts << int(seconds * 1000 + micros / 1000);
        modbus_get_byte_timeout(context, &seconds, &micros);
        byteTimeouts << int(seconds * 1000 + micros / 1000);
        return ResultNoResponse;
    });
    modbus_free(context);

    QCOMPARE(int(result), int(ResultNoResponse));
    QCOMPARE(responseTimeouts.size(), retries);
    for (int i = 0; i < retries; ++i) {
        QCOMPARE(responseTimeouts[i], request + i * increment);
        QCOMPARE(byteTimeouts[i], response + i * increment);
    }
}

void TestRegisterTransfer::stopsAtFirstSuccess()
{
    CommTiming timing;
    int attempts = 0;
    const TransactionResult result = transferWithRetries(nullptr, timing, [&] {
        return ++attempts == 2 ? ResultOk : ResultSlaveError;
    });
    QCOMPARE(int(result), int(ResultOk));
    QCOMPARE(attempts, 2);
}

void TestRegisterTransfer::withoutContextEveryAttemptFailsAtOnce()
{
    CommTiming timing;
    int attempts = 0;
    quint16 buffer[RegisterBufferWords];
    const TransactionResult result = transferWithRetries(nullptr, timing, [&] {
        ++attempts;
        return readRegisterBlock(nullptr, 1, 0x8000, 2, buffer);
    });
    QCOMPARE(int(result), int(ResultNoContext));
    QCOMPARE(attempts, 3);
    QCOMPARE(int(writeRegisterBlock(nullptr, 1, 0x8004, 1, buffer)), int(ResultNoContext));
}

void TestRegisterTransfer::timingFromDamagedSettingsStaysInRange()
{
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("comConfig"));
        settings.setValue(QStringLiteral("requestTimeMs"), -40);
        settings.setValue(QStringLiteral("responseTimeMs"), QStringLiteral("abc"));
        settings.setValue(QStringLiteral("maxRetries"), 1000000);
        settings.setValue(QStringLiteral("incrementalTimeMs"), 99999);
    }
    const CommTiming timing = CommTiming::load();
    QCOMPARE(timing.requestTimeMs, 1);
    QCOMPARE(timing.responseTimeMs, 1);
    QCOMPARE(timing.maxRetries, 10);
    QCOMPARE(timing.incrementalTimeMs, 500);
    environment.clearSettings();

    const CommTiming defaults = CommTiming::load();
    QCOMPARE(defaults.worstCaseReadTimeMs(), 180);
    CommTiming tenRetries = defaults;
    tenRetries.maxRetries = 10;
    QCOMPARE(tenRetries.worstCaseReadTimeMs(), 950);
}

void TestRegisterTransfer::errorMessages()
{
    const TransactionErrorMessage noContext = transactionErrorMessage(ResultNoContext, 0);
    QCOMPARE(noContext.title, QStringLiteral("Connection failed"));
    QCOMPARE(noContext.text, QStringLiteral("modbus object has not been initialized."));
    const TransactionErrorMessage exception = transactionErrorMessage(ResultSlaveError, EMBXILADD);
    QCOMPARE(exception.title, QStringLiteral("Connection failed"));
    QCOMPARE(exception.text, QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented."));
    QCOMPARE(transactionErrorMessage(ResultNoResponse, ETIMEDOUT).title, QStringLiteral("I/O error"));
    QCOMPARE(transactionErrorMessage(ResultCountMismatch, 0).title, QStringLiteral("Protocol error"));
    QVERIFY(transactionErrorMessage(ResultOk, 0).title.isEmpty());
}

void TestRegisterTransfer::deviceNameFromFriendlyName()
{
    QCOMPARE(::deviceNameFromFriendlyName(QStringLiteral("USB Serial Port (COM5)")), QStringLiteral("COM5:"));
    QCOMPARE(::deviceNameFromFriendlyName(QStringLiteral("No parentheses")), QStringLiteral(":"));
    QVERIFY(!isValidBitRateCode(5));
    QVERIFY(!isValidFramingCode(-1));
}

QTEST_GUILESS_MAIN(TestRegisterTransfer)
#include "tst_registertransfer.moc"
