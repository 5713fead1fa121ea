// What the program's own end-to-end tests do not show of the simulator: the
// exact bytes it puts on the line, the exception it gives each kind of
// refused request, the requests it must not answer, its saved state across a
// restart and an unplugged port.

#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

#include <modbus.h>

#include <cerrno>
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

// Sends one raw request at 19200 8N1 and returns whatever comes back within
// a moment.
QByteArray exchange(const QString &device, const QByteArray &request)
{
    const int port = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    termios settings;
    tcgetattr(port, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    tcsetattr(port, TCSANOW, &settings);
    QByteArray reply;
    pollfd ready = { port, POLLIN, 0 };
    char buffer[64];
    ssize_t count = ::write(port, request.constData(), size_t(request.size()));
    while (count > 0 && ::poll(&ready, 1, 300) > 0 && (count = ::read(port, buffer, sizeof buffer)) > 0)
        reply.append(buffer, int(count));
    ::close(port);
    return reply;
}

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

private:
    TestEnvironment environment;
};

// The CRC bytes of these frames were worked out by hand, apart from the
// simulator, so a check computed or ordered wrongly on its side shows here.
void TestSensorSim::framesOnTheLine()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    QCOMPARE(exchange(simulator.linkPath(), QByteArray::fromHex("010380040001ec0b")),
             QByteArray::fromHex("0103020001" "7984"));
    QCOMPARE(exchange(simulator.linkPath(), QByteArray::fromHex("011080070001020007" "67ed")),
             QByteArray::fromHex("011080070001" "99c8"));
    // Function 6 is not one the sensor knows.
    QCOMPARE(exchange(simulator.linkPath(), QByteArray::fromHex("010680070005d1c8")),
             QByteArray::fromHex("018601" "83a0"));
    // A request with a broken check is dropped without a word.
    QCOMPARE(exchange(simulator.linkPath(), QByteArray::fromHex("0103800400010000")), QByteArray());

    const QList<SimRequest> requests = simulator.requests();
    QCOMPARE(requests.size(), 4);
    QCOMPARE(requests.at(1).values, QVector<quint16> { 7 });
    QCOMPARE(requests.at(2).reason, QStringLiteral("exception-1"));
    QCOMPARE(requests.at(3).reason, QStringLiteral("bad-crc"));
    QVERIFY(!requests.at(3).answered);
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
    QCOMPARE(master.refusal(0x800B, { 1 }), address);
    QCOMPARE(master.refusal(NodeRegister, { 0 }), value);
    QCOMPARE(master.refusal(NodeRegister, { 248 }), value);
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
    QCOMPARE(master.read(NodeRegister, 1), QVector<quint16> { 1 });
    QCOMPARE(master.read(NodeRegister, 1), QVector<quint16> { 1 });
    QCOMPARE(simulator.waitForExit(), 0);
    QVERIFY(!QFileInfo(simulator.linkPath()).isSymLink());
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
}

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
