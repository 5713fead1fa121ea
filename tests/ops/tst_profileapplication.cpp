#include "linkedsimulator.h"
#include "ops/configurationreading.h"
#include "ops/profileapplication.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QtTest>

namespace {
// Every value differs from the simulator's defaults (1, 1, 0, 1, 2949).
SensorProfile plantProfile()
{
    SensorProfile profile;
    QString error;
    SensorProfile::fromValues("Plant A", "", { { IdDelay, 7 }, { IdAnOutputMode, 3 }, { IdAnOutputSelect, 2 },
                                               { IdPT100Enable, 0 }, { IdConstPerPulse, 2.0 } }, &profile, &error);
    return profile;
}

QString read(int address) { return simRequest(3, 1, address, 1); }
}

// Putting a profile on one sensor of the simulator, and reading a sensor's
// configuration without the form.
class TestProfileApplication : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void init() { environment.clearSettings(); storeTransferTiming(100, 50, 3, 20); }

    // On a sensor without the pulse constant (valueNotKeptFailsVerification
    // shows one with it).
    void appliedSavedAndVerified()
    {
        LinkedSimulator sensor({ "--firmware", "0x80000123" });
        QVERIFY(sensor.connect());
        ProfileApplication application(plantProfile(), 1, 0x80000123u);
        QStringList progress;
        application.setProgress([&](ProfileApplication::Step step, int id) {
            progress << QStringLiteral("%1 %2").arg(int(step)).arg(id);
        });
        application.run(sensor.link);
        QCOMPARE(int(application.outcome().verdict), int(ProfileApplication::Verdict::Verified));

        // Only what the firmware has is written, read back and compared.
        const struct { int id; int address; quint16 word; } expected[] = {
            { IdDelay, 0x8007, 7 }, { IdAnOutputMode, 0x8008, 3 }, { IdAnOutputSelect, 0x8009, 2 },
            { IdPT100Enable, 0x800A, 0 } };
        QStringList writes, reads, writeProgress, readProgress;
        for (const auto &value : expected) {
            writes << simWrite(1, value.address, value.word);
            reads << read(value.address);
            writeProgress << QStringLiteral("0 %1").arg(value.id);
            readProgress << QStringLiteral("2 %1").arg(value.id);
        }
        QCOMPARE(sensor.requests(), writes + QStringList(simWrite(1, 0x8100, 1)) + reads);
        QCOMPARE(progress, writeProgress + QStringList({ "1 -1", "2 -1" }) + readProgress + QStringList("3 -1"));
    }

    void valueNotKeptFailsVerification()
    {
        // Reads of AnOutputMode carry 1 whatever was written; the pulse
        // constant, unlike the simulator's 2949, is written and kept.
        LinkedSimulator sensor({ "--firmware", "0x80010000", "--misreport", "0x8008:1" });
        QVERIFY(sensor.connect());
        ProfileApplication application(plantProfile(), 1, FirmwareWithSpeed);
        application.run(sensor.link);
        QCOMPARE(int(application.outcome().verdict), int(ProfileApplication::Verdict::VerificationFailed));
        QCOMPARE(application.outcome().differences().size(), 1);
        const SensorProfile::Comparison differing = application.outcome().differences().at(0);
        QCOMPARE(differing.name + differing.profileValue.toString() + differing.sensorValue.toString(),
                 QStringLiteral("AnOutputMode31"));

        // Comparing without a firmware known: it is read first.
        sensor.sim.clearRequests();
        ConfigurationReading reading(1, SensorProfile::parameterIds());
        reading.run(sensor.link);
        QCOMPARE(reading.firmwareVersion(), FirmwareWithSpeed);
        QCOMPARE(sensor.requests(), QStringList({ simRequest(3, 1, 0x8002, 2), read(0x8007), read(0x8008),
                                                  read(0x8009), read(0x800A), read(0x8030) }));
    }

    void stopsAtFailureOrCancel()
    {
        // A refused write: what went before it is told, nothing is saved.
        LinkedSimulator refusing({ "--firmware", "0x80010000", "--exception-at", "0x8009" });
        QVERIFY(refusing.connect());
        ProfileApplication refused(plantProfile(), 1, FirmwareWithSpeed);
        refused.run(refusing.link);
        QCOMPARE(int(refused.outcome().verdict), int(ProfileApplication::Verdict::TransferFailed));
        QCOMPARE(refused.outcome().failure.result, ResultSlaveError);
        QCOMPARE(refused.outcome().written, QStringList({ "Delay", "AnOutputMode" }));
        QVERIFY(!refusing.requests().join(" ").contains("0x8100"));

        // Cancelled while a value is written: the rest, and the Save, are never sent.
        refusing.sim.clearRequests();
        ProfileApplication cancelled(plantProfile(), 1, FirmwareWithSpeed);
        cancelled.setProgress([&](ProfileApplication::Step, int id) { if (id == IdAnOutputMode) cancelled.cancel(); });
        cancelled.run(refusing.link);
        QCOMPARE(int(cancelled.outcome().verdict), int(ProfileApplication::Verdict::Cancelled));
        QCOMPARE(refusing.requests(), QStringList({ simWrite(1, 0x8007, 7), simWrite(1, 0x8008, 3) }));
        // A firmware not read from a sensor: nothing is sent.
        ProfileApplication(plantProfile(), 1, 0).run(refusing.link);
        QCOMPARE(refusing.requests().size(), 2);
    }

    // A sensor listed from a project has not told its firmware: it is read
    // first and decides what is written (here no pulse constant); a sensor
    // that does not tell it gets nothing written.
    void firmwareNotGivenIsReadFirst()
    {
        LinkedSimulator sensor({ "--firmware", "0x80000123" });
        QVERIFY(sensor.connect());
        const ProfileApplication::Outcome outcome = applyProfile(sensor.link, plantProfile(), 1, 0);
        QCOMPARE(int(outcome.verdict), int(ProfileApplication::Verdict::Verified));
        QCOMPARE(outcome.written, QStringList({ "Delay", "AnOutputMode", "AnOutputSelect", "PT100Enable" }));
        QCOMPARE(sensor.requests().first(), simRequest(3, 1, 0x8002, 2));

        LinkedSimulator silent({ "--silent" });
        QVERIFY(silent.connect());
        QCOMPARE(int(applyProfile(silent.link, plantProfile(), 1, 0).verdict),
                 int(ProfileApplication::Verdict::UnknownFirmware));
        QVERIFY(!silent.requests().isEmpty());
        for (const SimRequest &request : silent.sim.requests())
            QVERIFY(request.function == 3 && request.address == 0x8002);
    }
};

QTEST_GUILESS_MAIN(TestProfileApplication)
#include "tst_profileapplication.moc"
