#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <modbus.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// A libmodbus master on the simulator's port, as the program opens it.
class Master
{
public:
    Master(const QString &device, int baud, char parity = 'N', int stopBits = 1, int timeoutMs = 1000)
        : context(modbus_new_rtu(QFile::encodeName(device).constData(), baud, parity, 8, stopBits))
    {
        if (context && modbus_connect(context) != 0) {
            modbus_free(context);
            context = nullptr;
        }
        setSlave(1);
        setTimeouts(timeoutMs, 200);
    }
    ~Master()
    {
        if (context) {
            modbus_close(context);
            modbus_free(context);
        }
    }
    bool isConnected() const { return context; }
    void setSlave(int slave) { if (context) modbus_set_slave(context, slave); }
    void setTimeouts(int responseMs, int byteMs)
    {
        if (!context)
            return;
        modbus_set_response_timeout(context, uint32_t(responseMs / 1000), uint32_t(responseMs % 1000) * 1000);
        modbus_set_byte_timeout(context, uint32_t(byteMs / 1000), uint32_t(byteMs % 1000) * 1000);
    }
    // The words read, or none with the failure in error.
    QVector<quint16> read(int address, int count)
    {
        QVector<quint16> words(count);
        if (modbus_read_registers(context, address, count, words.data()) != count) {
            keepError();
            words.clear();
        }
        return words;
    }
    bool write(int address, const QVector<quint16> &words)
    {
        if (modbus_write_registers(context, address, words.size(), words.constData()) == words.size())
            return true;
        keepError();
        return false;
    }
    bool writeSingle(int address, quint16 word)
    {
        if (modbus_write_register(context, address, word) == 1)
            return true;
        keepError();
        return false;
    }

    int error = 0;
    QString errorText;

private:
    void keepError()
    {
        error = errno;
        errorText = QString::fromLocal8Bit(modbus_strerror(error));
    }

    modbus_t *context = nullptr;
};

bool waitUntilGone(const QString &path, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (QFileInfo(path).isSymLink() && timer.elapsed() < timeoutMs)
        QThread::msleep(10);
    return !QFileInfo(path).isSymLink();
}

const int StatusRegister = 0x0102;
const int NodeRegister = 0x8004;
const int BitRateRegister = 0x8005;
const int SerialConfRegister = 0x8006;
const int DelayRegister = 0x8007;
const int AnOutputModeRegister = 0x8008;
const int SaveCommand = 0x8100;
const int ResetCommand = 0x8101;
const quint16 NvSavedBit = 0x02;
}

class TestSensorSim : public QObject
{
    Q_OBJECT

private slots:
    void identityConfigurationAndLiveValues_data();
    void identityConfigurationAndLiveValues();
    void refusedRequestsGetTheRightException();
    void unansweredRequests_data();
    void unansweredRequests();
    void damagedFrames();
    void nodeAndLineChangesApplyAfterTheAcknowledgement();
    void saveAndResetRestoreTheConfiguration();
    void answerFromNeedsIdenticalAttempts();
    void vanishingPort();

private:
    TestEnvironment environment;
};

void TestSensorSim::identityConfigurationAndLiveValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QVector<quint16>>("identity");         // 0x8000..0x8003
    QTest::addColumn<QVector<quint16>>("configuration");    // 0x8004..0x800A
    QTest::addColumn<quint16>("status");
    QTest::addColumn<bool>("hasSpeed");

    QTest::newRow("defaults") << QStringList()
            << QVector<quint16>{ 9000, 0, 0x8001, 0x0000 }
            << QVector<quint16>{ 1, 1, 0, 1, 1, 0, 1 } << quint16(0x1B) << true;
    QTest::newRow("firmware without speed, words in order, timed frames")
            << QStringList{ "--firmware", "0x80000123", "--serial", "131073", "--delay", "42",
                            "--anmode", "3", "--anselect", "2", "--pt100enable", "0", "--status", "0x21",
                            "--frame-timing" }
            << QVector<quint16>{ 0x0001, 0x0002, 0x8000, 0x0123 }
            << QVector<quint16>{ 1, 1, 0, 42, 3, 2, 0 } << quint16(0x21) << false;
    QTest::newRow("firmware number without top bit")
            << QStringList{ "--firmware", "0x01020304", "--serial", "0x12345678" }
            << QVector<quint16>{ 0x5678, 0x1234, 0x0102, 0x0304 }
            << QVector<quint16>{ 1, 1, 0, 1, 1, 0, 1 } << quint16(0x1B) << false;
}

