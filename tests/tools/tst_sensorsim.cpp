// What the program's own end-to-end tests do not show of the simulator: the
// exact bytes it puts on the line, its silence towards a master whose line is
// set up differently, its saved state across a restart and the faults that
// strike one reply only. Every frame's check was worked out by hand, apart
// from the simulator, so a check computed or ordered wrongly on its side shows.

#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// CLOCK_MONOTONIC, the clock of the simulator's log.
qint64 monotonicUs() { return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000; }

// The Modbus check run over a whole frame, its own check included, leaves
// nothing when the frame holds.
bool checkHolds(const QByteArray &frame)
{
    quint16 crc = 0xFFFF;
    for (char byte : frame) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return frame.size() >= 3 && crc == 0;
}

QStringList reasonsOf(const SimulatorProcess &simulator)
{
    QStringList reasons;
    for (const SimRequest &request : simulator.requests())
        reasons << request.reason;
    return reasons;
}

// What came back for a request, on the clock of the simulator's log.
struct Arrival
{
    QByteArray bytes;
    qint64 sentUs = -1;             // when the request went out
    qint64 firstByteUs = -1;
    qint64 longestPauseUs = 0;      // between two pieces of the reply
};

// The simulator's port opened raw at 19200 baud, 8N1 unless told otherwise.
class RawPort
{
public:
    explicit RawPort(const QString &device, tcflag_t lineFlags = 0)
        : descriptor(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY))
    {
        termios settings;
        tcgetattr(descriptor, &settings);
        cfmakeraw(&settings);
        settings.c_cflag = (settings.c_cflag & ~tcflag_t(PARENB | PARODD | CSTOPB)) | lineFlags;
        cfsetspeed(&settings, B19200);
        tcsetattr(descriptor, TCSANOW, &settings);
    }
    ~RawPort() { ::close(descriptor); }

    // Sends a request and reads until `count` bytes have come or `waitMs` is
    // over; with `untilQuiet`, until the line has been quiet for `waitMs`.
    Arrival ask(const char *hexRequest, int count, int waitMs = 2000, bool untilQuiet = false)
    {
        Arrival arrival;
        const QByteArray request = QByteArray::fromHex(hexRequest);
        arrival.sentUs = monotonicUs();
        if (::write(descriptor, request.constData(), size_t(request.size())) != request.size())
            qWarning("RawPort: a request could not be written");
        QDeadlineTimer deadline(waitMs);
        qint64 lastPieceUs = -1;
        while (arrival.bytes.size() < count) {
            pollfd ready = { descriptor, POLLIN, 0 };
            char buffer[256];
            ssize_t length = 0;
            if (::poll(&ready, 1, untilQuiet ? waitMs : int(deadline.remainingTime())) <= 0
                || (length = ::read(descriptor, buffer, sizeof buffer)) <= 0)
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

private:
    int descriptor;
};

const char *const ReadNode = "010380040001ec0b";
const int MasterTimeoutMs = 150;

} // namespace

class TestSensorSim : public QObject
{
    Q_OBJECT

private slots:
    void lineMismatchIsIgnored();
    void savedStateSurvivesARestart();
    void oneShotFaultsStrikeOnlyTheirFrame();

private:
    TestEnvironment environment;
};

// Odd parity and two stop bits against 8N1, and one stop bit against 8N2.
void TestSensorSim::lineMismatchIsIgnored()
{
    SimulatorProcess simulator;
    SimulatorProcess twoStopBits({ "--serialconf", "3" });
    QVERIFY(simulator.start() && twoStopBits.start());
    QCOMPARE(RawPort(simulator.linkPath(), PARENB | PARODD).ask(ReadNode, 1, MasterTimeoutMs).bytes, QByteArray());
    QCOMPARE(RawPort(simulator.linkPath(), CSTOPB).ask(ReadNode, 1, MasterTimeoutMs).bytes, QByteArray());
    QCOMPARE(RawPort(twoStopBits.linkPath()).ask(ReadNode, 1, MasterTimeoutMs).bytes, QByteArray());
    const QStringList reasons = reasonsOf(simulator) + reasonsOf(twoStopBits);
    QCOMPARE(reasons, (QStringList { "line-mismatch", "line-mismatch", "line-mismatch" }));
}

