// Speed of one tick of the timed reading against the simulator.
//
// A tick reads the live values of every sensor of the line, one sensor after
// the other, so on a line of sixteen sensors it is the tick, not the period
// the user picked, that sets how often each sensor is sampled. Here a tick
// of the program's own timed reading (TimedReading on a LinkThread, the
// session listing the sensors, the period 0 ms so that ticks run back to
// back) is timed from one ticked signal to the next: the transfers, the
// hand-over between the threads, the session, the CSV rows and the timer
// that starts the next tick. Next to it runs the least any master could
// do: a bare libmodbus loop with one modbus_read_registers per live value,
// the same registers of the same sensors in the same order.
//
// Both run against one kelvane-sim with sixteen sensors, replying as slowly
// as 19200 8N1 would, at the program's default line and transfer timing.
// They take turns in short rounds, so that both share what else the machine
// is doing, and the median tick of each is compared.
//
// The bare loop sends each request as soon as the last reply is in, where
// SensorLink first waits 3.5 characters for a stray byte, so that a repeated
// or garbled reply never answers the next request. A third run, the bare
// loop with that wait added, shows how much of the difference it accounts
// for; what is left is the program's own cost per read.
//
// The same comparison runs on the simulator's two network lines, on
// loopback: Modbus TCP, where the program keeps no silence and is held to
// the bare loop (modbus_new_tcp), and RTU over TCP, where it keeps the
// serial line's silence and is held to the bare loop plus that silence (an
// RTU context on a connected socket handed in with modbus_set_socket).

#include "device/parametertable.h"
#include "link/commtiming.h"
#include "link/linkthread.h"
#include "link/networkline.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
#include "link/seriallinesettings.h"
#include "acq/timedreading.h"
#include "session/linesession.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int SensorsOnLine = 16;
constexpr int SensorCounts[] = { 1, 4, SensorsOnLine };
constexpr int Rounds = 6;
constexpr int TicksPerRound = 5;

int addressOf(int sensor) { return sensor + 1; }

