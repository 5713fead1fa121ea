// CPU time and memory of kelvaset-logger over a long run.
//
// A logger runs for months, so what it costs per tick must not change with
// the run's length, and nothing may pile up in memory. Two parts:
//
// The logger's own wiring (LineLogger, as kelvaset-logger runs it) against
// the simulator: one sensor at 115200 8N1, ticks back to back (period 1 ms),
// each writing its row to the raw CSV, interval records of 1 s, and the MQTT
// feed aimed at a loopback port where no broker listens, so that every
// message waits in the publisher's queue (bounded at 2000 here) and the
// reconnection goes on in the background. At each checkpoint it prints the
// CPU time per tick since the last one (user and system, every thread of
// the process: the link's, the MQTT library's) and the resident memory.
//
// A simulated week: RecordLog driven through seven days of 1 s samples on a
// simulated clock, advanced after every sample as the logger does after
// every tick, writing its 60 s records to disk; resident memory after each
// day and the CPU time per sample.

#include "acq/recordlog.h"
#include "acq/timedreading.h"
#include "device/parametertable.h"
#include "logger/linelogger.h"
#include "logger/loggeroptions.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int Checkpoints[] = { 1000, 4000, 8000, 16000 };
constexpr int WeekDays = 7;
constexpr int SecondsPerDay = 86400;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool loggerRun(const QString &directory)
{
    SimulatorProcess simulator({ QStringLiteral("--sensor"), QStringLiteral("1:9001"), QStringLiteral("--bitrate"),
                                 QStringLiteral("4") });
    if (!simulator.start())
        return false;
    const LoggerCommandLine commandLine = parseLoggerCommandLine(QStringLiteral(
            "kelvaset-logger --port %1 --address 1 --bit-rate 115200 --period 1 --record 1 --out %2 "
            "--mqtt 127.0.0.1:1 --mqtt-queue 2000").arg(simulator.name(), directory).split(QLatin1Char(' ')));
    if (commandLine.action != LoggerCommandLine::Action::Run) {
        std::fprintf(stderr, "%s\n", qPrintable(commandLine.text));
        return false;
    }
    LineLogger logger(commandLine.options);
    auto *reading = logger.findChild<TimedReading *>();
    QEventLoop loop;
    int ticks = 0;
    int checkpoint = 0;
    double lastCpu = cpuSeconds();
    int lastTicks = 0;
    QObject::connect(reading, &TimedReading::ticked, [&] {
        if (++ticks != Checkpoints[checkpoint])
            return;
        const double cpu = cpuSeconds();
        std::printf("  %8d | %20.3f | %12.1f\n", ticks, (cpu - lastCpu) * 1000.0 / (ticks - lastTicks), residentMiB());
        std::fflush(stdout);
        lastCpu = cpu;
        lastTicks = ticks;
        if (++checkpoint == int(std::size(Checkpoints)))
            logger.stop();
    });
    QObject::connect(&logger, &LineLogger::finished, &loop, &QEventLoop::quit);
    std::printf("LineLogger against the simulator, 1 sensor at 115200 8N1, ticks back to back,\n"
                "records of 1 s, MQTT queue of 2000 messages with no broker:\n"
                "     ticks | CPU ms/tick since last | resident MiB\n");
    QElapsedTimer clock;
    clock.start();
    logger.start();
    loop.exec();
    std::printf("  %d ticks in %.1f s\n\n", ticks, clock.elapsed() / 1000.0);
    return checkpoint == int(std::size(Checkpoints));
}

void simulatedWeek(const QString &directory)
{
    std::printf("RecordLog through a week of 1 s samples on a simulated clock, 60 s records:\n"
                "  day | resident MiB | CPU us/sample\n");
    RecordLog log(directory, QStringLiteral("9001"), 60, availableLiveIds(FirmwareWithSpeed));
    const QDateTime start(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
    for (int day = 1; day <= WeekDays; ++day) {
        const double cpu = cpuSeconds();
        for (int second = 0; second < SecondsPerDay; ++second) {
            const QDateTime time = start.addSecs(qint64(day - 1) * SecondsPerDay + second);
            log.addSample({ time, { { IdIrradiance, 800.0 + second % 200 }, { IdTemp, 25.25 }, { IdSpeed, 3.1 } } });
            log.advanceTo(time);
        }
        std::printf("  %3d | %12.1f | %13.2f\n", day, residentMiB(), (cpuSeconds() - cpu) * 1e6 / SecondsPerDay);
        std::fflush(stdout);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvaset-logger"));
    // A runtime directory of its own, where the simulator announces its port.
    TestEnvironment environment;
    QTemporaryDir directory;
    if (!loggerRun(directory.filePath(QStringLiteral("logger"))))
        return 1;
    simulatedWeek(directory.path());
    return 0;
}
