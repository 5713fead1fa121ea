// What the program's own end-to-end tests do not show of the simulator: the
// exact bytes it puts on the line, the exception it gives each kind of
// refused request, the requests it must not answer, its saved state across a
// restart, an unplugged port and the faults that strike one reply only.

#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

#include <modbus.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int NodeRegister = 0x8004;
const int DelayRegister = 0x8007;
const int SaveCommand = 0x8100;

// A libmodbus master on the simulator's port, as the program opens it.
class Master
{
public:
    Master(const QString &device, int baud = 19200, char parity = 'N', int stopBits = 1)
        : context(modbus_new_rtu(QFile::encodeName(device).constData(), baud, parity, 8, stopBits))
    {
        QVERIFY(context && modbus_connect(context) == 0);
        modbus_set_slave(context, 1);
        modbus_set_response_timeout(context, 0, 500000);
    }
    ~Master()
    {
        modbus_close(context);
        modbus_free(context);
    }
    modbus_t *context;

    QVector<quint16> read(int address, int count)
    {
        QVector<quint16> words(count);
        if (modbus_read_registers(context, address, count, words.data()) != count)
            words.clear();
        return words;
    }
    bool silentAt(int slave)
    {
        modbus_set_slave(context, slave);
        modbus_set_response_timeout(context, 0, 150000);
        return read(NodeRegister, 1).isEmpty() && errno == ETIMEDOUT;
    }
    // The libmodbus error text of a refused write, empty when accepted.
    QString refusal(int address, const QVector<quint16> &words)
    {
        if (modbus_write_registers(context, address, words.size(), words.constData()) == words.size())
            return QString();
        return QString::fromLocal8Bit(modbus_strerror(errno));
    }
};

qint64 monotonicUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The Modbus check, worked out here apart from the simulator's own.
bool checkHolds(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    quint16 crc = 0xFFFF;
    for (int i = 0; i < frame.size() - 2; ++i) {
        crc ^= quint8(frame.at(i));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return quint8(frame.at(frame.size() - 2)) == (crc & 0xFF) && quint8(frame.at(frame.size() - 1)) == (crc >> 8);
}

// What came back for a request, with the times the simulator's log uses.
struct Arrival
{
    QByteArray bytes;
    qint64 firstByteUs = -1;        // CLOCK_MONOTONIC
    qint64 longestPauseUs = 0;      // between two pieces of it
};

// The simulator's port opened raw at 19200 8N1, for exchanges byte by byte.
class RawPort
{
public:
    explicit RawPort(const QString &device)
        : descriptor(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY))
    {
        termios settings;
        tcgetattr(descriptor, &settings);
        cfmakeraw(&settings);
        cfsetspeed(&settings, B19200);
        tcsetattr(descriptor, TCSANOW, &settings);
    }
    ~RawPort() { ::close(descriptor); }

    // Returns when it was sent, on the clock of the simulator's log.
    qint64 send(const QByteArray &frame)
    {
        const qint64 sentUs = monotonicUs();
        if (::write(descriptor, frame.constData(), size_t(frame.size())) != frame.size())
            qWarning("RawPort: a request could not be written");
        return sentUs;
    }
    // Reads until at least `count` bytes have come or `timeoutMs` is over.
    Arrival receive(int count, int timeoutMs) { return read(count, timeoutMs, -1); }
    // Reads until the line has been quiet for `quietMs`.
    Arrival drain(int quietMs) { return read(INT_MAX, -1, quietMs); }

private:
    Arrival read(int count, int timeoutMs, int quietMs)
    {
        Arrival arrival;
        QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
        qint64 lastPieceUs = -1;
        while (arrival.bytes.size() < count) {
            const int waitMs = quietMs >= 0 ? quietMs : int(qMax<qint64>(0, deadline.remainingTime()));
            pollfd ready = { descriptor, POLLIN, 0 };
            char buffer[256];
            ssize_t length = 0;
            if (::poll(&ready, 1, waitMs) <= 0 || (length = ::read(descriptor, buffer, sizeof buffer)) <= 0)
                break;
            const qint64 nowUs = monotonicUs();
            if (lastPieceUs < 0)
                arrival.firstByteUs = nowUs;
            else
                arrival.longestPauseUs = qMax(arrival.longestPauseUs, nowUs - lastPieceUs);
            lastPieceUs = nowUs;
            arrival.bytes.append(buffer, int(length));
        }
        return arrival;
    }

    int descriptor;
};

} // namespace

