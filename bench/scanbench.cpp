// Speed of the sensor search against the simulator.
//
// Two figures matter to a technician at a sensor nobody documented: how
// long a search of the whole bus takes (247 addresses at 5 bit rates and 4
// framings, 4940 probes, at the default timing), and how soon a sensor that
// still has its factory settings is found when the program had stored some
// other line. Both run the program's own search (SensorSearch on a
// LinkThread, as the dialog does) against kelvane-sim on a pseudo-terminal,
// with the simulator taking as long to answer as the bit rate would.
//
// The whole-bus figure is printed next to the sum of the probe timeouts, the
// time the search would take if setting the port up and sending cost
// nothing; the difference per probe is the search's own overhead.

#include "link/linkthread.h"
#include "link/serialline.h"
#include "ops/scanplan.h"
#include "ops/sensorsearch.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int FactorySearches = 9;

struct SearchRun
{
    bool ok = false;
    qint64 elapsedMs = 0;
    int probes = 0;
    int sensors = 0;
};

SearchRun runSearch(const QString &device, const ScanPlan &plan, bool stopAtFirst)
{
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    QEventLoop loop;
    SensorSearch::Outcome outcome = SensorSearch::Cancelled;
    QObject::connect(&search, &SensorSearch::finished, &loop, [&](SensorSearch::Outcome ended) {
        outcome = ended;
        loop.quit();
    });
    SearchRun run;
    if (!search.start(device, plan, CommTiming(), stopAtFirst))
        return run;
    loop.exec();
    run.ok = outcome == (stopAtFirst ? SensorSearch::StoppedAtSensor : SensorSearch::Completed);
    run.elapsedMs = search.elapsedMs();
    run.probes = search.probesDone();
    run.sensors = search.sensors().size();
    return run;
}

QString lineName(const ScanProbe &probe)
{
    return QStringLiteral("address %1, %2 %3").arg(probe.slave).arg(baudForCode(probe.bitRateCode))
            .arg(framingName(probe.framingCode));
}
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const TestEnvironment environment;
    const int requestTimeMs = CommTiming().requestTimeMs;

    // A sensor somewhere in the middle of the bus; the search goes on past
    // it to the end.
    const ScanProbe hidden { 123, 2, 3 };
    SimulatorProcess middle({ "--frame-timing", "--node", QString::number(hidden.slave),
                              "--bitrate", QString::number(hidden.bitRateCode),
                              "--serialconf", QString::number(hidden.framingCode) });
    if (!middle.start())
        return 1;
    const ScanPlan wholeBus(ScanRange(), FactoryProbe, requestTimeMs);
    std::printf("Sensor search against kelvane-sim with frame timing, request time %d ms.\n\n", requestTimeMs);
    std::printf("Whole bus, sensor at %s, search not stopped at it:\n", qPrintable(lineName(hidden)));
    std::fflush(stdout);
    const SearchRun whole = runSearch(middle.linkPath(), wholeBus, false);
    if (!whole.ok || whole.probes != wholeBus.size() || whole.sensors != 1) {
        std::printf("  the search failed (%d probes, %d sensors)\n", whole.probes, whole.sensors);
        return 1;
    }
    const double wholeSeconds = whole.elapsedMs / 1000.0;
    const double plannedSeconds = wholeBus.remainingTimeMs(0) / 1000.0;
    std::printf("  %d probes in %.1f s = %.1f probes/s (target <= 180 s)\n", whole.probes, wholeSeconds,
                whole.probes / wholeSeconds);
    std::printf("  sum of the probe timeouts %.1f s; %.2f ms per probe beyond them\n\n", plannedSeconds,
                (whole.elapsedMs - wholeBus.remainingTimeMs(0)) / double(whole.probes));
    middle.stop();

    // A sensor at its factory settings, the program having stored another
    // line: the stored line is probed first, in vain.
    SimulatorProcess factory({ "--frame-timing" });
    if (!factory.start())
        return 1;
    const ScanProbe stored { 17, 4, 3 };
    const ScanPlan factoryFirst(ScanRange(), stored, requestTimeMs);
    std::vector<qint64> times;
    for (int i = 0; i < FactorySearches; ++i) {
        const SearchRun run = runSearch(factory.linkPath(), factoryFirst, true);
        if (!run.ok || run.probes != 2) {
            std::printf("the factory sensor was not found at the second probe (%d probes)\n", run.probes);
            return 1;
        }
        times.push_back(run.elapsedMs);
    }
    std::sort(times.begin(), times.end());
    std::printf("Sensor at factory settings, stored line %s:\n", qPrintable(lineName(stored)));
    std::printf("  found after 2 probes in %lld ms (median of %d searches, slowest %lld ms; "
                "target < 1000 ms)\n", static_cast<long long>(times[times.size() / 2]), FactorySearches,
                static_cast<long long>(times.back()));
    return 0;
}
