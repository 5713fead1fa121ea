#include "link/commtiming.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <modbus.h>

// The sensor line without any window: libmodbus over a pseudo-terminal to
// the sensor simulator.
class TestSensorLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void classification_data();
    void classification();
    void lineTables();
    void opensAtTheLineTheSensorSees();
    void openFailureTellsWhy();
    void retriesGrowTheTimeouts();
    void faultyReplyNeverAnswersAnotherRequest_data();
    void faultyReplyNeverAnswersAnotherRequest();
    void unpluggedPortIsSeenAsLost();
    void cancelEndsAfterTheCurrentAttempt();
    void openPortIsHeldExclusively();

private:
    TestEnvironment environment;
};

namespace {
CommTiming timing(int requestMs, int responseMs, int retries, int incrementMs)
{
    CommTiming timing;
    timing.requestTimeMs = requestMs;
    timing.responseTimeMs = responseMs;
    timing.maxRetries = retries;
    timing.incrementalTimeMs = incrementMs;
    return timing;
}

// A simulator started with args and a link open on it at 19200 8N1.
struct LinkedSensor
{
    explicit LinkedSensor(const QStringList &args) : sensor(args) {}
    bool open(const CommTiming &transferTiming)
    {
        link.setTiming(transferTiming);
        return sensor.start() && link.open(sensor.linkPath(), 1, 0);
    }
    TransactionResult read(int address, int count = 1) { return link.readRegisters(1, address, count, words); }

    SimulatorProcess sensor;
    SensorLink link;
    quint16 words[2] = {};
};
}

void TestSensorLink::init()
{
    environment.clearSettings();
}

void TestSensorLink::classification_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("result");
    QTest::newRow("all registers") << 2 << 0 << int(ResultOk);
    QTest::newRow("fewer registers") << 1 << 0 << int(ResultCountMismatch);
    QTest::newRow("timeout") << -1 << ETIMEDOUT << int(ResultNoResponse);
    QTest::newRow("I/O error") << -1 << EIO << int(ResultNoResponse);
    QTest::newRow("exception") << -1 << int(EMBXILADD) << int(ResultSlaveError);
    QTest::newRow("bad file") << -1 << EBADF << int(ResultSlaveError);
}

void TestSensorLink::classification()
{
    QFETCH(int, n);
    QFETCH(int, err);
    QFETCH(int, result);
    QCOMPARE(int(classifyTransfer(n, 2, err)), result);
}

void TestSensorLink::lineTables()
{
    // The codes are the sensor's: a wrong row talks to no sensor at all.
    const int bauds[] = { 9600, 19200, 38400, 57600, 115200 };
    for (int code = 0; code < 5; ++code)
        QCOMPARE(lineSettingsForCodes(code, 0).baud, bauds[code]);
    struct Framing { char parity; int dataBits; int stopBits; const char *name; };
    const Framing framings[] = { { 'N', 8, 1, "8N1" }, { 'E', 8, 1, "8E1" }, { 'O', 8, 1, "8O1" }, { 'N', 8, 2, "8N2" } };
    for (int code = 0; code < 4; ++code) {
        const LineSettings line = lineSettingsForCodes(4, code);
        QCOMPARE(line.baud, 115200);
        QCOMPARE(line.parity, framings[code].parity);
        QCOMPARE(line.dataBits, framings[code].dataBits);
        QCOMPARE(line.stopBits, framings[code].stopBits);
        QCOMPARE(framingName(code), QLatin1String(framings[code].name));
    }
    QVERIFY(!isValidBitRateCode(5));
    QVERIFY(!isValidFramingCode(-1));
}