class TestSensorSim : public QObject
{
    Q_OBJECT

private slots:
    void framesOnTheLine();
    void refusedRequestsGetTheRightException();
    void unansweredRequests();
    void savedStateSurvivesARestart();
    void vanishAfterRemovesThePort();
    void oneShotFaultsStrikeOnlyTheirFrame();

private:
    TestEnvironment environment;
};

// The CRC bytes of these frames were worked out by hand, apart from the
// simulator, so a check computed or ordered wrongly on its side shows here.
void TestSensorSim::framesOnTheLine()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    RawPort port(simulator.linkPath());
    const auto exchange = [&port](const char *request) {
        port.send(QByteArray::fromHex(request));
        return port.drain(300).bytes.toHex();
    };
    QCOMPARE(exchange("010380040001ec0b"), QByteArray("0103020001" "7984"));
    QCOMPARE(exchange("011080070001020007" "67ed"), QByteArray("011080070001" "99c8"));
    // Function 6 is not one the sensor knows.
    QCOMPARE(exchange("010680070005d1c8"), QByteArray("018601" "83a0"));
    // A request with a broken check is dropped without a word.
    QCOMPARE(exchange("0103800400010000"), QByteArray());
    QCOMPARE(simulator.requests().at(1).values, QVector<quint16> { 7 });
}

void TestSensorSim::refusedRequestsGetTheRightException()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    Master master(simulator.linkPath());

    const QString address = QStringLiteral("Illegal data address");
    const QString value = QStringLiteral("Illegal data value");
    QVERIFY(master.read(0x0104, 1).isEmpty());          // past the live values
    QCOMPARE(QString::fromLocal8Bit(modbus_strerror(errno)), address);
    QCOMPARE(master.refusal(0x8000, { 1 }), address);    // the identity is read-only
    QCOMPARE(master.refusal(NodeRegister, { 0 }), value);
    QCOMPARE(master.refusal(DelayRegister, { 101 }), value);
    // One bad value refuses the whole write: the good one is not taken either.
    QCOMPARE(master.refusal(DelayRegister, { 5, 7 }), value);
    QCOMPARE(master.read(DelayRegister, 2), (QVector<quint16> { 1, 1 }));
}

// Each of these times out at the master: the sensor stays silent.
void TestSensorSim::unansweredRequests()
{
    struct Attempt { int slave; char parity; int stopBits; };
    const Attempt attempts[] = { { 2, 'N', 1 }, { 0, 'N', 1 }, { 1, 'O', 1 }, { 1, 'N', 2 } };
    SimulatorProcess simulator;
    SimulatorProcess twoStopBits({ "--serialconf", "3" });
    QVERIFY(simulator.start() && twoStopBits.start());
    for (const Attempt &attempt : attempts) {
        Master master(simulator.linkPath(), 19200, attempt.parity, attempt.stopBits);
        QVERIFY(master.silentAt(attempt.slave));
    }
    QVERIFY(Master(twoStopBits.linkPath()).silentAt(1));

    QStringList reasons;
    for (const SimRequest &request : simulator.requests() + twoStopBits.requests())
        reasons << request.reason + (request.answered ? " answered" : "");
    QCOMPARE(reasons, (QStringList { "wrong-slave", "broadcast", "line-mismatch", "line-mismatch",
                                     "line-mismatch" }));
}