void TestSensorSim::identityConfigurationAndLiveValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QVector<quint16>, identity);
    QFETCH(QVector<quint16>, configuration);
    QFETCH(quint16, status);
    QFETCH(bool, hasSpeed);

    SimulatorProcess simulator(arguments + QStringList{ "--temperature", "-5.25" });
    QVERIFY(simulator.start());
    QCOMPARE(QFileInfo(simulator.linkPath()).symLinkTarget().left(9), QStringLiteral("/dev/pts/"));
    Master master(simulator.linkPath(), 19200);
    QVERIFY(master.isConnected());

    QCOMPARE(master.read(0x8000, 4), identity);
    QCOMPARE(master.read(NodeRegister, 7), configuration);
    // The whole map in one go: identity and configuration are one block.
    QCOMPARE(master.read(0x8000, 11).mid(0, 4), identity);

    const QVector<quint16> live = master.read(0x0100, 3);
    QCOMPARE(live.size(), 3);
    QVERIFY(live.at(0) <= 1400);
    QCOMPARE(live.at(1), quint16(0xFFEB));     // -5.25 degC in quarters
    QCOMPARE(live.at(2), status);

    // Speed and the pulse constant came with firmware 80.01.
    QCOMPARE(master.read(0x0103, 1).size(), hasSpeed ? 1 : 0);
    QCOMPARE(master.read(0x8030, 1), hasSpeed ? QVector<quint16>{ 2949 } : QVector<quint16>());
    if (!hasSpeed)
        QCOMPARE(master.errorText, QStringLiteral("Illegal data address"));
}

void TestSensorSim::refusedRequestsGetTheRightException()
{
    SimulatorProcess simulator({ "--exception-at", "0x8009:4" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath(), 19200);
    QVERIFY(master.isConnected());

    const QString address = QStringLiteral("Illegal data address");
    const QString value = QStringLiteral("Illegal data value");
    const QString failure = QStringLiteral("Slave device or server failure");
    // Reads when there are no words to write.
    struct Refusal { int address; int readCount; QVector<quint16> words; QString text; };
    const QList<Refusal> refusals = {
        { 0x0104, 1, {}, address }, { 0x800A, 2, {}, address }, { SaveCommand, 1, {}, address },
        { 0x8000, 0, { 1 }, address }, { 0x9001, 0, { 1 }, address }, { 0x800B, 0, { 1 }, address },
        { NodeRegister, 0, { 0 }, value }, { NodeRegister, 0, { 248 }, value },
        { BitRateRegister, 0, { 5 }, value }, { SerialConfRegister, 0, { 4 }, value },
        { DelayRegister, 0, { 0 }, value }, { DelayRegister, 0, { 101 }, value },
        { AnOutputModeRegister, 0, { 5 }, value }, { 0x800A, 0, { 2 }, value }, { 0x8030, 0, { 0 }, value },
        { DelayRegister, 0, { 5, 7 }, value },     // the good value is not taken either
        { ResetCommand, 0, { 0 }, value },
        { NodeRegister, 0, { 1, 1, 0, 1, 1, 0 }, failure }, { 0x8009, 1, {}, failure },
    };
    for (const Refusal &refusal : refusals) {
        const bool accepted = refusal.words.isEmpty() ? !master.read(refusal.address, refusal.readCount).isEmpty()
                                                      : master.write(refusal.address, refusal.words);
        QVERIFY2(!accepted, qPrintable(QString::number(refusal.address, 16)));
        QCOMPARE(master.errorText, refusal.text);
    }
    QVERIFY(!master.writeSingle(DelayRegister, 5));
    QCOMPARE(master.errorText, QStringLiteral("Illegal function"));

    QCOMPARE(master.read(NodeRegister, 5), (QVector<quint16>{ 1, 1, 0, 1, 1 }));
    const QList<SimRequest> requests = simulator.requests();
    QCOMPARE(requests.size(), refusals.size() + 2);
    QCOMPARE(requests.at(0).reason, QStringLiteral("exception-2"));
    QCOMPARE(requests.at(6).reason, QStringLiteral("exception-3"));
    QCOMPARE(requests.at(6).values, QVector<quint16>{ 0 });
    QCOMPARE(requests.at(refusals.size()).function, 6);
    QCOMPARE(requests.at(refusals.size()).reason, QStringLiteral("exception-1"));
    QVERIFY(requests.at(refusals.size()).answered);
}

void TestSensorSim::unansweredRequests_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QChar>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("slave");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("reason");

    QTest::newRow("other slave") << QStringList() << 19200 << QChar('N') << 1 << 2 << false << "wrong-slave";
    QTest::newRow("broadcast") << QStringList() << 19200 << QChar('N') << 1 << 0 << false << "broadcast";
    QTest::newRow("9600 against 19200") << QStringList() << 9600 << QChar('N') << 1 << 1 << false << "line-mismatch";
    QTest::newRow("8O1 against 8N1") << QStringList() << 19200 << QChar('O') << 1 << 1 << false << "line-mismatch";
    QTest::newRow("8N2 against 8N1") << QStringList() << 19200 << QChar('N') << 2 << 1 << false << "line-mismatch";
    QTest::newRow("8N1 against 8N2") << QStringList{ "--serialconf", "3" } << 19200 << QChar('N') << 1 << 1
                                     << false << "line-mismatch";
    QTest::newRow("silent") << QStringList{ "--silent" } << 19200 << QChar('N') << 1 << 1 << false << "silent";
    QTest::newRow("late reply") << QStringList{ "--reply-delay", "700" } << 19200 << QChar('N') << 1 << 1
                                << true << "-";
    QTest::newRow("slow bytes") << QStringList{ "--byte-gap", "200" } << 19200 << QChar('N') << 1 << 1
                                << true << "-";
}

