#include "link/commtiming.h"
#include "link/linkthread.h"
#include "link/openfailure.h"
#include "link/transactionerror.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
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

namespace {
// A simulator started with args and a link open on it at 19200 8N1.
struct LinkedSensor
{
    explicit LinkedSensor(const QStringList &args, LineKind kind = LineKind::Serial) : sensor(kind, args) {}
    bool open(const CommTiming &transferTiming)
    {
        link.setTiming(transferTiming);
        return sensor.start() && link.open(sensor.line(), 1, 0);
    }
    TransactionResult read(int address, int count = 1) { return link.readRegisters(1, address, count, words); }

    SimulatorProcess sensor;
    SensorLink link;
    quint16 words[2] = {};
};

// errno of opening path from a child process without root's privileges
// (which would pass over an exclusive hold), or 0 when it opens.
int openErrorForAnotherUser(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = setgid(65534) || setuid(65534) ? -1 : ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd < 0 ? errno : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}

// The sensor line without any window: libmodbus over a pseudo-terminal to
// the sensor simulator.
class TestSensorLink : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void init() { environment.clearSettings(); }

    void classification()
    {
        const struct { int n; int err; TransactionResult result; } rows[] = {
            { 2, 0, ResultOk }, { 1, 0, ResultCountMismatch }, { -1, ETIMEDOUT, ResultNoResponse },
            { -1, EIO, ResultNoResponse }, { -1, int(EMBXILADD), ResultSlaveError }, { -1, EBADF, ResultSlaveError },
            // A gateway's exceptions: the sensor behind it did not answer,
            // and it has no path to the sensor.
            { -1, int(EMBXGTAR), ResultNoResponse }, { -1, int(EMBXGPATH), ResultSlaveError }
        };
        for (const auto &row : rows)
            QVERIFY2(classifyTransfer(row.n, 2, row.err) == row.result,
                     qPrintable(QStringLiteral("%1, errno %2").arg(row.n).arg(row.err)));
    }

