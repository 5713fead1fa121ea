#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "ops/scanplan.h"
#include "ops/sensorsearch.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QSet>
#include <QSignalSpy>
#include <QtTest>

namespace {
QSet<QString> keys(const QVector<ScanProbe> &probes)
{
    QSet<QString> result;
    for (const ScanProbe &probe : probes)
        result.insert(QStringLiteral("%1/%2/%3").arg(probe.slave).arg(probe.bitRateCode).arg(probe.framingCode));
    return result;
}

// Two-word reads at `address` the simulator received (0x8000: probes of the
// serial number, 0x8002: the firmware version).
int readsOf(const QList<SimRequest> &requests, int address)
{
    return int(std::count_if(requests.begin(), requests.end(), [&](const SimRequest &request) {
        return request.function == 3 && request.address == address && request.count == 2;
    }));
}

// Runs the search to its end; -1 when it did not start or did not end.
int runSearch(SensorSearch &search, const QString &device, const ScanPlan &plan, bool stopAtFirst)
{
    QSignalSpy finished(&search, &SensorSearch::finished);
    if (!search.start(device, plan, CommTiming(), stopAtFirst) || !finished.wait(60000))
        return -1;
    return int(finished.first().first().value<SensorSearch::Outcome>());
}
}

class TestSensorSearch : public QObject
{
    Q_OBJECT

private slots:
    void planPutsLikelyProbesFirstAndCoversTheBusOnce();
    void planKeepsToTheRange();
    void probeTimeoutAddsTheWireTime();
    void findsSensorWithOneAttemptPerProbeAndStoredLineFirst();
    void deviceThatWillNotOpenEndsTheSearch();

private:
    TestEnvironment environment;
};

void TestSensorSearch::planPutsLikelyProbesFirstAndCoversTheBusOnce()
{
    const ScanProbe stored { 200, 3, 2 };
    const QVector<ScanProbe> probes = ScanPlan(ScanRange(), stored, 25).probes();
    QCOMPARE(probes.size(), 247 * 5 * 4);
    QCOMPARE(keys(probes).size(), probes.size());
    QCOMPARE(probes.at(0), stored);
    QCOMPARE(probes.at(1), FactoryProbe);
    // Then address 1 and the stored address at all twenty lines.
    QSet<QString> likely;
    for (int bitRate = 0; bitRate < 5; ++bitRate) {
        for (int framing = 0; framing < 4; ++framing)
            likely += keys({ { 1, bitRate, framing }, { 200, bitRate, framing } });
    }
    QCOMPARE(keys(probes.mid(0, 40)), likely);

    // The rest goes line by line, stored line first, factory line next,
    // each line's addresses in order: the port changes line 19 times.
    const QVector<ScanProbe> rest = probes.mid(40);
    QVERIFY(rest.first().sameLine(stored));
    int lineChanges = 0;
    for (int i = 1; i < rest.size(); ++i) {
        if (rest.at(i).sameLine(rest.at(i - 1)))
            QVERIFY(rest.at(i).slave > rest.at(i - 1).slave);
        else if (++lineChanges == 1)
            QVERIFY(rest.at(i).sameLine(FactoryProbe));
    }
    QCOMPARE(lineChanges, 19);
}

void TestSensorSearch::planKeepsToTheRange()
{
    const ScanRange range { 195, 205, { 2, 3, 4 }, { 2, 3 } };
    // A stored line outside the range is not probed at all.
    const ScanPlan outside(range, FactoryProbe, 25);
    QCOMPARE(outside.size(), 11 * 3 * 2);
    QCOMPARE(keys(outside.probes()).size(), outside.size());
    for (const ScanProbe &probe : outside.probes())
        QVERIFY(probe.slave >= 195 && probe.slave <= 205 && range.bitRateCodes.contains(probe.bitRateCode)
                && range.framingCodes.contains(probe.framingCode));
    // One inside it still comes first.
    const ScanPlan inside(range, ScanProbe { 201, 4, 3 }, 25);
    QCOMPARE(inside.size(), outside.size());
    QCOMPARE(inside.at(0), (ScanProbe { 201, 4, 3 }));

    QVERIFY(ScanPlan(ScanRange { 1, 247, {}, { 0 } }, ScanProbe(), 25).isEmpty());
    QVERIFY(ScanPlan(ScanRange { 10, 9, { 1 }, { 0 } }, ScanProbe(), 25).isEmpty());
}

void TestSensorSearch::probeTimeoutAddsTheWireTime()
{
    // A probe puts 8 + 9 characters on the wire: 170 bits at 8N1, 187 with
    // a parity or second stop bit.
    QCOMPARE(probeTimeoutMs(0, 0, 25), 25 + 18);   // 17.7 ms at 9600
    QCOMPARE(probeTimeoutMs(0, 3, 25), 25 + 20);   // 19.5 ms
    QCOMPARE(probeTimeoutMs(4, 1, 40), 40 + 2);    // 1.6 ms at 115200

    // Time left counts the timeouts of the probes still to come.
    const ScanPlan plan(ScanRange { 5, 6, { 0, 4 }, { 0 } }, ScanProbe { 5, 0, 0 }, 25);
    QCOMPARE(plan.size(), 4);
    QCOMPARE(plan.remainingTimeMs(0), qint64(43 + 27 + 43 + 27));
    QCOMPARE(plan.remainingTimeMs(3), qint64(27));
    QCOMPARE(plan.remainingTimeMs(4), qint64(0));
}

void TestSensorSearch::findsSensorWithOneAttemptPerProbeAndStoredLineFirst()
{
    SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2",
                                 "--serial", "4012345", "--firmware", "0x80010203" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    // Stop at the first sensor off: the search goes on to the end.
    const ScanPlan plan(ScanRange { 195, 205, { 2, 3, 4 }, { 0, 1, 2, 3 } }, FactoryProbe, 25);
    QCOMPARE(runSearch(search, simulator.linkPath(), plan, false), int(SensorSearch::Completed));
    QCOMPARE(search.sensors().size(), 1);
    const FoundSensor &sensor = search.sensors().first();
    QCOMPARE(sensor.serialNumber, 4012345u);
    QCOMPARE(sensor.firmwareVersion, 0x80010203u);
    QCOMPARE((ScanProbe { sensor.slave, sensor.bitRateCode, sensor.framingCode }), (ScanProbe { 200, 3, 2 }));
    QCOMPARE(search.probesDone(), plan.size());
    QVERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());
    QCOMPARE(readsOf(simulator.requests(), 0x8000), plan.size());
    QCOMPARE(readsOf(simulator.requests(), 0x8002), 1);

    // Stopping at the first sensor, the stored line finds it at once.
    const ScanPlan stored(ScanRange(), ScanProbe { 200, 3, 2 }, 25);
    QCOMPARE(runSearch(search, simulator.linkPath(), stored, true), int(SensorSearch::StoppedAtSensor));
    QCOMPARE(search.probesDone(), 1);
    QCOMPARE(search.sensors().size(), 1);
    QVERIFY(!linkThread.link().isOpen());
}

void TestSensorSearch::deviceThatWillNotOpenEndsTheSearch()
{
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    const QString device = environment.runtimeDirectory() + QStringLiteral("/unplugged");
    QCOMPARE(runSearch(search, device, ScanPlan(ScanRange(), ScanProbe(), 25), true), int(SensorSearch::PortFailed));
    QCOMPARE(search.probesDone(), 0);
    QVERIFY(search.failureReason().contains(device));
}

QTEST_GUILESS_MAIN(TestSensorSearch)
#include "tst_sensorsearch.moc"
