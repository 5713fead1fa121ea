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

// Runs the search to its end; -1 when it did not start or did not end.
int runSearch(SensorSearch &search, const QString &device, const ScanPlan &plan, bool stopAtFirst)
{
    QSignalSpy finished(&search, &SensorSearch::finished);
    return search.start(device, plan, CommTiming(), stopAtFirst) && finished.wait(60000)
               ? int(finished.first().first().value<SensorSearch::Outcome>()) : -1;
}
}

class TestSensorSearch : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void planOrdersCoversAndTimesTheProbes()
    {
        const ScanProbe stored { 200, 3, 2 };
        const QVector<ScanProbe> probes = ScanPlan(ScanRange(), stored, 25).probes();
        QCOMPARE(probes.size(), 247 * 5 * 4);
        QCOMPARE(keys(probes).size(), probes.size());
        QCOMPARE(probes.at(0), stored);
        QCOMPARE(probes.at(1), FactoryProbe);
        // Then address 1 and the stored address at all twenty lines: forty
        // distinct probes at those two addresses are exactly these.
        for (const ScanProbe &probe : probes.mid(0, 40))
            QVERIFY(probe.slave == 1 || probe.slave == 200);

        // The rest goes line by line, stored line first, factory line next,
        // each line's addresses in order: the port changes line 19 times.
        QVERIFY(probes.at(40).sameLine(stored));
        int lineChanges = 0;
        for (int i = 41; i < probes.size(); ++i) {
            if (probes.at(i).sameLine(probes.at(i - 1)))
                QVERIFY(probes.at(i).slave > probes.at(i - 1).slave);
            else if (++lineChanges == 1)
                QVERIFY(probes.at(i).sameLine(FactoryProbe));
        }
        QCOMPARE(lineChanges, 19);

        // A narrowed range keeps out the factory address and line; a stored
        // probe inside it still comes first.
        const ScanRange range { 195, 205, { 2, 3, 4 }, { 2, 3 } };
        const ScanPlan narrow(range, ScanProbe { 201, 4, 3 }, 25);
        QCOMPARE(narrow.size(), 11 * 3 * 2);
        QCOMPARE(keys(narrow.probes()).size(), narrow.size());
        for (const ScanProbe &probe : narrow.probes())
            QVERIFY(probe.slave >= 195 && probe.slave <= 205 && range.bitRateCodes.contains(probe.bitRateCode)
                    && range.framingCodes.contains(probe.framingCode));
        QCOMPARE(narrow.at(0), (ScanProbe { 201, 4, 3 }));
        QVERIFY(ScanPlan(ScanRange { 1, 247, {}, { 0 } }, ScanProbe(), 25).isEmpty());

        // A probe puts 8 + 9 characters on the wire: 170 bits at 8N1, 187 with
        // a parity or second stop bit. Time left counts the timeouts of the
        // probes still to come, here two at 9600 (17.7 ms on the wire) and two
        // at 115200 (1.5 ms).
        QCOMPARE(probeTimeoutMs(0, 3, 25), 25 + 20);   // 19.5 ms
        const ScanPlan timed(ScanRange { 5, 6, { 0, 4 }, { 0 } }, ScanProbe { 5, 0, 0 }, 25);
        QCOMPARE(timed.remainingTimeMs(0), qint64(43 + 27 + 43 + 27));
        QCOMPARE(timed.remainingTimeMs(4), qint64(0));
    }

    void searchFindsTheSensorOrReportsThePort()
    {
        SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2",
                                     "--serial", "4012345", "--firmware", "0x80010203" });
        QVERIFY(simulator.start());
        LinkThread linkThread;
        SensorSearch search(&linkThread);
        // Stop at the first sensor off: the search goes on to the end, one
        // attempt per probe, and reads the firmware of the one it finds.
        const ScanPlan plan(ScanRange { 195, 205, { 2, 3, 4 }, { 0, 1, 2, 3 } }, FactoryProbe, 25);
        QCOMPARE(runSearch(search, simulator.linkPath(), plan, false), int(SensorSearch::Completed));
        QCOMPARE(search.sensors().size(), 1);
        const FoundSensor &sensor = search.sensors().first();
        QCOMPARE(sensor.serialNumber, 4012345u);
        QCOMPARE(sensor.firmwareVersion, 0x80010203u);
        QCOMPARE((ScanProbe { sensor.slave, sensor.bitRateCode, sensor.framingCode }), (ScanProbe { 200, 3, 2 }));
        QVERIFY(!linkThread.link().isOpen());
        // On the wire: a serial-number read per probe, and one more request,
        // the firmware read of the sensor found.
        const QList<SimRequest> requests = simulator.requests();
        QCOMPARE(requests.size(), plan.size() + 1);
        QCOMPARE(int(std::count_if(requests.begin(), requests.end(), [](const SimRequest &request) {
                     return request.function == 3 && request.address == 0x8000 && request.count == 2;
                 })), plan.size());

        // Stopping at the first sensor, the stored line finds it at once.
        const ScanPlan stored(ScanRange(), ScanProbe { 200, 3, 2 }, 25);
        QCOMPARE(runSearch(search, simulator.linkPath(), stored, true), int(SensorSearch::StoppedAtSensor));
        QCOMPARE(search.probesDone(), 1);
        QCOMPARE(search.sensors().size(), 1);

        // A device that will not open ends the search before any probe.
        const QString device = environment.runtimeDirectory() + QStringLiteral("/unplugged");
        QCOMPARE(runSearch(search, device, stored, true), int(SensorSearch::PortFailed));
        QCOMPARE(search.probesDone(), 0);
        QVERIFY(search.failureReason().contains(device));
    }
};

QTEST_GUILESS_MAIN(TestSensorSearch)
#include "tst_sensorsearch.moc"