// A block of ticks of one kind: their durations, the values they read and
// the reads that failed.
struct TickBlock
{
    std::vector<double> ms;
    int valuesRead = 0;
    int failures = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs a job on the link's thread and waits for its completion.
void runOnLink(LinkThread &link, LinkThread::Job job)
{
    QEventLoop loop;
    link.run(std::move(job), [&loop] { loop.quit(); });
    loop.exec();
}

// Ticks of the program's timed reading: the link opened at the session's
// line, a run started at period 0, and the time from each ticked
// signal to the next one. The run's first tick follows the reading of the
// sensors' identities and is the start of the first interval.
TickBlock programTicks(LinkThread &link, TimedReading &reading, const QString &device, const SerialLineSettings &line)
{
    TickBlock block;
    bool opened = false;
    runOnLink(link, [&](SensorLink &sensorLink) {
        opened = sensorLink.open(device, line.bitRateCode, line.framingCode);
    });
    if (!opened) {
        block.failures = 1;
        return block;
    }
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 lastTickNs = -1;
    const auto tickDone = [&] {
        const qint64 nowNs = clock.nsecsElapsed();
        if (lastTickNs >= 0)
            block.ms.push_back((nowNs - lastTickNs) / 1e6);
        lastTickNs = nowNs;
        if (int(block.ms.size()) == TicksPerRound) {
            reading.stop();
            loop.quit();
        }
    };
    const auto failed = [&] { ++block.failures; };
    const auto stopped = [&] {
        ++block.failures;
        loop.quit();
    };
    const QList<QMetaObject::Connection> connections {
        QObject::connect(&reading, &TimedReading::ticked, tickDone),
        // A run of one sensor reports its failed read instead of the tick.
        QObject::connect(&reading, &TimedReading::tickFailed, [&] {
            failed();
            tickDone();
        }),
        QObject::connect(&reading, &TimedReading::sensorLost, failed),
        // The values of the tick that starts the first interval are not
        // those of a timed tick.
        QObject::connect(&reading, &TimedReading::sampled,
                         [&](int, const QDateTime &, double, const QVector<int> &, const QVector<ReadValue> &values) {
                             if (lastTickNs >= 0)
                                 block.valuesRead += values.size();
                         }),
        QObject::connect(&reading, &TimedReading::startFailed, stopped),
        QObject::connect(&reading, &TimedReading::logFailed, stopped),
        QObject::connect(&reading, &TimedReading::lineLost, stopped),
    };
    clock.start();
    reading.start(0);
    loop.exec();
    for (const QMetaObject::Connection &connection : connections)
        QObject::disconnect(connection);
    runOnLink(link, [](SensorLink &sensorLink) { sensorLink.close(); });
    return block;
}

// The same reads through libmodbus alone, opened the plain way at the same
// line; one untimed tick first, as the program's run starts with one. With
// silenceMs, each reply is followed by a wait of that long for a stray byte,
// as SensorLink keeps the 3.5-character silence after every reply.
// A bare libmodbus context on the line of device: the serial port, a
// Modbus TCP context, or an RTU context on a socket connected to the gateway.
modbus_t *bareContext(const QString &device, const SerialLineSettings &line)
{
    const LineSettings settings = lineSettingsForCodes(line.bitRateCode, line.framingCode);
    NetworkLine network;
    if (!NetworkLine::parse(device, &network)) {
        modbus_t *context = modbus_new_rtu(device.toLocal8Bit().constData(), settings.baud, settings.parity,
                                           settings.dataBits, settings.stopBits);
        if (context && modbus_connect(context) == -1) {
            modbus_free(context);
            return nullptr;
        }
        return context;
    }
    if (network.protocol == NetworkLine::Protocol::ModbusTcp) {
        modbus_t *context = modbus_new_tcp(network.host.toLatin1().constData(), network.port);
        if (context && modbus_connect(context) == -1) {
            modbus_free(context);
            return nullptr;
        }
        return context;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(network.port));
    ::inet_pton(AF_INET, network.host.toLatin1().constData(), &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    modbus_t *context = modbus_new_rtu("rtu-over-tcp", settings.baud, settings.parity, settings.dataBits,
                                       settings.stopBits);
    modbus_set_socket(context, fd);
    return context;
}

void closeBareContext(modbus_t *context, const QString &device)
{
    if (NetworkLine::looksLikeUrl(device)) {
        ::close(modbus_get_socket(context));
        modbus_set_socket(context, -1);
    } else {
        modbus_close(context);
    }
    modbus_free(context);
}

TickBlock bareTicks(const QString &device, const SerialLineSettings &line, int sensors, int silenceMs)
{
    TickBlock block;
    modbus_t *context = bareContext(device, line);
    if (!context) {
        block.failures = 1;
        return block;
    }
    pollfd incoming = { modbus_get_socket(context), POLLIN, 0 };
    QElapsedTimer clock;
    for (int tick = 0; tick <= TicksPerRound; ++tick) {
        clock.start();
        for (int sensor = 0; sensor < sensors; ++sensor) {
            modbus_set_slave(context, addressOf(sensor));
            for (int id : liveIds) {
                const ParameterDescriptor &descriptor = parameterDescriptor(id);
                quint16 words[2] = { 0, 0 };
                const int count = descriptor.registerCount();
                if (modbus_read_registers(context, descriptor.readAddress, count, words) != count)
                    ++block.failures;
                else if (tick > 0)
                    ++block.valuesRead;
                if (silenceMs > 0 && ::poll(&incoming, 1, silenceMs) != 0)
                    ++block.failures;
            }
        }
        if (tick > 0)
            block.ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    closeBareContext(context, device);
    return block;
}

void append(TickBlock &total, const TickBlock &block)
{
    total.ms.insert(total.ms.end(), block.ms.begin(), block.ms.end());
    total.valuesRead += block.valuesRead;
    total.failures += block.failures;
}

// The wait SensorLink keeps after each reply: 3.5 characters (1.75 ms above
// 19200 bit/s), rounded up to whole milliseconds for poll().
int replySilenceMs(const SerialLineSettings &line)
{
    const LineSettings settings = lineSettingsForCodes(line.bitRateCode, line.framingCode);
    const int bitsPerCharacter = 1 + settings.dataBits + (settings.parity == 'N' ? 0 : 1) + settings.stopBits;
    const int silenceUs = settings.baud > 19200 ? 1750 : int(3.5 * bitsPerCharacter * 1e6 / settings.baud + 0.5);
    return (silenceUs + 999) / 1000;
}

// The medians of a case, milliseconds per tick.
struct CaseResult
{
    int sensors = 0;
    double programMs = 0;
    double bareMs = 0;
    double silentBareMs = 0;
};

// Rounds of program ticks and bare ticks (plain, then keeping the silence),
// taking turns, for the first `sensors` sensors of the line; false when a
// read failed anywhere.
bool runCase(const QString &device, int sensors, const QString &logDirectory, CaseResult *result)
{
    const SerialLineSettings line;
    LinkThread link;
    link.setTiming(CommTiming());
    LineSession session(line);
    for (int sensor = 0; sensor < sensors; ++sensor) {
        LineSensor listed;
        listed.address = addressOf(sensor);
        session.addSensor(listed);
    }
    TimedReading reading(&link, &session);
    reading.setOutputDirectory(logDirectory);
    TickBlock program, bare, silentBare;
    for (int round = 0; round < Rounds; ++round) {
        append(program, programTicks(link, reading, device, line));
        append(bare, bareTicks(device, line, sensors, 0));
        append(silentBare, bareTicks(device, line, sensors, replySilenceMs(line)));
    }
    const int values = Rounds * TicksPerRound * sensors * int(liveIds.size());
    for (const TickBlock *block : { &program, &bare, &silentBare }) {
        if (block->failures != 0 || block->valuesRead != values) {
            std::printf("%7d | reads failed: %d failures, %d of %d values\n", sensors, block->failures,
                        block->valuesRead, values);
            return false;
        }
    }
    result->sensors = sensors;
    result->programMs = median(program.ms);
    result->bareMs = median(bare.ms);
    result->silentBareMs = median(silentBare.ms);
    return true;
}
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const TestEnvironment environment;

    // The simulator serves its sensors on its pseudo-terminal and on both
    // gateways alike.
    QStringList arguments { "--frame-timing", "--tcp", "0", "--rtu-over-tcp", "0" };
    for (int sensor = 0; sensor < SensorsOnLine; ++sensor)
        arguments << "--sensor" << QStringLiteral("%1:%2").arg(addressOf(sensor)).arg(7000 + addressOf(sensor));
    SimulatorProcess simulator(arguments);
    if (!simulator.start() || simulator.servedLines().size() != 2)
        return 1;
    QTemporaryDir logDirectory;
    if (!logDirectory.isValid())
        return 1;

    const CommTiming timing;
    const SerialLineSettings line;
    std::printf("One tick of the timed reading against kelvane-sim with frame timing, %d sensors on the line,\n"
                "%d %s, request time %d ms (%d ms over a network line), response time %d ms (%d ms), %d attempts,\n"
                "%d live values per sensor.\n"
                "program: TimedReading on a LinkThread at period 0 ms, from one ticked signal to the next;\n"
                "bare: one modbus_read_registers per live value. Median of %d ticks each, in %d rounds.\n",
                SensorsOnLine, baudForCode(line.bitRateCode), qPrintable(framingName(line.framingCode)),
                timing.requestTimeMs, timing.networkRequestTimeMs, timing.responseTimeMs,
                timing.networkResponseTimeMs, timing.maxRetries, int(liveIds.size()), Rounds * TicksPerRound, Rounds);
    const struct { const char *name; QString device; bool silenceOwed; double target; } kinds[] = {
        { "Serial line (pseudo-terminal)", simulator.linkPath(), false, 1.10 },
        { "Modbus TCP on loopback", simulator.servedLines().at(0), false, 1.05 },
        { "RTU over TCP on loopback, against the bare loop plus the silence", simulator.servedLines().at(1), true,
          1.05 },
    };
    for (const auto &kind : kinds) {
        std::printf("\n%s:\n", kind.name);
        std::printf("sensors | program ms/tick | bare ms/tick | bare+silence ms/tick | ratio\n");
        std::fflush(stdout);
        QVector<CaseResult> results;
        double worst = 0;
        for (int sensors : SensorCounts) {
            CaseResult result;
            if (!runCase(kind.device, sensors, logDirectory.path(), &result))
                return 1;
            results << result;
            const double ratio = result.programMs / (kind.silenceOwed ? result.silentBareMs : result.bareMs);
            worst = std::max(worst, ratio);
            std::printf("%7d | %15.2f | %12.2f | %20.2f | %5.2f\n", sensors, result.programMs, result.bareMs,
                        result.silentBareMs, ratio);
            std::fflush(stdout);
        }
        // What the program does beyond the bare loop that keeps what the
        // program keeps (the silence after each reply, but over Modbus TCP),
        // read by read.
        const bool silenceKept = !kind.device.startsWith(QLatin1String("tcp://"));
        std::printf("program ms/read beyond %s:", silenceKept ? "bare+silence" : "bare");
        for (const CaseResult &result : qAsConst(results))
            std::printf(" %.3f", (result.programMs - (silenceKept ? result.silentBareMs : result.bareMs))
                                         / (result.sensors * int(liveIds.size())));
        std::printf("\nworst ratio = %.2f (target <= %.2f)\n", worst, kind.target);
    }
    return 0;
}
