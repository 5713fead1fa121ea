#include "device/parametertable.h"
#include "device/sensorprofile.h"
#include "jsonfiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
// Values as the form gives them: codes and numbers, the pulse constant as typed.
const QMap<int, QVariant> formValues{ { IdDelay, 5 }, { IdAnOutputMode, 4 }, { IdAnOutputSelect, 3 },
                                      { IdPT100Enable, 0 }, { IdConstPerPulse, 1.44 } };

SensorProfile profileOf(const QMap<int, QVariant> &values)
{
    SensorProfile profile;
    QString error;
    if (!SensorProfile::fromValues(QStringLiteral("Plant A"), QStringLiteral("east roof"), values, &profile, &error))
        qFatal("%s", qPrintable(error));
    return profile;
}
}

class TestSensorProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    static QByteArray profileJson(const QString &values)
    {
        return QStringLiteral(R"({"format": "kelvaset-profile", "version": 1, "name": "B", "note": "",
                                  "values": { %1 }})").arg(values).toUtf8();
    }

private slots:
    void savedProfileLoadsBack()
    {
        const QString path = directory.filePath(QStringLiteral("plant.kelvaprofile"));
        QString error;
        QVERIFY(profileOf(formValues).save(path, &error));
        // Keyed by parameter name, in the form's units.
        QCOMPARE(jsonObjectIn(path).value("values").toObject(),
                 (QJsonObject{ { "Delay", 5 }, { "AnOutputMode", 4 }, { "AnOutputSelect", 3 }, { "PT100Enable", 0 },
                               { "ConstPerPulse", 1.44 } }));
        SensorProfile loaded;
        QVERIFY2(loaded.load(path, &error), qPrintable(error));
        QCOMPARE(loaded.name() + loaded.note(), QStringLiteral("Plant Aeast roof"));
        QCOMPARE(loaded.values(), formValues);

        // The pulse constant is optional (older sensors lack it); the others are not.
        QVERIFY(loaded.load(writtenFile(path, profileJson(R"("Delay": 5, "AnOutputMode": 4, "AnOutputSelect": 3,
                                                             "PT100Enable": 0)")), &error));
        QVERIFY(!SensorProfile::fromValues("x", "", { { IdAnOutputMode, 4 }, { IdAnOutputSelect, 3 } }, &loaded, &error));
        QVERIFY2(error.contains("Delay, PT100Enable") && !error.contains("ConstPerPulse"), qPrintable(error));
        // A folder that is not there: the save is refused, naming the file.
        QVERIFY(!loaded.save(directory.filePath(QStringLiteral("gone/p.kelvaprofile")), &error));
        QVERIFY2(error.contains("gone/p.kelvaprofile"), qPrintable(error));
    }

    // What every versioned document refuses is told here, for the profile,
    // along with the profile's own checks.
    void refusedFilesAreNotTaken_data()
    {
        QTest::addColumn<QByteArray>("content");   // empty: no file at all
        QTest::addColumn<QString>("told");
        const QString rest = QStringLiteral(R"("AnOutputMode": 4, "AnOutputSelect": 3, "PT100Enable": 0)");
        QTest::newRow("unreadable") << QByteArray() << "Cannot read";
        QTest::newRow("damaged") << QByteArray("{\"format\": \"kelvaset-profile\",\n oops}")
                                 << "damaged: unterminated object at byte 33";
        QTest::newRow("a project") << QByteArray(R"({"format": "kelvaset-project", "version": 1})")
                                   << "not a Kelvaset sensor profile";
        QTest::newRow("newer") << QByteArray(R"({"format": "kelvaset-profile", "version": 2})")
                               << "newer version of Kelvaset (format version 2); this version reads up to 1";
        QTest::newRow("Delay 0") << profileJson(R"("Delay": 0, )" + rest) << "Delay";
        QTest::newRow("Delay 2.5") << profileJson(R"("Delay": 2.5, )" + rest) << "Delay";
        QTest::newRow("Delay as text") << profileJson(R"("Delay": "5", )" + rest) << "Delay";
        QTest::newRow("select missing") << profileJson(R"("Delay": 1, "AnOutputMode": 4, "PT100Enable": 0)")
                                        << "AnOutputSelect";
        QTest::newRow("unknown parameter") << profileJson(R"("Delay": 1, "Dealy": 5, )" + rest) << "Dealy";
        const QString values = QStringLiteral(R"("values": {"Delay": 1, )") + rest + "}";
        QTest::newRow("name a number")
                << QStringLiteral(R"({"format": "kelvaset-profile", "version": 1, "name": 7, %1})").arg(values).toUtf8()
                << "name must be text";
        QTest::newRow("note too long")
                << QStringLiteral(R"({"format": "kelvaset-profile", "version": 1, "name": "B", "note": "%1", %2})")
                           .arg(QString(2001, 'n'), values).toUtf8()
                << "note is longer than 2000 characters";
        // The register keeps 1 to 65535 in 2048ths.
        QTest::newRow("pulse constant 32") << profileJson(R"("Delay": 1, "ConstPerPulse": 32, )" + rest)
                                           << "ConstPerPulse";
    }
    void refusedFilesAreNotTaken()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, told);
        QString path = directory.filePath(QStringLiteral("absent.kelvaprofile"));
        if (!content.isEmpty())
            path = writtenFile(directory.filePath(QStringLiteral("written.kelvaprofile")), content);
        SensorProfile profile = profileOf(formValues);
        QString error;
        QVERIFY(!profile.load(path, &error));
        QVERIFY2(error.contains(told) && error.contains(path), qPrintable(error));
        QCOMPARE(profile.name(), QStringLiteral("Plant A"));
        QCOMPARE(profile.values(), formValues);
    }

    void comparisonFollowsFirmware()
    {
        // As read: the pulse constant is what the register keeps of 1.44,
        // AnOutputSelect could not be read.
        const QMap<int, QVariant> sensor{ { IdDelay, 5 }, { IdAnOutputMode, 2 }, { IdPT100Enable, 0 },
                                          { IdConstPerPulse, 2949 / 2048.0 } };
        const auto rows = [&](const SensorProfile &profile, quint32 firmware) {
            QStringList shown;
            for (const SensorProfile::Comparison &row : profile.compare(sensor, firmware))
                shown << QStringLiteral("%1 %2 %3 %4").arg(row.name, row.profileValue.toString(),
                                                           row.sensorValue.toString()).arg(row.matches);
            return shown;
        };
        const QStringList older{ "Delay 5 5 1", "AnOutputMode 4 2 0", "AnOutputSelect 3  0", "PT100Enable 0 0 1" };
        QCOMPARE(rows(profileOf(formValues), FirmwareBase), older);
        QCOMPARE(rows(profileOf(formValues), FirmwareWithSpeed), older + QStringList("ConstPerPulse 1.44 1.43994140625 1"));
        // A profile without the pulse constant leaves a newer sensor's alone.
        QMap<int, QVariant> withoutPulse = formValues;
        withoutPulse.remove(IdConstPerPulse);
        QCOMPARE(rows(profileOf(withoutPulse), FirmwareWithSpeed), older);
    }
};

QTEST_GUILESS_MAIN(TestSensorProfile)
#include "tst_sensorprofile.moc"