void TestSensorSim::unansweredRequests()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, baud);
    QFETCH(QChar, parity);
    QFETCH(int, stopBits);
    QFETCH(int, slave);
    QFETCH(bool, answered);
    QFETCH(QString, reason);

    SimulatorProcess simulator(arguments);
    QVERIFY(simulator.start());
    {
        Master master(simulator.linkPath(), baud, parity.toLatin1(), stopBits, 150);
        QVERIFY(master.isConnected());
        master.setSlave(slave);
        master.setTimeouts(150, 50);
        QVERIFY(master.read(NodeRegister, 1).isEmpty());
        QCOMPARE(master.error, ETIMEDOUT);
    }
    const QList<SimRequest> requests = simulator.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().slave, slave);
    QCOMPARE(requests.first().address, NodeRegister);
    QCOMPARE(requests.first().baud, baud);
    QCOMPARE(requests.first().stopBits, stopBits);
    QCOMPARE(requests.first().odd, parity == QLatin1Char('O'));
    QCOMPARE(requests.first().answered, answered);
    QCOMPARE(requests.first().reason, reason);
}

void TestSensorSim::damagedFrames()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    {
        // A request with a broken check is dropped without a word.
        const int port = ::open(QFile::encodeName(simulator.linkPath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(port >= 0);
        termios settings;
        tcgetattr(port, &settings);
        cfmakeraw(&settings);
        cfsetspeed(&settings, B19200);
        tcsetattr(port, TCSANOW, &settings);
        const unsigned char request[] = { 0x01, 0x03, 0x80, 0x04, 0x00, 0x01, 0x00, 0x00 };
        QCOMPARE(::write(port, request, sizeof request), ssize_t(sizeof request));
        pollfd reply = { port, POLLIN, 0 };
        QCOMPARE(::poll(&reply, 1, 300), 0);
        ::close(port);
    }
    QCOMPARE(simulator.requests().size(), 1);
    QCOMPARE(simulator.requests().first().reason, QStringLiteral("bad-crc"));
    QVERIFY(!simulator.requests().first().answered);

    SimulatorProcess corrupting({ "--bad-crc" });
    QVERIFY(corrupting.start());
    Master master(corrupting.linkPath(), 19200);
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
    QCOMPARE(master.errorText, QStringLiteral("Invalid CRC"));
}

void TestSensorSim::nodeAndLineChangesApplyAfterTheAcknowledgement()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    {
        Master master(simulator.linkPath(), 19200);
        QVERIFY(master.write(NodeRegister, { 5 }));        // acknowledged from node 1
        master.setTimeouts(150, 50);
        QVERIFY(master.read(NodeRegister, 1).isEmpty());
        master.setSlave(5);
        master.setTimeouts(1000, 200);
        QCOMPARE(master.read(NodeRegister, 1), QVector<quint16>{ 5 });
        QVERIFY(master.write(BitRateRegister, { 4 }));     // acknowledged at 19200
        master.setTimeouts(150, 50);
        QVERIFY(master.read(NodeRegister, 1).isEmpty());
    }
    {
        Master master(simulator.linkPath(), 115200);
        master.setSlave(5);
        QCOMPARE(master.read(BitRateRegister, 1), QVector<quint16>{ 4 });
        QVERIFY(master.write(SerialConfRegister, { 3 }));
    }
    Master master(simulator.linkPath(), 115200, 'N', 2);
    master.setSlave(5);
    QCOMPARE(master.read(NodeRegister, 3), (QVector<quint16>{ 5, 4, 3 }));

    const QList<SimRequest> requests = simulator.requests();
    QCOMPARE(requests.size(), 8);
    QCOMPARE(requests.at(0).function, 16);
    QCOMPARE(requests.at(0).values, QVector<quint16>{ 5 });
    QVERIFY(requests.at(0).answered);
    QCOMPARE(requests.at(1).reason, QStringLiteral("wrong-slave"));
    QCOMPARE(requests.at(4).reason, QStringLiteral("line-mismatch"));
    QCOMPARE(requests.at(7).baud, 115200);
    QCOMPARE(requests.at(7).stopBits, 2);
}