    void lineTables()
    {
        // The codes are the sensor's: a wrong row talks to no sensor at all.
        const int bauds[] = { 9600, 19200, 38400, 57600, 115200 };
        for (int code = 0; code < 5; ++code)
            QCOMPARE(lineSettingsForCodes(code, 0).baud, bauds[code]);
        struct Framing { char parity; int dataBits; int stopBits; const char *name; };
        const Framing framings[] = { { 'N', 8, 1, "8N1" }, { 'E', 8, 1, "8E1" }, { 'O', 8, 1, "8O1" },
                                     { 'N', 8, 2, "8N2" } };
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

    // Opens at the line asked for, tells why an open fails, and sees the
    // line lost when the adapter is unplugged.
    void opensAtTheLineTheSensorSees()
    {
        SensorLink link;
        QVERIFY(!link.open(QStringLiteral("/dev/kelvaset-no-such-port"), 1, 0));
        QCOMPARE(link.openError(), ENOENT);
        QVERIFY(!link.isOpen());
        // Codes that name no line open nothing.
        QVERIFY(!link.open(QStringLiteral("/dev/null"), 5, 0));
        QVERIFY(!link.isOpen());

        SimulatorProcess sensor({ "--bitrate", "4", "--serialconf", "3" });
        QVERIFY(sensor.start());
        quint16 words[2] = {};
        // 8O1 against a sensor at 8N2: it hears nothing it would answer.
        QVERIFY(link.open(sensor.linkPath(), 4, 2));
        link.setTiming(CommTiming{ 30, 30, 1, 0 });
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
        QVERIFY(!link.isLineLost());
        sensor.vanish();
        QVERIFY(link.readRegisters(1, 0x8000, 2, words) != ResultOk);
        QVERIFY(link.isLineLost());
        link.close();
        QVERIFY(!link.isOpen());
        QCOMPARE(int(link.readRegisters(1, 0x8000, 2, words)), int(ResultNoContext));
    }

    void retriesGrowTheTimeouts()
    {
        LinkedSensor silent({ "--silent" });
        QVERIFY(silent.open(CommTiming{ 100, 50, 3, 100 }));
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
        QVERIFY(late.open(CommTiming{ 50, 50, 3, 10 }));
        QCOMPARE(int(late.read(0x8002, 2)), int(ResultOk));
        QCOMPARE(late.words[0], quint16(0x8001));
        QCOMPARE(late.sensor.requests().size(), 3);
    }

    void faultyReplyNeverAnswersAnotherRequest_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<LineKind>("kind");
        // The second request's reply goes wrong; the timeout is 25 ms. Over
        // Modbus TCP a late or repeated reply carries an older transaction
        // id, and the gateway answers a garbled one with exception 11.
        const struct { const char *name; QStringList fault; } faults[] = {
            { "late", { "--late-reply-at", "2:45" } }, { "duplicated", { "--duplicate-reply-at", "2" } },
            { "garbled", { "--garbage-at", "2" } }, { "byte gap", { "--byte-gap-at", "2:60" } } };
        const struct { const char *name; LineKind kind; } kinds[] = {
            { "serial", LineKind::Serial }, { "modbus tcp", LineKind::ModbusTcp },
            { "rtu over tcp", LineKind::RtuOverTcp } };
        for (const auto &fault : faults)
            for (const auto &kind : kinds)
                QTest::addRow("%s, %s", fault.name, kind.name) << fault.fault << kind.kind;
    }
    void faultyReplyNeverAnswersAnotherRequest()
    {
        QFETCH(QStringList, fault);
        QFETCH(LineKind, kind);
        // Every register read below holds a value of its own.
        LinkedSensor sensor(QStringList{ "--delay", "7", "--anmode", "3", "--anselect", "2", "--constperpulse", "1234" }
                            + fault, kind);
        QVERIFY(sensor.open(CommTiming{ 25, 25, 3, 5, 25, 25 }));
        const struct { int address; quint16 value; } registers[] = {
            { 0x0102, 0x1B }, { 0x8007, 7 }, { 0x8008, 3 }, { 0x8009, 2 }, { 0x8030, 1234 }, { 0x8004, 1 }
        };
        QStringList wrong;
        for (const auto &reg : registers) {
            // A request may fail, but never take another one's value.
            const TransactionResult result = sensor.read(reg.address);
            if (result != ResultOk || sensor.words[0] != reg.value)
                wrong << QStringLiteral("0x%1: result %2, value %3")
                                 .arg(reg.address, 0, 16).arg(result).arg(sensor.words[0]);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
        const QList<SimRequest> requests = sensor.sensor.requests();
        QVERIFY(std::any_of(requests.cbegin(), requests.cend(),
                            [](const SimRequest &request) { return request.reason != QLatin1String("-"); }));
    }

    // Each kind of line carries reads and writes; the gateway's serial side
    // stays at the line it was set to, and a network line is opened once.
    void readsAndWritesOnEveryKindOfLine_data() { addLineKindRows(); }
    void readsAndWritesOnEveryKindOfLine()
    {
        QFETCH(LineKind, kind);
        LinkedSensor sensor({ "--serial", "4242" }, kind);
        QVERIFY(sensor.open(CommTiming{ 30, 30, 2, 0, 200, 50 }));
        QCOMPARE(int(sensor.read(0x8000, 2)), int(ResultOk));
        QCOMPARE(sensor.words[0], quint16(4242));
        const quint16 delay = 9;
        QCOMPARE(int(sensor.link.writeRegisters(1, 0x8007, 1, &delay)), int(ResultOk));
        QCOMPARE(int(sensor.read(0x8007)), int(ResultOk));
        QCOMPARE(sensor.words[0], delay);
        // Another address is answered by nobody, on every line alike.
        quint16 words[2] = {};
        QCOMPARE(int(sensor.link.readRegisters(2, 0x8000, 2, words)), int(ResultNoResponse));
        QCOMPARE(sensor.link.counts(1).answered, 3);
        QCOMPARE(sensor.link.isNetworkLine(), kind != LineKind::Serial);
        if (kind == LineKind::Serial)
            return;
        SensorLink second;
        QVERIFY(!second.open(sensor.sensor.line(), 1, 0));
        QCOMPARE(second.openError(), EBUSY);
        sensor.link.close();
        QVERIFY(second.open(sensor.sensor.line(), 1, 0));
    }

    void gatewayFaultsAreNamed()
    {
        // Down: the connection is refused, and the message names the gateway.
        SimulatorProcess down(LineKind::ModbusTcp, { "--refuse-connections" });
        QVERIFY(down.start());
        SensorLink link;
        QVERIFY(!link.open(down.line(), 1, 0));
        QCOMPARE(link.openError(), ECONNREFUSED);
        NetworkLine gateway;
        QVERIFY(NetworkLine::parse(down.line(), &gateway));
        QVERIFY(openFailureReason(link.openError(), down.line())
                        .contains(QStringLiteral("gateway at 127.0.0.1:%1 does not answer").arg(gateway.port)));

        // Exception 10 for a unit it has no path to, 11 for a silent sensor.
        LinkedSensor sensor({ "--no-path", "5" }, LineKind::ModbusTcp);
        QVERIFY(sensor.open(CommTiming{ 30, 30, 2, 0, 200, 50 }));
        quint16 words[2] = {};
        QCOMPARE(int(sensor.link.readRegisters(5, 0x8000, 2, words)), int(ResultSlaveError));
        QCOMPARE(sensor.link.lastError(), int(EMBXGPATH));
        QVERIFY(transactionErrorMessage(ResultSlaveError, sensor.link.lastError()).text.contains("no path"));
        QCOMPARE(int(sensor.link.readRegisters(7, 0x8000, 2, words)), int(ResultNoResponse));
        QCOMPARE(sensor.link.lastError(), int(EMBXGTAR));
        QVERIFY(transactionErrorMessage(ResultNoResponse, sensor.link.lastError()).text.contains("did not answer"));
        QVERIFY(sensor.sensor.requests().size() == 2);    // exception 10 puts nothing on the line
        QVERIFY(!sensor.link.isLineLost());
    }

    // A gateway that closes the connection is a lost line, as an unplugged
    // adapter is; it is opened again once the gateway is back.
    void closedConnectionIsALostLine_data()
    {
        QTest::addColumn<LineKind>("kind");
        QTest::newRow("modbus tcp") << LineKind::ModbusTcp;
        QTest::newRow("rtu over tcp") << LineKind::RtuOverTcp;
    }
    void closedConnectionIsALostLine()
    {
        QFETCH(LineKind, kind);
        LinkedSensor sensor({ "--close-after", "2:300" }, kind);
        QVERIFY(sensor.open(CommTiming{ 30, 30, 3, 0, 200, 50 }));
        QCOMPARE(int(sensor.read(0x8000, 2)), int(ResultOk));
        QCOMPARE(int(sensor.read(0x8000, 2)), int(ResultOk));
        QVERIFY(sensor.read(0x8000, 2) != ResultOk);
        QVERIFY(sensor.link.isLineLost());
        // Rebooting: refused for a while, then back.
        QVERIFY(!sensor.link.open(sensor.sensor.line(), 1, 0));
        QCOMPARE(sensor.link.openError(), ECONNREFUSED);
        QTRY_VERIFY(sensor.link.open(sensor.sensor.line(), 1, 0));
        QCOMPARE(int(sensor.read(0x8000, 2)), int(ResultOk));
    }

    void cancelEndsAfterTheCurrentAttempt()
    {
        SimulatorProcess sensor({ "--silent" });
        QVERIFY(sensor.start());
        LinkThread thread;
        bool opened = false;
        thread.run([&](SensorLink &link) {
            opened = link.open(sensor.linkPath(), 1, 0);
            link.setTiming(CommTiming{ 400, 400, 10, 0 });
        });
        QTRY_VERIFY(!thread.isBusy());
        QVERIFY(opened);

        TransactionResult result = ResultOk;
        bool completed = false;
        const auto read = [&](SensorLink &link) {
            quint16 words[2] = {};
            result = link.readRegisters(1, 0x8000, 2, words);
        };
        thread.run(read, [&] { completed = true; });
        QTRY_COMPARE(sensor.requests().size(), 1);
        thread.cancel();
        QTRY_VERIFY(completed);
        QVERIFY(result != ResultOk);
        QCOMPARE(sensor.requests().size(), 1);

        // Jobs queued after the cancel run as usual: both attempts go out.
        thread.run([&](SensorLink &link) { link.setTiming(CommTiming{ 20, 20, 2, 0 }); });
        thread.run(read);
        QTRY_VERIFY(!thread.isBusy());
        QCOMPARE(sensor.requests().size(), 3);
    }

    void openPortIsHeldExclusively()
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
};

QTEST_GUILESS_MAIN(TestSensorLink)
#include "tst_sensorlink.moc"