void TestSensorSim::savedStateSurvivesARestart()
{
    QTemporaryDir directory;
    const QString stateFile = directory.filePath(QStringLiteral("sensor.state"));
    const char *const readDelay = "0103800700011c0b";
    const QByteArray delayIsSeven("0103020007" "f986");
    const QByteArray delayWritten("011080070001" "99c8");
    {
        SimulatorProcess simulator({ "--state", stateFile });
        QVERIFY(simulator.start());
        RawPort port(simulator.linkPath());
        // Delay 7, saved; 9, undone by a reset; 9 again, never saved.
        QCOMPARE(port.ask("011080070001020007" "67ed", 8).bytes.toHex(), delayWritten);
        QCOMPARE(port.ask("011081000001020001" "f698", 8).bytes.toHex(), QByteArray("011081000001" "29f5"));
        QCOMPARE(port.ask("011080070001020009" "e629", 8).bytes.toHex(), delayWritten);
        QCOMPARE(port.ask("011081010001020001" "f749", 8).bytes.toHex(), QByteArray("011081010001" "7835"));
        QCOMPARE(port.ask(readDelay, 7).bytes.toHex(), delayIsSeven);
        QCOMPARE(port.ask("011080070001020009" "e629", 8).bytes.toHex(), delayWritten);
    }
    // Powered up again, it starts from what it saved, not from what it had
    // or what it is told on the command line.
    SimulatorProcess simulator({ "--state", stateFile, "--delay", "3" });
    QVERIFY(simulator.start());
    QCOMPARE(RawPort(simulator.linkPath()).ask(readDelay, 7).bytes.toHex(), delayIsSeven);
}

// Frames are counted as they arrive, whoever they are for. Each request reads
// other registers, so that one reply cannot pass for another's.
void TestSensorSim::oneShotFaultsStrikeOnlyTheirFrame()
{
    const int LateMs = 800, GapMs = 300;
    SimulatorProcess simulator({ "--garbage-at", "1", "--late-reply-at", QStringLiteral("3:%1").arg(LateMs),
                                 "--duplicate-reply-at", "5", "--garbage-at", "7",
                                 "--byte-gap-at", QStringLiteral("9:%1").arg(GapMs) });
    QVERIFY(simulator.start());
    RawPort port(simulator.linkPath());
    const QByteArray firmwareReply = QByteArray::fromHex("01030480010000" "8233");
    const QByteArray oneReply = QByteArray::fromHex("0103020001" "7984");
    const QByteArray zeroReply = QByteArray::fromHex("0103020000" "b844");

    // 1: for another slave; a fault on an unanswered frame does not make
    // the sensor talk, nor move on to the next frame.
    QCOMPARE(port.ask("020380040001ec38", 1, MasterTimeoutMs).bytes, QByteArray());
    QCOMPARE(port.ask("010380000002edcb", 9).bytes, QByteArray::fromHex("01030423280000" "71bf"));

    // 3: late, after the master has given up and sent 4, which is heard at
    // once but answered after the late reply.
    const Arrival givenUp = port.ask("0103800200024c0b", 1, MasterTimeoutMs);
    QCOMPARE(givenUp.bytes, QByteArray());
    const Arrival late = port.ask(ReadNode, firmwareReply.size() + oneReply.size(), LateMs + 5000);
    QCOMPARE(late.bytes, firmwareReply + oneReply);
    const qint64 lateUs = late.firstByteUs - givenUp.sentUs;
    QVERIFY2(lateUs >= LateMs * 1000, qPrintable(QString::number(lateUs)));

    // 5: twice in one burst; 6 shows that nothing more of it was left over.
    QCOMPARE(port.ask("010380050001bdcb", 2 * oneReply.size()).bytes, oneReply + oneReply);
    QCOMPARE(port.ask("0103800600014dcb", zeroReply.size()).bytes, zeroReply);

    // 7: more bytes than the reply, no valid frame in the reply's length
    // nor in the whole.
    const QByteArray garbage = port.ask("0103800700011c0b", INT_MAX, MasterTimeoutMs, true).bytes;
    QVERIFY2(garbage.size() > oneReply.size(), garbage.toHex().constData());
    QVERIFY2(!checkHolds(garbage.left(oneReply.size())) && !checkHolds(garbage), garbage.toHex().constData());
    QCOMPARE(port.ask("0103800800012c08", oneReply.size()).bytes, oneReply);

    // 9: the right bytes, cut by a pause.
    const Arrival gapped = port.ask("0103800900017dc8", zeroReply.size(), GapMs + 5000);
    QCOMPARE(gapped.bytes, zeroReply);
    QVERIFY2(gapped.longestPauseUs >= (GapMs - 100) * 1000, qPrintable(QString::number(gapped.longestPauseUs)));
    QCOMPARE(port.ask("0103800a00018dc8", oneReply.size()).bytes, oneReply);

    QCOMPARE(reasonsOf(simulator), (QStringList { "wrong-slave", "-", "late-reply", "-", "duplicate-reply", "-",
                                                  "garbage", "-", "byte-gap", "-" }));
    QVERIFY(simulator.requests().at(3).timeUs < givenUp.sentUs + LateMs * 1000);
}

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
