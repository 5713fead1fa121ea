#include "link/sensorlink.h"
#include "ops/configurationreading.h"
#include "ops/profileapplication.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A simulator keeping its saved configuration in a file of its own, and a
// link open on it at 19200 8N1.
struct Sensor
{
    explicit Sensor(const QStringList &args)
        : sim(args + QStringList{ "--state", state.filePath(QStringLiteral("state")) }) {}
    bool connect()
    {
        const bool opened = sim.start() && link.open(sim.linkPath(), 1, 0);
        sim.clearRequests();
        return opened;
    }
    QStringList requests() const { return describe(sim.requests()); }
    QString savedState() const
    {
        QFile file(state.filePath(QStringLiteral("state")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir state;
    SimulatorProcess sim;
    SensorLink link;
};

SensorProfile makeProfile(const QMap<int, QVariant> &values)
{
    SensorProfile profile;
    QString error;
    if (!SensorProfile::fromValues(QStringLiteral("Plant A"), QString(), values, &profile, &error))
        qFatal("%s", qPrintable(error));
    return profile;
}

// Every value differs from the simulator's defaults (1, 1, 0, 1, 2949).
const QMap<int, QVariant> plantValues{ { IdDelay, 7 }, { IdAnOutputMode, 3 }, { IdAnOutputSelect, 2 },
                                       { IdPT100Enable, 0 }, { IdConstPerPulse, 2.0 } };

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

    void appliedSavedAndVerified_data()
    {
        QTest::addColumn<quint32>("firmware");
        QTest::addColumn<bool>("withPulseConstant");
        QTest::newRow("firmware 80.00-01.23") << 0x80000123u << false;
        QTest::newRow("firmware 80.01-00.00") << 0x80010000u << true;
    }
    void appliedSavedAndVerified()
    {
        QFETCH(quint32, firmware);
        QFETCH(bool, withPulseConstant);
        Sensor sensor({ "--firmware", QStringLiteral("0x%1").arg(firmware, 0, 16) });
        QVERIFY(sensor.connect());
        ProfileApplication application(makeProfile(plantValues), 1, firmware);
        QStringList progress;
        application.setProgress([&](ProfileApplication::Step step, int id) {
            progress << QStringLiteral("%1 %2").arg(int(step)).arg(id);
        });
        application.run(sensor.link);

        const ProfileApplication::Outcome &outcome = application.outcome();
        QCOMPARE(int(outcome.verdict), int(ProfileApplication::Verdict::Verified));
        QVERIFY(outcome.saved);
        QStringList written{ "Delay", "AnOutputMode", "AnOutputSelect", "PT100Enable" };
        QStringList requests{ simWrite(1, 0x8007, 7), simWrite(1, 0x8008, 3), simWrite(1, 0x8009, 2),
                              simWrite(1, 0x800A, 0) };
        QStringList readBack{ read(0x8007), read(0x8008), read(0x8009), read(0x800A) };
        QStringList expectedProgress{ "0 11", "0 12", "0 13", "0 14" };
        QStringList readProgress{ "2 11", "2 12", "2 13", "2 14" };
        if (withPulseConstant) {
            written << "ConstPerPulse";
            requests << simWrite(1, 0x8030, 4096);
            readBack << read(0x8030);
            expectedProgress << "0 15";
            readProgress << "2 15";
        }
        QCOMPARE(outcome.written, written);
        QCOMPARE(sensor.requests(), requests + QStringList(simWrite(1, 0x8100, 1)) + readBack);
        const QStringList stepStarts{ "1 -1", "2 -1" };
        QCOMPARE(progress, expectedProgress + stepStarts + readProgress + QStringList("3 -1"));
        QCOMPARE(outcome.comparison.size(), written.size());

        // The sensor keeps the profile over a restart.
        const QString state = sensor.savedState();
        for (const char *line : { "delay=7", "anOutputMode=3", "anOutputSelect=2", "pt100Enable=0" })
            QVERIFY2(state.contains(QLatin1String(line)), qPrintable(state));
        QCOMPARE(state.contains("constPerPulse=4096"), withPulseConstant);
    }

    void valueNotKeptFailsVerification()
    {
        // Reads of AnOutputMode carry 1 whatever was written.
        Sensor sensor({ "--firmware", "0x80010000", "--misreport", "0x8008:1" });
        QVERIFY(sensor.connect());
        ProfileApplication application(makeProfile(plantValues), 1, 0x80010000u);
        application.run(sensor.link);
        const ProfileApplication::Outcome &outcome = application.outcome();
        QCOMPARE(int(outcome.verdict), int(ProfileApplication::Verdict::VerificationFailed));
        QCOMPARE(int(outcome.step), int(ProfileApplication::Step::Verify));
        QVERIFY(outcome.saved);
        const QVector<SensorProfile::Comparison> differences = outcome.differences();
        QCOMPARE(differences.size(), 1);
        QCOMPARE(differences.at(0).name, QStringLiteral("AnOutputMode"));
        QCOMPARE(differences.at(0).profileValue.toInt(), 3);
        QCOMPARE(differences.at(0).sensorValue.toInt(), 1);
    }

    void stopsAtFailureOrCancel()
    {
        Sensor sensor({ "--firmware", "0x80010000", "--exception-at", "0x8009" });
        QVERIFY(sensor.connect());
        const SensorProfile profile = makeProfile(plantValues);

        // A refused write: what went before it is told, nothing is saved.
        ProfileApplication refused(profile, 1, 0x80010000u);
        refused.run(sensor.link);
        QCOMPARE(int(refused.outcome().verdict), int(ProfileApplication::Verdict::TransferFailed));
        QCOMPARE(int(refused.outcome().step), int(ProfileApplication::Step::Write));
        QCOMPARE(refused.outcome().failure.result, ResultSlaveError);
        QCOMPARE(refused.outcome().written, QStringList({ "Delay", "AnOutputMode" }));
        QVERIFY(!sensor.requests().join('\n').contains("0x8100"));

        // Cancelled while the last value is written: the Save is never sent.
        Sensor willing({ "--firmware", "0x80010000" });
        QVERIFY(willing.connect());
        ProfileApplication cancelled(profile, 1, 0x80010000u);
        cancelled.setProgress([&](ProfileApplication::Step, int id) {
            if (id == IdConstPerPulse)
                cancelled.cancel();
        });
        cancelled.run(willing.link);
        QCOMPARE(int(cancelled.outcome().verdict), int(ProfileApplication::Verdict::Cancelled));
        QCOMPARE(int(cancelled.outcome().step), int(ProfileApplication::Step::Save));
        QCOMPARE(cancelled.outcome().written.size(), 5);
        QCOMPARE(willing.requests().size(), 5);
        QVERIFY(!cancelled.outcome().saved);

        // A firmware not read from a sensor: nothing is sent.
        willing.sim.clearRequests();
        ProfileApplication blind(profile, 1, 0);
        blind.run(willing.link);
        QCOMPARE(int(blind.outcome().verdict), int(ProfileApplication::Verdict::UnknownFirmware));
        QVERIFY(willing.requests().isEmpty());
    }

    void readingLearnsFirmwareFirst()
    {
        Sensor sensor({ "--firmware", "0x80000123", "--delay", "9" });
        QVERIFY(sensor.connect());
        ConfigurationReading reading(1, SensorProfile::parameterIds());
        reading.run(sensor.link);
        QVERIFY(!reading.failed());
        QCOMPARE(reading.firmwareVersion(), 0x80000123u);
        // The pulse constant is not asked of a sensor that lacks it.
        QCOMPARE(sensor.requests(), QStringList({ simRequest(3, 1, 0x8002, 2), read(0x8007), read(0x8008),
                                                  read(0x8009), read(0x800A) }));
        QCOMPARE(reading.values().value(IdDelay).toInt(), 9);
    }
};

QTEST_GUILESS_MAIN(TestProfileApplication)
#include "tst_profileapplication.moc"
