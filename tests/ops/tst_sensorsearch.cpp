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

ScanRange narrowRange(int first, int last, const QVector<int> &bitRateCodes, const QVector<int> &framingCodes)
{
    ScanRange range;
    range.firstSlave = first;
    range.lastSlave = last;
    range.bitRateCodes = bitRateCodes;
    range.framingCodes = framingCodes;
    return range;
}

// Reads of the serial number (probes) and of the firmware version the
// simulator received.
int readsOf(const QList<SimRequest> &requests, int address)
{
    int count = 0;
    for (const SimRequest &request : requests) {
        if (request.function == 3 && request.address == address && request.count == 2)
            ++count;
    }
    return count;
}
}

class TestSensorSearch : public QObject
{
    Q_OBJECT

private slots:
    void planPutsLikelyProbesFirstAndCoversTheBusOnce();
    void planKeepsToTheRange();
    void probeTimeoutAddsTheWireTime();
    void findsSensorWithOneAttemptPerProbe();
    void storedLineIsProbedFirst();
    void deviceThatWillNotOpenEndsTheSearch();

private:
    struct Finished
    {
        bool ok = false;
        SensorSearch::Outcome outcome = SensorSearch::Completed;
    };
    Finished runSearch(SensorSearch &search, const QString &device, const ScanPlan &plan, bool stopAtFirst);

    TestEnvironment environment;
};

TestSensorSearch::Finished TestSensorSearch::runSearch(SensorSearch &search, const QString &device,
                                                       const ScanPlan &plan, bool stopAtFirst)
{
    QSignalSpy finished(&search, &SensorSearch::finished);
    Finished result;
    if (!search.start(device, plan, CommTiming(), stopAtFirst))
        return result;
    if (!finished.wait(60000))
        return result;
    result.ok = true;
    result.outcome = finished.first().first().value<SensorSearch::Outcome>();
    return result;
}

void TestSensorSearch::planPutsLikelyProbesFirstAndCoversTheBusOnce()
{
    const ScanProbe stored { 200, 3, 2 };
    const ScanPlan plan(ScanRange(), stored, 25);
    const QVector<ScanProbe> &probes = plan.probes();
    QCOMPARE(probes.size(), 247 * 5 * 4);
    QCOMPARE(keys(probes).size(), probes.size());

    QCOMPARE(probes.at(0), stored);
    QCOMPARE(probes.at(1), (ScanProbe { 1, 1, 0 }));
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
        if (!rest.at(i).sameLine(rest.at(i - 1))) {
            ++lineChanges;
            if (lineChanges == 1)
                QVERIFY(rest.at(i).sameLine(ScanProbe { 1, 1, 0 }));
        } else {
            QVERIFY(rest.at(i).slave > rest.at(i - 1).slave);
        }
    }
    QCOMPARE(lineChanges, 19);
}

void TestSensorSearch::planKeepsToTheRange()
{
    const ScanRange range = narrowRange(195, 205, { 2, 3, 4 }, { 2, 3 });
    // A stored line outside the range is not probed at all.
    const ScanPlan outside(range, ScanProbe { 1, 1, 0 }, 25);
    QCOMPARE(outside.size(), 11 * 3 * 2);
    QCOMPARE(keys(outside.probes()).size(), outside.size());
    for (const ScanProbe &probe : outside.probes()) {
        QVERIFY(probe.slave >= 195 && probe.slave <= 205);
        QVERIFY(range.bitRateCodes.contains(probe.bitRateCode));
        QVERIFY(range.framingCodes.contains(probe.framingCode));
    }
    // One inside it still comes first.
    const ScanPlan inside(range, ScanProbe { 201, 4, 3 }, 25);
    QCOMPARE(inside.size(), outside.size());
    QCOMPARE(inside.at(0), (ScanProbe { 201, 4, 3 }));

    QVERIFY(ScanPlan(narrowRange(1, 247, {}, { 0 }), ScanProbe(), 25).isEmpty());
    QVERIFY(ScanPlan(narrowRange(10, 9, { 1 }, { 0 }), ScanProbe(), 25).isEmpty());
}