void TestSensorSim::savedStateSurvivesARestart()
{
    QTemporaryDir directory;
    const QString stateFile = directory.filePath(QStringLiteral("sensor.state"));
    {
        SimulatorProcess simulator({ "--state", stateFile });
        QVERIFY(simulator.start());
        Master master(simulator.linkPath());
        QCOMPARE(master.refusal(DelayRegister, { 7 }), QString());
        QCOMPARE(master.refusal(SaveCommand, { 1 }), QString());
        QCOMPARE(master.refusal(DelayRegister, { 9 }), QString());
    }
    // Powered up again, it starts from what it saved, not from what it had
    // or what it is told on the command line.
    SimulatorProcess simulator({ "--state", stateFile, "--delay", "3" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath());
    QCOMPARE(master.read(DelayRegister, 1), QVector<quint16> { 7 });
}

void TestSensorSim::vanishAfterRemovesThePort()
{
    SimulatorProcess simulator({ "--vanish-after", "2" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath());
    for (int i = 0; i < 2; ++i)
        QCOMPARE(master.read(NodeRegister, 1), QVector<quint16> { 1 });
    QCOMPARE(simulator.waitForExit(), 0);
    QVERIFY(!QFileInfo(simulator.linkPath()).isSymLink());
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
}

// Frames are counted as they arrive, whoever they are for. Each request reads
// other registers, so that one reply cannot pass for another's.
void TestSensorSim::oneShotFaultsStrikeOnlyTheirFrame()
{
    const int LateMs = 800;
    const int GapMs = 300;
    const int MasterTimeoutMs = 150;
    SimulatorProcess simulator({ "--garbage-at", "1", "--late-reply-at", QStringLiteral("3:%1").arg(LateMs),
                                 "--duplicate-reply-at", "5", "--garbage-at", "7",
                                 "--byte-gap-at", QStringLiteral("9:%1").arg(GapMs) });
    QVERIFY(simulator.start());
    RawPort port(simulator.linkPath());
    const auto ask = [&port](const char *request, int replyLength) {
        port.send(QByteArray::fromHex(request));
        return port.receive(replyLength, 2000).bytes;
    };
    const QByteArray serialReply = QByteArray::fromHex("01030423280000" "71bf");
    const QByteArray firmwareReply = QByteArray::fromHex("01030480010000" "8233");
    const QByteArray oneReply = QByteArray::fromHex("0103020001" "7984");
    const QByteArray zeroReply = QByteArray::fromHex("0103020000" "b844");

    // 1: for another slave; a fault on an unanswered frame does not make
    // the sensor talk, nor move on to the next frame.
    port.send(QByteArray::fromHex("020380040001ec38"));
    QCOMPARE(port.receive(1, MasterTimeoutMs).bytes, QByteArray());
    QCOMPARE(ask("010380000002edcb", serialReply.size()), serialReply);

    // 3: late, after the master has given up and sent 4, which is heard at
    // once but answered after the late reply.
    const qint64 lateRequestUs = port.send(QByteArray::fromHex("0103800200024c0b"));
    QCOMPARE(port.receive(1, MasterTimeoutMs).bytes, QByteArray());
    port.send(QByteArray::fromHex("010380040001ec0b"));
    const Arrival late = port.receive(firmwareReply.size() + oneReply.size(), LateMs + 5000);
    QCOMPARE(late.bytes, firmwareReply + oneReply);
    QVERIFY2(late.firstByteUs - lateRequestUs >= LateMs * 1000,
             qPrintable(QStringLiteral("%1 us").arg(late.firstByteUs - lateRequestUs)));

    // 5: twice in one burst; 6 shows that nothing more of it was left over.
    QCOMPARE(ask("010380050001bdcb", 2 * oneReply.size()), oneReply + oneReply);
    QCOMPARE(ask("0103800600014dcb", zeroReply.size()), zeroReply);

    // 7: more bytes than the reply, no valid frame in the reply's length
    // nor in the whole.
    port.send(QByteArray::fromHex("0103800700011c0b"));
    const QByteArray garbage = port.drain(MasterTimeoutMs).bytes;
    QVERIFY2(garbage.size() > oneReply.size(), garbage.toHex().constData());
    QVERIFY2(!checkHolds(garbage.left(oneReply.size())) && !checkHolds(garbage), garbage.toHex().constData());
    QCOMPARE(ask("0103800800012c08", oneReply.size()), oneReply);

    // 9: the right bytes, cut by a pause.
    port.send(QByteArray::fromHex("0103800900017dc8"));
    const Arrival gapped = port.receive(zeroReply.size(), GapMs + 5000);
    QCOMPARE(gapped.bytes, zeroReply);
    QVERIFY2(gapped.longestPauseUs >= (GapMs - 100) * 1000,
             qPrintable(QStringLiteral("%1 us").arg(gapped.longestPauseUs)));
    QCOMPARE(ask("0103800a00018dc8", oneReply.size()), oneReply);

    const QList<SimRequest> requests = simulator.requests();
    QStringList reasons;
    for (const SimRequest &request : requests)
        reasons << request.reason;
    QCOMPARE(reasons, (QStringList { "wrong-slave", "-", "late-reply", "-", "duplicate-reply", "-", "garbage",
                                     "-", "byte-gap", "-" }));
    QVERIFY(requests.at(3).timeUs < lateRequestUs + LateMs * 1000);
}

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
