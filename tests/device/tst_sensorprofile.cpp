#include "device/parametertable.h"
#include "device/sensorprofile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Values as the form gives them: codes and numbers, the pulse constant as typed.
const QMap<int, QVariant> formValues{ { IdDelay, 5 }, { IdAnOutputMode, 4 }, { IdAnOutputSelect, 3 },
                                      { IdPT100Enable, 0 }, { IdConstPerPulse, 1.44 } };

QByteArray profileJson(const QString &values)
{
    return QStringLiteral(R"({"format": "kelvaset-profile", "version": 1, "name": "Plant A", "note": "",
                              "values": { %1 }})").arg(values).toUtf8();
}
const QString validValues = QStringLiteral(R"("Delay": 5, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)");
}

class TestSensorProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    QString fileWith(const QByteArray &content)
    {
        const QString path = directory.filePath(QStringLiteral("written.kelvaprofile"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void savedProfileLoadsBack()
    {
        SensorProfile profile;
        QString error;
        QVERIFY2(SensorProfile::fromValues(QStringLiteral("Plant A"), QStringLiteral("east roof"), formValues,
                                           &profile, &error), qPrintable(error));
        const QString path = directory.filePath(QStringLiteral("plant.kelvaprofile"));
        QVERIFY(profile.save(path, &error));

        // Keyed by parameter name, in the form's units.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject values = QJsonDocument::fromJson(file.readAll()).object().value("values").toObject();
        QCOMPARE(values, (QJsonObject{ { "Delay", 5 }, { "AnOutputMode", 4 }, { "AnOutputSelect", 3 },
                                       { "PT100Enable", 0 }, { "ConstPerPulse", 1.44 } }));

        SensorProfile loaded;
        QVERIFY2(loaded.load(path, &error), qPrintable(error));
        QCOMPARE(loaded.name(), QStringLiteral("Plant A"));
        QCOMPARE(loaded.note(), QStringLiteral("east roof"));
        QCOMPARE(loaded.values(), formValues);

        // The pulse constant is optional: older sensors lack it.
        QVERIFY(loaded.load(fileWith(profileJson(validValues)), &error));
        QVERIFY(!loaded.has(IdConstPerPulse));
    }

    void missingValuesAreAllNamed()
    {
        QMap<int, QVariant> partial = formValues;
        partial.remove(IdDelay);
        partial.remove(IdPT100Enable);
        partial.remove(IdConstPerPulse);
        SensorProfile profile;
        QString error;
        QVERIFY(!SensorProfile::fromValues(QStringLiteral("x"), QString(), partial, &profile, &error));
        QVERIFY2(error.contains("Delay, PT100Enable") && !error.contains("ConstPerPulse"), qPrintable(error));
        QVERIFY(profile.values().isEmpty());
    }

    void refusedFilesAreNotTaken_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("named");
        const QString base = validValues + QStringLiteral(", ");
        QTest::newRow("Delay 0") << R"("Delay": 0, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)" << "Delay";
        QTest::newRow("Delay 101") << R"("Delay": 101, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)" << "Delay";
        QTest::newRow("Delay 2.5") << R"("Delay": 2.5, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)" << "Delay";
        QTest::newRow("Delay as text") << R"("Delay": "5", "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)" << "Delay";
        QTest::newRow("mode 5") << R"("Delay": 5, "AnOutputMode": 5, "AnOutputSelect": 3, "PT100Enable": 0)" << "AnOutputMode";
        QTest::newRow("select -1") << R"("Delay": 5, "AnOutputMode": 4, "AnOutputSelect": -1, "PT100Enable": 0)" << "AnOutputSelect";
        QTest::newRow("PT100 2") << R"("Delay": 5, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 2)" << "PT100Enable";
        QTest::newRow("PT100 true") << R"("Delay": 5, "AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": true)" << "PT100Enable";
        QTest::newRow("select missing") << R"("Delay": 5, "AnOutputMode": 4, "PT100Enable": 0)" << "AnOutputSelect";
        QTest::newRow("unknown parameter") << base + R"("Dealy": 5)" << "Dealy";
        // The register keeps 1 to 65535 in 2048ths.
        QTest::newRow("pulse constant 0") << base + R"("ConstPerPulse": 0)" << "ConstPerPulse";
        QTest::newRow("pulse constant 32") << base + R"("ConstPerPulse": 32)" << "ConstPerPulse";
        QTest::newRow("pulse constant 31.9996") << base + R"("ConstPerPulse": 31.9996)" << "ConstPerPulse";
    }
    void refusedFilesAreNotTaken()
    {
        QFETCH(QString, values);
        QFETCH(QString, named);
        SensorProfile profile;
        QString error;
        QVERIFY(SensorProfile::fromValues(QStringLiteral("kept"), QString(), formValues, &profile, &error));
        QVERIFY(!profile.load(fileWith(profileJson(values)), &error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QCOMPARE(profile.name(), QStringLiteral("kept"));
        QCOMPARE(profile.values(), formValues);
    }

    void comparisonFollowsFirmware()
    {
        SensorProfile profile;
        QString error;
        QVERIFY(SensorProfile::fromValues(QStringLiteral("p"), QString(), formValues, &profile, &error));
        // As read: the pulse constant is what the register keeps of 1.44,
        // AnOutputSelect could not be read.
        const QMap<int, QVariant> sensor{ { IdDelay, 5 }, { IdAnOutputMode, 2 }, { IdPT100Enable, 0 },
                                          { IdConstPerPulse, 2949 / 2048.0 } };
        const auto summary = [&](quint32 firmware) {
            QStringList rows;
            for (const SensorProfile::Comparison &row : profile.compare(sensor, firmware))
                rows << QStringLiteral("%1 %2 %3 %4").arg(row.name, row.profileValue.toString(),
                                                          row.sensorValue.isValid() ? row.sensorValue.toString()
                                                                                    : QStringLiteral("none"))
                                                       .arg(row.matches);
            return rows;
        };
        const QStringList older{ "Delay 5 5 1", "AnOutputMode 4 2 0", "AnOutputSelect 3 none 0",
                                 "PT100Enable 0 0 1" };
        QCOMPARE(summary(FirmwareBase), older);
        QCOMPARE(summary(FirmwareWithSpeed), older + QStringList("ConstPerPulse 1.44 1.43994140625 1"));
        QCOMPARE(SensorProfile::differences(profile.compare(sensor, FirmwareWithSpeed)).size(), 2);

        // A profile without the pulse constant leaves a newer sensor's alone.
        QMap<int, QVariant> withoutPulse = formValues;
        withoutPulse.remove(IdConstPerPulse);
        QVERIFY(SensorProfile::fromValues(QStringLiteral("p"), QString(), withoutPulse, &profile, &error));
        QCOMPARE(summary(FirmwareWithSpeed), older);
    }
};

QTEST_GUILESS_MAIN(TestSensorProfile)
#include "tst_sensorprofile.moc"