void TestSensorSearch::probeTimeoutAddsTheWireTime()
{
    // A probe puts 8 + 9 characters on the wire: 170 bits at 8N1, 187 with
    // a parity or second stop bit.
    QCOMPARE(probeTimeoutMs(0, 0, 25), 25 + 18);   // 17.7 ms at 9600
    QCOMPARE(probeTimeoutMs(0, 3, 25), 25 + 20);   // 19.5 ms
    QCOMPARE(probeTimeoutMs(1, 2, 40), 40 + 10);   // 9.7 ms at 19200
    QCOMPARE(probeTimeoutMs(4, 1, 25), 25 + 2);    // 1.6 ms at 115200

    // Time left counts the timeouts of the probes still to come.
    const ScanPlan plan(narrowRange(5, 6, { 0, 4 }, { 0 }), ScanProbe { 5, 0, 0 }, 25);
    QCOMPARE(plan.size(), 4);
    QCOMPARE(plan.remainingTimeMs(0), qint64(43 + 27 + 43 + 27));
    QCOMPARE(plan.remainingTimeMs(3), qint64(27));
    QCOMPARE(plan.remainingTimeMs(4), qint64(0));
}

void TestSensorSearch::findsSensorWithOneAttemptPerProbe()
{
    SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2",
                                 "--serial", "4012345", "--firmware", "0x80010203" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    // Stop at the first sensor off: the search goes on to the end.
    const ScanPlan plan(narrowRange(195, 205, { 2, 3, 4 }, { 0, 1, 2, 3 }), ScanProbe { 1, 1, 0 }, 25);
    const Finished finished = runSearch(search, simulator.linkPath(), plan, false);
    QVERIFY(finished.ok);
    QCOMPARE(finished.outcome, SensorSearch::Completed);

    QCOMPARE(search.sensors().size(), 1);
    const FoundSensor &sensor = search.sensors().first();
    QCOMPARE(sensor.serialNumber, 4012345u);
    QCOMPARE(sensor.firmwareVersion, 0x80010203u);
    QCOMPARE(sensor.slave, 200);
    QCOMPARE(sensor.bitRateCode, 3);
    QCOMPARE(sensor.framingCode, 2);
    QCOMPARE(search.probesDone(), plan.size());

    QVERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());
    const QList<SimRequest> requests = simulator.requests();
    QCOMPARE(readsOf(requests, 0x8000), plan.size());
    QCOMPARE(readsOf(requests, 0x8002), 1);
}

void TestSensorSearch::storedLineIsProbedFirst()
{
    SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    const ScanPlan plan(ScanRange(), ScanProbe { 200, 3, 2 }, 25);
    const Finished finished = runSearch(search, simulator.linkPath(), plan, true);
    QVERIFY(finished.ok);
    QCOMPARE(finished.outcome, SensorSearch::StoppedAtSensor);
    QCOMPARE(search.probesDone(), 1);
    QCOMPARE(search.sensors().size(), 1);
    QVERIFY(!linkThread.link().isOpen());
}

void TestSensorSearch::deviceThatWillNotOpenEndsTheSearch()
{
    LinkThread linkThread;
    SensorSearch search(&linkThread);
    const QString device = environment.runtimeDirectory() + QStringLiteral("/unplugged");
    const Finished finished = runSearch(search, device, ScanPlan(ScanRange(), ScanProbe(), 25), true);
    QVERIFY(finished.ok);
    QCOMPARE(finished.outcome, SensorSearch::PortFailed);
    QCOMPARE(search.probesDone(), 0);
    QVERIFY(search.failureReason().contains(device));
}

QTEST_GUILESS_MAIN(TestSensorSearch)
#include "tst_sensorsearch.moc"