void TestSensorLink::opensAtTheLineTheSensorSees()
{
    SimulatorProcess sensor({ "--bitrate", "4", "--serialconf", "3" });
    QVERIFY(sensor.start());
    SensorLink link;
    quint16 words[2] = {};
    // 8O1 against a sensor at 8N2: it hears nothing it would answer.
    QVERIFY(link.open(sensor.linkPath(), 4, 2));
    link.setTiming(timing(30, 30, 1, 0));
    QCOMPARE(int(link.readRegisters(1, 0x8000, 2, words)), int(ResultNoResponse));
    QVERIFY(link.open(sensor.linkPath(), 4, 3));
    QCOMPARE(int(link.readRegisters(1, 0x8000, 2, words)), int(ResultOk));
    QCOMPARE(words[0], quint16(9000));
    QCOMPARE(link.device(), sensor.linkPath());
    const QList<SimRequest> requests = sensor.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).odd, true);
    QCOMPARE(requests.at(1).baud, 115200);
    QCOMPARE(requests.at(1).stopBits, 2);
    QCOMPARE(requests.at(1).odd, false);
    link.close();
    QVERIFY(!link.isOpen());
    QCOMPARE(int(link.readRegisters(1, 0x8000, 2, words)), int(ResultNoContext));
}

void TestSensorLink::openFailureTellsWhy()
{
    SensorLink link;
    QVERIFY(!link.open(QStringLiteral("/dev/kelvaset-no-such-port"), 1, 0));
    QCOMPARE(link.openError(), ENOENT);
    QVERIFY(!link.isOpen());
    // Codes that name no line open nothing.
    QVERIFY(!link.open(QStringLiteral("/dev/null"), 5, 0));
    QVERIFY(!link.isOpen());
}

