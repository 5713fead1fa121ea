#include "acq/livesnapshot.h"
#include "device/parametertable.h"
#include "linkedsimulator.h"
#include "sensorwindow.h"
#include "testenvironment.h"

#include <QtTest>

// The commissioning report's snapshot of live values, sampled from the
// simulator without a window.
class TestLiveSnapshot : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void init() { environment.clearSettings(); storeTransferTiming(100, 50, 3, 20); }

    void sampledBackToBackForItsLength()
    {
        // Firmware without the speed: irradiance and temperature only.
        LinkedSimulator sensor({ "--firmware", "0x80000123" });
        QVERIFY(sensor.connect());
        QElapsedTimer clock;
        clock.start();
        const LiveSnapshot snapshot = LiveSnapshot::sample(sensor.link, 1, 0x80000123u, 500);
        QVERIFY(clock.elapsed() >= 500);
        QCOMPARE(snapshot.statistics.keys(), QList<int>({ IdIrradiance, IdTemp }));
        const qint64 rounds = snapshot.statistics.value(IdIrradiance).count();
        QVERIFY(rounds > 1);
        QCOMPARE(snapshot.statistics.value(IdTemp).count(), rounds);
        QCOMPARE(snapshot.failedSamples, qint64(0));
        QCOMPARE(qint64(sensor.sim.requests().size()), 2 * rounds);

        // A sensor that falls silent after the first round: every value
        // read after it counts as failed.
        LinkedSimulator falling({ "--firmware", "0x80000123", "--silent-from", "3" });
        QVERIFY(falling.connect());
        const LiveSnapshot failing = LiveSnapshot::sample(falling.link, 1, 0x80000123u, 500);
        QCOMPARE(failing.statistics.value(IdIrradiance).count(), qint64(1));
        QCOMPARE(failing.statistics.value(IdTemp).count(), qint64(1));
        QVERIFY(failing.failedSamples >= 2);
    }
};

QTEST_GUILESS_MAIN(TestLiveSnapshot)
#include "tst_livesnapshot.moc"