void TestSensorSim::saveAndResetRestoreTheConfiguration()
{
    QTemporaryDir directory;
    const QString stateFile = directory.filePath(QStringLiteral("sensor.state"));
    {
        SimulatorProcess simulator({ "--state", stateFile });
        QVERIFY(simulator.start());
        {
            Master master(simulator.linkPath(), 19200);
            QVERIFY(master.read(StatusRegister, 1).value(0) & NvSavedBit);
            QVERIFY(master.write(DelayRegister, { 7 }));
            QVERIFY(!(master.read(StatusRegister, 1).value(0) & NvSavedBit));
            QVERIFY(master.write(SaveCommand, { 1 }));
            QVERIFY(master.read(StatusRegister, 1).value(0) & NvSavedBit);
            QVERIFY(QFileInfo::exists(stateFile));
            QVERIFY(master.write(AnOutputModeRegister, { 4 }));
            QVERIFY(!(master.read(StatusRegister, 1).value(0) & NvSavedBit));
            QVERIFY(master.write(BitRateRegister, { 2 }));
        }
        {
            Master faster(simulator.linkPath(), 38400);
            QVERIFY(faster.write(ResetCommand, { 1 }));     // acknowledged at 38400
        }
        // Back at the saved 19200, with the saved values.
        Master master(simulator.linkPath(), 19200);
        QCOMPARE(master.read(DelayRegister, 2), (QVector<quint16>{ 7, 1 }));
        QCOMPARE(master.read(BitRateRegister, 1), QVector<quint16>{ 1 });
        QVERIFY(master.read(StatusRegister, 1).value(0) & NvSavedBit);
        QVERIFY(master.write(DelayRegister, { 9 }));
    }
    // Powered up again, it starts from what it saved, not from what it had.
    SimulatorProcess simulator({ "--state", stateFile, "--delay", "3" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath(), 19200);
    QCOMPARE(master.read(DelayRegister, 1), QVector<quint16>{ 7 });

    // Without a save, a reset goes back to the start-up configuration.
    SimulatorProcess unsaved({ "--delay", "3" });
    QVERIFY(unsaved.start());
    Master other(unsaved.linkPath(), 19200);
    QVERIFY(other.write(DelayRegister, { 50 }));
    QVERIFY(other.write(ResetCommand, { 1 }));
    QCOMPARE(other.read(DelayRegister, 1), QVector<quint16>{ 3 });
}

void TestSensorSim::answerFromNeedsIdenticalAttempts()
{
    SimulatorProcess simulator({ "--answer-from", "3" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath(), 19200);
    master.setTimeouts(150, 50);
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
    QCOMPARE(master.read(NodeRegister, 1), QVector<quint16>{ 1 });
    // Counting starts over after an answer and at every different request.
    QVERIFY(master.read(NodeRegister, 1).isEmpty());
    QVERIFY(master.read(BitRateRegister, 1).isEmpty());
    QVERIFY(master.read(NodeRegister, 1).isEmpty());

    QStringList reasons;
    for (const SimRequest &request : simulator.requests())
        reasons << request.reason;
    QCOMPARE(reasons, (QStringList{ "waiting-attempt", "waiting-attempt", "-", "waiting-attempt",
                                    "waiting-attempt", "waiting-attempt" }));
    simulator.clearRequests();
    QVERIFY(simulator.requests().isEmpty());
}

void TestSensorSim::vanishingPort()
{
    SimulatorProcess simulator({ "--vanish-after", "2" });
    QVERIFY(simulator.start());
    Master master(simulator.linkPath(), 19200);
    QCOMPARE(master.read(NodeRegister, 1), QVector<quint16>{ 1 });
    QCOMPARE(master.read(NodeRegister, 1), QVector<quint16>{ 1 });
    QVERIFY(waitUntilGone(simulator.linkPath()));
    QCOMPARE(simulator.waitForExit(), 0);
    master.setTimeouts(150, 50);
    QVERIFY(master.read(NodeRegister, 1).isEmpty());

    SimulatorProcess unplugged;
    QVERIFY(unplugged.start());
    QVERIFY(QFileInfo(unplugged.linkPath()).isSymLink());
    unplugged.vanish();
    QVERIFY(!QFileInfo(unplugged.linkPath()).isSymLink());
    QVERIFY(!unplugged.isRunning());
    QCOMPARE(unplugged.waitForExit(), 0);

    // Stopping withdraws the link as well.
    SimulatorProcess stopped;
    QVERIFY(stopped.start());
    stopped.stop();
    QVERIFY(!QFileInfo(stopped.linkPath()).isSymLink());
}

QTEST_GUILESS_MAIN(TestSensorSim)
#include "tst_sensorsim.moc"
