// What the program's own end-to-end tests do not show of the simulator: the
// exact bytes it puts on the line, its saved state across a restart, the
// faults that strike one reply only and several sensors on one line. Every
// frame's check is worked out here (by hand, or by modbusCheck below), apart
// from the simulator, so a check computed or ordered wrongly on its side
// shows.

#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

#include "link/networkline.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a sensor that is expected to stay silent is listened to.
const int SilenceMs = 150;

// CLOCK_MONOTONIC, the clock of the simulator's log.
qint64 monotonicUs() { return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000; }

quint16 modbusCheck(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// The Modbus check run over a whole frame, its own check included, leaves
// nothing when the frame holds.
bool checkHolds(const QByteArray &frame) { return frame.size() >= 3 && modbusCheck(frame) == 0; }

// A frame given in hexadecimal, with its check appended, low byte first.
QByteArray framed(const QString &hexBody)
{
    QByteArray frame = QByteArray::fromHex(hexBody.toLatin1());
    const quint16 crc = modbusCheck(frame);
    return frame + char(crc & 0xFF) + char(crc >> 8);
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
        return ask(QByteArray::fromHex(hexRequest), count, quietMs);
    }
    Arrival ask(const QByteArray &request, int count, int quietMs = 2000)
    {
        Arrival arrival;
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

    // The registers a read returns; none when no valid reply comes.
    QVector<quint16> read(int slave, int address, int count, int quietMs = 2000)
    {
        const QByteArray reply = ask(framed(QString::asprintf("%02x03%04x%04x", slave, address, count)),
                                     5 + 2 * count, quietMs).bytes;
        QVector<quint16> words;
        if (reply.size() == 5 + 2 * count && checkHolds(reply) && reply.at(0) == slave && reply.at(1) == 3)
            for (int i = 0; i < count; ++i)
                words << quint16(quint8(reply.at(3 + 2 * i)) << 8 | quint8(reply.at(4 + 2 * i)));
        return words;
    }
    // Whether a write of one register is acknowledged.
    bool write(int slave, int address, quint16 value)
    {
        const QByteArray request = framed(QString::asprintf("%02x10%04x000102%04x", slave, address, value));
        return ask(request, 8).bytes == framed(QString::fromLatin1(request.left(6).toHex()));
    }

    const int descriptor;
};

// A connection to one of the simulator's gateways, read as RawPort reads.
struct GatewaySocket
{
    explicit GatewaySocket(const QString &url) : descriptor(::socket(AF_INET, SOCK_STREAM, 0))
    {
        NetworkLine line;
        NetworkLine::parse(url, &line);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(line.port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~GatewaySocket() { ::close(descriptor); }

    // Sends request and reads what comes until the connection has been
    // quiet for quietMs; closed is set when the gateway closed it.
    QByteArray ask(const QByteArray &request, int quietMs = 300)
    {
        if (!request.isEmpty() && ::send(descriptor, request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0)
            closed = true;
        QByteArray reply;
        pollfd ready = { descriptor, POLLIN, 0 };
        char buffer[256];
        while (!closed && ::poll(&ready, 1, quietMs) > 0) {
            const ssize_t n = ::read(descriptor, buffer, sizeof buffer);
            closed = n <= 0;
            reply.append(buffer, int(qMax<ssize_t>(n, 0)));
        }
        return reply;
    }

    const int descriptor;
    bool connected = false;
    bool closed = false;
};

} // namespace

class TestSensorSim : public QObject
{
    Q_OBJECT
    TestEnvironment environment;

private slots:
    // The same sensors on the pseudo-terminal and behind both gateways: a
    // Modbus TCP reply echoes the transaction id and carries no check, RTU
    // over TCP carries the frames as they are, and a gateway's serial side
    // keeps the line it started at when a sensor moves to another.
    void gatewaysCarryTheLine()
    {
        SimulatorProcess sim({ "--serial", "4242", "--tcp", "0", "--rtu-over-tcp", "0", "--no-path", "9" });
        QVERIFY(sim.start());
        QCOMPARE(sim.linkPath(), QDir(environment.runtimeDirectory()).filePath("kelvaset/ports/" + sim.name()));
        const QString tcpUrl = sim.line();
        QVERIFY(tcpUrl.startsWith("tcp://127.0.0.1:"));
        GatewaySocket tcp(tcpUrl);
        QVERIFY(tcp.connected);
        QCOMPARE(tcp.ask(QByteArray::fromHex("123400000006010380000002")).toHex(),
                 QByteArray("12340000000701030410920000"));
        // No path to unit 9: exception 10; nobody at unit 2: exception 11.
        QCOMPARE(tcp.ask(QByteArray::fromHex("000100000006090380000002")).toHex(), QByteArray("00010000000309830a"));
        QCOMPARE(tcp.ask(QByteArray::fromHex("000200000006020380000002")).toHex(), QByteArray("00020000000302830b"));
        // A second connection is closed at once: the gateway has one.
        GatewaySocket second(tcpUrl);
        second.ask(QByteArray::fromHex("000300000006010380000002"));
        QVERIFY(second.closed);

        GatewaySocket rtu(sim.servedLines().value(1));
        QVERIFY(sim.servedLines().value(1).startsWith("rtu+tcp://127.0.0.1:"));
        QCOMPARE(rtu.ask(framed("010380000002")), framed("01030410920000"));
        RawPort port(sim.linkPath());
        QCOMPARE(port.read(1, 0x8000, 2), (QVector<quint16>{ 4242, 0 }));
        // The sensor moves to 38400 bit/s; the gateways stay at 19200.
        QVERIFY(port.write(1, 0x8004, 2));
        QCOMPARE(tcp.ask(QByteArray::fromHex("000400000006010380000002")).toHex(), QByteArray("00040000000301830b"));
        QVERIFY(rtu.ask(framed("010380000002")).isEmpty());
        QVERIFY(!tcp.closed && !rtu.closed);
        // Frames that no sensor takes are logged; exception 10 puts none on the line.
        QCOMPARE(sim.requests().size(), 7);
    }

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

    void severalSensorsShareTheLine()
    {
        SimulatorProcess simulator({ "--temperature", "20", "--sensor", "1:9001", "--sensor", "2:9002",
                                     "--sensor", "3:9003:0x80000123" });
        QVERIFY(simulator.start());
        RawPort port(simulator.linkPath());
        QVector<int> irradiance;
        for (int node = 1; node <= 3; ++node) {
            const quint16 firmware = node == 3 ? 0x8000 : 0x8001, release = node == 3 ? 0x0123 : 0;
            QCOMPARE(port.read(node, 0x8000, 4), (QVector<quint16>{ quint16(9000 + node), 0, firmware, release }));
            const QVector<quint16> live = port.read(node, 0x0100, 2);
            QCOMPARE(live.size(), 2);
            irradiance << live.at(0);
            QCOMPARE(live.at(1), quint16((20 + node - 1) * 4));
        }
        // 100 W/m^2 apart, give or take each sensor's own clouds and noise.
        for (int i = 1; i < 3; ++i)
            QVERIFY2(qAbs(irradiance.at(i) - irradiance.at(i - 1) - 100) < 50,
                     qPrintable(QStringLiteral("%1 after %2").arg(irradiance.at(i)).arg(irradiance.at(i - 1))));

        // A new node moves sensor 2 only; nothing answers at its old one.
        QVERIFY(port.write(2, 0x8004, 5));
        QCOMPARE(port.read(5, 0x8000, 1), QVector<quint16>{ 9002 });
        QCOMPARE(port.read(2, 0x8000, 1, SilenceMs), QVector<quint16>());
        QCOMPARE(port.read(1, 0x8000, 1), QVector<quint16>{ 9001 });
        QCOMPARE(port.read(3, 0x8000, 1), QVector<quint16>{ 9003 });
        QStringList logged;
        for (const SimRequest &request : simulator.requests())
            logged << QStringLiteral("%1 %2").arg(request.slave).arg(request.reason);
        QCOMPARE(logged, (QStringList{ "1 -", "1 -", "2 -", "2 -", "3 -", "3 -", "2 -", "5 -", "2 wrong-slave", "1 -",
                                       "3 -" }));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("did not get ready"));
        SimulatorProcess clash({ "--sensor", "4:9001", "--sensor", "4:9002" });
        QVERIFY(!clash.start());
        QCOMPARE(clash.waitForExit(), 2);
    }

    void faultsStrikeOnlyTheTargetedSensor()
    {
        SimulatorProcess simulator({ "--sensor", "1:9001", "--sensor", "2:9002", "--fault-sensor", "2",
                                     "--silent-from", "3:6", "--unkept", "0x8007" });
        QVERIFY(simulator.start());
        RawPort port(simulator.linkPath());
        const QVector<quint16> first{ 9001 }, second{ 9002 }, none;
        // Frames 1 to 6: sensor 2 is silent at 3 and 5 only, sensor 1 never.
        QCOMPARE(port.read(2, 0x8000, 1), second);
        QCOMPARE(port.read(1, 0x8000, 1), first);
        QCOMPARE(port.read(2, 0x8000, 1, SilenceMs), none);
        QCOMPARE(port.read(1, 0x8000, 1), first);
        QCOMPARE(port.read(2, 0x8000, 1, SilenceMs), none);
        QCOMPARE(port.read(2, 0x8000, 1), second);
        QCOMPARE(simulator.requests().at(2).reason, QStringLiteral("silent"));

        // Both acknowledge a new delay; only sensor 1 keeps it.
        QVERIFY(port.write(1, 0x8007, 7));
        QVERIFY(port.write(2, 0x8007, 7));
        QCOMPARE(port.read(1, 0x8007, 1), QVector<quint16>{ 7 });
        QCOMPARE(port.read(2, 0x8007, 1), QVector<quint16>{ 1 });
    }

    void eachSensorKeepsItsOwnSavedState()
    {
        const QString stateFile = environment.workingDirectory() + QStringLiteral("/line.state");
        const QStringList arguments{ "--state", stateFile, "--sensor", "1:9001", "--sensor", "2:9002" };
        {
            SimulatorProcess simulator(arguments);
            QVERIFY(simulator.start());
            RawPort port(simulator.linkPath());
            QVERIFY(port.write(1, 0x8007, 7));
            QVERIFY(port.write(1, 0x8100, 1));
            QVERIFY(port.write(2, 0x8004, 4));
            QVERIFY(port.write(4, 0x8100, 1));
        }
        QVERIFY(QFile::exists(stateFile + ".9001") && QFile::exists(stateFile + ".9002"));

        // Sensor 2 comes back at the node it saved, with its own delay.
        SimulatorProcess restarted(arguments);
        QVERIFY(restarted.start());
        RawPort port(restarted.linkPath());
        QCOMPARE(port.read(1, 0x8007, 1), QVector<quint16>{ 7 });
        QCOMPARE(port.read(4, 0x8000, 1), QVector<quint16>{ 9002 });
        QCOMPARE(port.read(4, 0x8007, 1), QVector<quint16>{ 1 });
        QCOMPARE(port.read(2, 0x8000, 1, SilenceMs), QVector<quint16>());
    }
};

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
