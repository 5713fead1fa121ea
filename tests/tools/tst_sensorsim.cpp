// What the program's own end-to-end tests do not show of the simulator: the
// exact bytes it puts on the line, its saved state across a restart and the
// faults that strike one reply only. Every frame's check was worked out by
// hand, apart from the simulator, so a check computed or ordered wrongly on
// its side shows.

#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
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

// What came back for a request, on the clock of the simulator's log: when the
// request went out, when the first and the last byte of the reply came, and
// the longest pause between two bytes.
struct Arrival
{
    QByteArray bytes;
    qint64 sentUs = -1, firstByteUs = -1, lastByteUs = -1, longestPauseUs = 0;
};

// The simulator's port as the simulator sets it up from the start: raw, at
// its own line (19200 8N1 unless told otherwise), as a master that matches it.
struct RawPort
{
    explicit RawPort(const QString &device) : descriptor(::open(qPrintable(device), O_RDWR | O_NOCTTY)) {}
    ~RawPort() { ::close(descriptor); }

    // Sends a request and reads until `count` bytes have come or the line
    // has been quiet for `quietMs`.
    Arrival ask(const char *hexRequest, int count, int quietMs = 2000)
    {
        Arrival arrival;
        const QByteArray request = QByteArray::fromHex(hexRequest);
        arrival.sentUs = monotonicUs();
        if (::write(descriptor, request.constData(), size_t(request.size())) != request.size())
            qWarning("RawPort: a request could not be written");
        pollfd ready = { descriptor, POLLIN, 0 };
        char byte = 0;
        while (arrival.bytes.size() < count && ::poll(&ready, 1, quietMs) > 0 && ::read(descriptor, &byte, 1) == 1) {
            const qint64 nowUs = monotonicUs();
            if (arrival.bytes.isEmpty())
                arrival.firstByteUs = arrival.lastByteUs = nowUs;
            arrival.longestPauseUs = qMax(arrival.longestPauseUs, nowUs - arrival.lastByteUs);
            arrival.lastByteUs = nowUs;
            arrival.bytes.append(byte);
        }
        return arrival;
    }

    const int descriptor;
};

} // namespace

class TestSensorSim : public QObject
{
    Q_OBJECT
    TestEnvironment environment;

private slots:
    void savedStateSurvivesARestart()
    {
        const QString stateFile = environment.workingDirectory() + QStringLiteral("/sensor.state");
        SimulatorProcess simulator({ "--state", stateFile });
        QVERIFY(simulator.start());
        RawPort port(simulator.linkPath());
        // Delay 7, saved; 9, undone by a reset; 9 again, never saved.
        QCOMPARE(port.ask("011080070001020007" "67ed", 8).bytes.toHex(), QByteArray("011080070001" "99c8"));
        QCOMPARE(port.ask("011081000001020001" "f698", 8).bytes.toHex(), QByteArray("011081000001" "29f5"));
        QCOMPARE(port.ask("011080070001020009" "e629", 8).bytes.toHex(), QByteArray("011080070001" "99c8"));
        QCOMPARE(port.ask("011081010001020001" "f749", 8).bytes.toHex(), QByteArray("011081010001" "7835"));
        QCOMPARE(port.ask("0103800700011c0b", 7).bytes.toHex(), QByteArray("0103020007" "f986"));
        QCOMPARE(port.ask("011080070001020009" "e629", 8).bytes.toHex(), QByteArray("011080070001" "99c8"));
        simulator.stop();

        // Powered up again, it starts from what it saved, not from what it
        // had or what it is told on the command line.
        SimulatorProcess restarted({ "--state", stateFile, "--delay", "3" });
        QVERIFY(restarted.start());
        QCOMPARE(RawPort(restarted.linkPath()).ask("0103800700011c0b", 7).bytes.toHex(), QByteArray("0103020007" "f986"));
    }

    // Frames are counted as they arrive, whoever they are for. Each request
    // reads other registers, so that one reply cannot pass for another's.
    void oneShotFaultsStrikeOnlyTheirFrame()
    {
        const int LateMs = 800, GapMs = 300, MasterTimeoutMs = 150;
        SimulatorProcess simulator({ "--garbage-at", "1", "--late-reply-at", QStringLiteral("3:%1").arg(LateMs),
                                     "--duplicate-reply-at", "5", "--garbage-at", "7",
                                     "--byte-gap-at", QStringLiteral("9:%1").arg(GapMs) });
        QVERIFY(simulator.start());
        RawPort port(simulator.linkPath());
        const QByteArray oneReply = QByteArray::fromHex("0103020001" "7984");
        const QByteArray zeroReply = QByteArray::fromHex("0103020000" "b844");

        // 1: for another slave; a fault on an unanswered frame does not make
        // the sensor talk, nor move on to the next frame.
        QCOMPARE(port.ask("020380040001ec38", 1, MasterTimeoutMs).bytes, QByteArray());
        QCOMPARE(port.ask("010380000002edcb", 9).bytes, QByteArray::fromHex("01030423280000" "71bf"));

        // 3: late, after the master has given up and sent 4, which is heard
        // at once but answered after the late reply.
        const Arrival givenUp = port.ask("0103800200024c0b", 1, MasterTimeoutMs);
        QCOMPARE(givenUp.bytes, QByteArray());
        const Arrival late = port.ask("010380040001ec0b", 9 + oneReply.size(), LateMs + 5000);
        QCOMPARE(late.bytes, QByteArray::fromHex("01030480010000" "8233") + oneReply);
        const qint64 lateUs = late.firstByteUs - givenUp.sentUs;
        QVERIFY2(lateUs >= LateMs * 1000, qPrintable(QString::number(lateUs)));

        // 5: twice in one burst; 6 shows that nothing more of it was left over.
        QCOMPARE(port.ask("010380050001bdcb", 2 * oneReply.size()).bytes, oneReply + oneReply);
        QCOMPARE(port.ask("0103800600014dcb", zeroReply.size()).bytes, zeroReply);

        // 7: more bytes than the reply, no valid frame in the reply's length
        // nor in the whole.
        const QByteArray garbage = port.ask("0103800700011c0b", 4096, MasterTimeoutMs).bytes;
        QVERIFY2(garbage.size() > oneReply.size(), garbage.toHex().constData());
        QVERIFY2(!checkHolds(garbage.left(oneReply.size())) && !checkHolds(garbage), garbage.toHex().constData());
        QCOMPARE(port.ask("0103800800012c08", oneReply.size()).bytes, oneReply);

        // 9: the right bytes, cut by a pause.
        const Arrival gapped = port.ask("0103800900017dc8", zeroReply.size(), GapMs + 5000);
        QCOMPARE(gapped.bytes, zeroReply);
        QVERIFY2(gapped.longestPauseUs >= (GapMs - 100) * 1000, qPrintable(QString::number(gapped.longestPauseUs)));
        QCOMPARE(port.ask("0103800a00018dc8", oneReply.size()).bytes, oneReply);

        QStringList reasons;
        for (const SimRequest &request : simulator.requests())
            reasons << request.reason;
        QCOMPARE(reasons, (QStringList { "wrong-slave", "-", "late-reply", "-", "duplicate-reply", "-", "garbage", "-",
                                         "byte-gap", "-" }));
        QVERIFY(simulator.requests().at(3).timeUs < givenUp.sentUs + LateMs * 1000);
    }
};

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