void TestSensorLink::retriesGrowTheTimeouts()
{
    LinkedSensor silent({ "--silent" });
    QVERIFY(silent.open(timing(100, 50, 3, 100)));
    QCOMPARE(int(silent.read(0x8000, 2)), int(ResultNoResponse));
    const QList<SimRequest> requests = silent.sensor.requests();
    QCOMPARE(requests.size(), 3);
    // Each attempt waits its response timeout plus the drain of the one
    // before: 100 + 100, then 200 + 200 ms, give or take the machine.
    const qint64 firstGapMs = (requests.at(1).timeUs - requests.at(0).timeUs) / 1000;
    const qint64 secondGapMs = (requests.at(2).timeUs - requests.at(1).timeUs) / 1000;
    QVERIFY2(firstGapMs >= 195 && secondGapMs >= 395 && secondGapMs > firstGapMs + 150,
             qPrintable(QStringLiteral("%1 ms, %2 ms").arg(firstGapMs).arg(secondGapMs)));

    // A sensor that answers the third time is a success.
    LinkedSensor late({ "--answer-from", "3" });
    QVERIFY(late.open(timing(50, 50, 3, 10)));
    QCOMPARE(int(late.read(0x8002, 2)), int(ResultOk));
    QCOMPARE(late.words[0], quint16(0x8001));
    QCOMPARE(late.sensor.requests().size(), 3);

    // An exception is retried too, and named.
    LinkedSensor refusing({ "--exception-at", "0x8002" });
    QVERIFY(refusing.open(timing(50, 50, 2, 10)));
    QCOMPARE(int(refusing.read(0x8002, 2)), int(ResultSlaveError));
    QCOMPARE(refusing.sensor.requests().size(), 2);
    QCOMPARE(transactionErrorMessage(ResultSlaveError, refusing.link.lastError()).text,
             QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented."));
}

void TestSensorLink::faultyReplyNeverAnswersAnotherRequest_data()
{
    QTest::addColumn<QStringList>("fault");
    // The second request's reply goes wrong; the timeout is 25 ms.
    QTest::newRow("late") << QStringList{ QStringLiteral("--late-reply-at"), QStringLiteral("2:45") };
    QTest::newRow("duplicated") << QStringList{ QStringLiteral("--duplicate-reply-at"), QStringLiteral("2") };
    QTest::newRow("garbled") << QStringList{ QStringLiteral("--garbage-at"), QStringLiteral("2") };
    QTest::newRow("byte gap") << QStringList{ QStringLiteral("--byte-gap-at"), QStringLiteral("2:60") };
}

void TestSensorLink::faultyReplyNeverAnswersAnotherRequest()
{
    QFETCH(QStringList, fault);
    // Every register read below holds a value of its own.
    LinkedSensor sensor(QStringList{ "--delay", "7", "--anmode", "3", "--anselect", "2", "--constperpulse", "1234" }
                        + fault);
    QVERIFY(sensor.open(timing(25, 25, 3, 5)));
    const struct { int address; quint16 value; } registers[] = {
        { 0x0102, 0x1B }, { 0x8007, 7 }, { 0x8008, 3 }, { 0x8009, 2 }, { 0x8030, 1234 }, { 0x8004, 1 }
    };
    QStringList wrong;
    for (const auto &reg : registers) {
        // A request may fail, but never take another one's value.
        const TransactionResult result = sensor.read(reg.address);
        if (result != ResultOk || sensor.words[0] != reg.value)
            wrong << QStringLiteral("0x%1: result %2, value %3").arg(reg.address, 0, 16).arg(result).arg(sensor.words[0]);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    const QList<SimRequest> requests = sensor.sensor.requests();
    QVERIFY(std::any_of(requests.cbegin(), requests.cend(),
                        [](const SimRequest &request) { return request.reason != QLatin1String("-"); }));
}

void TestSensorLink::unpluggedPortIsSeenAsLost()
{
    LinkedSensor sensor({});
    QVERIFY(sensor.open(timing(50, 50, 3, 10)));
    QCOMPARE(int(sensor.read(0x8000, 2)), int(ResultOk));
    QVERIFY(!sensor.link.isLineLost());
    sensor.sensor.vanish();
    QVERIFY(sensor.read(0x8000, 2) != ResultOk);
    QVERIFY(sensor.link.isLineLost());
}

void TestSensorLink::cancelEndsAfterTheCurrentAttempt()
{
    SimulatorProcess sensor({ "--silent" });
    QVERIFY(sensor.start());
    LinkThread thread;
    bool opened = false;
    thread.run([&](SensorLink &link) {
        opened = link.open(sensor.linkPath(), 1, 0);
        link.setTiming(timing(400, 400, 10, 0));
    });
    QTRY_VERIFY(!thread.isBusy());
    QVERIFY(opened);

    TransactionResult result = ResultOk;
    bool completed = false;
    thread.run([&](SensorLink &link) {
        quint16 words[2] = {};
        result = link.readRegisters(1, 0x8000, 2, words);
    }, [&] { completed = true; });
    QTRY_COMPARE(sensor.requests().size(), 1);
    thread.cancel();
    QTRY_VERIFY(completed);
    QVERIFY(result != ResultOk);
    QCOMPARE(sensor.requests().size(), 1);

    // Jobs queued after the cancel run as usual.
    int attempts = 0;
    thread.run([&](SensorLink &link) {
        link.setTiming(timing(20, 20, 2, 0));
        quint16 words[2] = {};
        link.readRegisters(1, 0x8000, 2, words);
        attempts = 2;
    });
    QTRY_VERIFY(!thread.isBusy());
    QCOMPARE(attempts, 2);
    QCOMPARE(sensor.requests().size(), 3);
}

// errno of opening path from a child process without root's privileges
// (which would pass over an exclusive hold), or 0 when it opens.
static int openErrorForAnotherUser(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(255);
        const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd < 0 ? errno : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TestSensorLink::openPortIsHeldExclusively()
{
    if (geteuid() != 0)
        QSKIP("needs root to open the port as another user");
    SimulatorProcess sensor;
    QVERIFY(sensor.start());
    const QString device = QFileInfo(sensor.linkPath()).symLinkTarget();
    QVERIFY(QFile::setPermissions(device, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                                  | QFileDevice::WriteOther));
    QCOMPARE(openErrorForAnotherUser(device), 0);
    SensorLink link;
    QVERIFY(link.open(sensor.linkPath(), 1, 0));
    // Two masters on one bus would garble each other's frames.
    QCOMPARE(openErrorForAnotherUser(device), EBUSY);
    link.close();
    QCOMPARE(openErrorForAnotherUser(device), 0);
}

QTEST_GUILESS_MAIN(TestSensorLink)
#include "tst_sensorlink.moc"
