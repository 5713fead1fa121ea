#include "acq/commissioningreport.h"
#include "testenvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
ReadValue readingOf(int id, std::initializer_list<quint16> words)
{
    const QVector<quint16> registers(words);
    return convertRead(parameterDescriptor(id), registers.constData());
}

// A sensor as a ConfigurationReading of the report's parameters leaves it.
CommissionedSensor answeringSensor(int address, quint32 serial, quint16 firmwareHigh, quint16 delay)
{
    CommissionedSensor sensor;
    sensor.address = address;
    sensor.serialNumber = serial;
    sensor.answered = true;
    sensor.readings = { { IdSerialNumber, readingOf(IdSerialNumber, { quint16(serial), quint16(serial >> 16) }) },
                        { IdFWVersion, readingOf(IdFWVersion, { firmwareHigh, 0x0123 }) },
                        { IdDelay, readingOf(IdDelay, { delay }) },
                        { IdAnOutputMode, readingOf(IdAnOutputMode, { 3 }) },
                        { IdAnOutputSelect, readingOf(IdAnOutputSelect, { 2 }) },
                        { IdPT100Enable, readingOf(IdPT100Enable, { 0 }) } };
    // Status 0x1B: all OK, the digital input closed.
    for (int id = IdFactoryCalConf; id <= IdWatchdog; ++id)
        sensor.readings.insert(id, readingOf(id, { 0x1B }));
    if (firmwareHigh >= 0x8001)
        sensor.readings.insert(IdConstPerPulse, readingOf(IdConstPerPulse, { 4096 }));
    return sensor;
}
}

class TestCommissioningReport : public QObject
{
    Q_OBJECT

    TestEnvironment environment;
    QTemporaryDir directory;

    static CommissioningReport report()
    {
        CommissioningReport report;
        report.site = QStringLiteral("Parc solaire: Nord/2");
        report.technician = QStringLiteral("A. Técnica");
        report.note = QStringLiteral("Row 3 commissioned");
        report.time = QDateTime(QDate(2024, 5, 6), QTime(14, 30, 5), Qt::UTC);
        SensorProfile profile;
        QString error;
        if (!SensorProfile::fromValues(QStringLiteral("Plant A"), QString(),
                                       { { IdDelay, 7 }, { IdAnOutputMode, 3 }, { IdAnOutputSelect, 2 },
                                         { IdPT100Enable, 0 }, { IdConstPerPulse, 2.0 } }, &profile, &error))
            qFatal("%s", qPrintable(error));
        report.profile = profile;

        CommissionedSensor matching = answeringSensor(3, 4000000001u, 0x8001, 7);
        for (double value : { 800.0, 810.0, 790.0 })
            matching.live.add(IdIrradiance, value);
        for (double value : { 25.0, 25.5 })
            matching.live.add(IdTemp, value);
        matching.live.failedSamples = 1;
        CommissionedSensor differing = answeringSensor(4, 9002, 0x8000, 9);
        differing.bitRateCode = 4;
        differing.framingCode = 3;
        CommissionedSensor silent;
        silent.address = 5;
        silent.serialNumber = 9003;
        report.sensors = { matching, differing, silent };
        return report;
    }

private slots:
    void jsonHoldsEveryFact()
    {
        const CommissioningReport written = report();
        QCOMPARE(written.baseFileName(), QStringLiteral("Parc_solaire_Nord_2_2024-05-06"));
        const QString path = directory.filePath(written.baseFileName() + QStringLiteral(".json"));
        QString error;
        QVERIFY2(written.writeJson(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();

        QCOMPARE(json.value("format").toString(), QStringLiteral("kelvaset-report"));
        QCOMPARE(json.value("site").toString(), written.site);
        QCOMPARE(json.value("technician").toString(), written.technician);
        QCOMPARE(json.value("note").toString(), written.note);
        QCOMPARE(json.value("program").toObject(), (QJsonObject{ { "name", "Kelvaset" }, { "version", "2.0.3" } }));
        QCOMPARE(json.value("time").toString(), QStringLiteral("2024-05-06T14:30:05Z"));
        QCOMPARE(json.value("profile").toString(), QStringLiteral("Plant A"));

        const QJsonArray sensors = json.value("sensors").toArray();
        QCOMPARE(sensors.size(), 3);
        const QJsonObject matching = sensors.at(0).toObject();
        QCOMPARE(matching.value("serialNumber").toDouble(), 4000000001.0);
        QCOMPARE(matching.value("firmware").toString(), QStringLiteral("80.01-01.23"));
        QCOMPARE(matching.value("address").toInt(), 3);
        QCOMPARE(matching.value("bitRate").toString(), QStringLiteral("19200"));
        QCOMPARE(matching.value("framing").toString(), QStringLiteral("8N1"));
        QCOMPARE(matching.value("answered").toBool(), true);
        QCOMPARE(matching.value("status").toObject(),
                 (QJsonObject{ { "FactoryCalConf", "OK" }, { "NotVolatilePars", "OK" }, { "DigInput", "Close" },
                               { "PT100Status", "OK" }, { "AnOutputStatus", "OK" }, { "Watchdog", "OK" } }));
        QCOMPARE(matching.value("configuration").toObject(),
                 (QJsonObject{ { "Delay", 7 }, { "AnOutputMode", 3 }, { "AnOutputSelect", 2 }, { "PT100Enable", 0 },
                               { "ConstPerPulse", 2.0 } }));
        QCOMPARE(matching.value("profileMatch").toObject().value("ConstPerPulse").toBool(), true);
        const QJsonObject live = matching.value("live").toObject();
        QCOMPARE(live.value("Irradiance").toObject(),
                 (QJsonObject{ { "mean", 800 }, { "minimum", 790 }, { "maximum", 810 }, { "samples", 3 } }));
        QCOMPARE(live.value("Temp").toObject().value("mean").toDouble(), 25.25);
        QVERIFY(live.value("Speed").toObject().value("mean").isNull());
        QCOMPARE(live.value("failedSamples").toInt(), 1);
        QCOMPARE(matching.value("verdict").toString(), QStringLiteral("Configuration matches the profile"));

        // Older firmware: no speed, no pulse constant, nothing compared for it.
        const QJsonObject differing = sensors.at(1).toObject();
        QCOMPARE(differing.value("bitRate").toString(), QStringLiteral("115200"));
        QCOMPARE(differing.value("framing").toString(), QStringLiteral("8N2"));
        QVERIFY(!differing.value("live").toObject().contains("Speed"));
        QCOMPARE(differing.value("profileMatch").toObject(),
                 (QJsonObject{ { "Delay", false }, { "AnOutputMode", true }, { "AnOutputSelect", true },
                               { "PT100Enable", true } }));
        QVERIFY(differing.value("verdict").toString().contains("differs from the profile: Delay (profile 7, sensor 9)"));

        const QJsonObject silent = sensors.at(2).toObject();
        QCOMPARE(silent.value("answered").toBool(), false);
        QCOMPARE(silent.value("serialNumber").toInt(), 9003);
        QCOMPARE(silent.value("verdict").toString(), QStringLiteral("Not answering"));
        QVERIFY(!silent.contains("configuration"));
    }

    void pdfShowsEachSensorAndVerdict()
    {
        const CommissioningReport written = report();
        const QString path = directory.filePath(written.baseFileName() + QStringLiteral(".pdf"));
        QString error;
        QVERIFY2(written.writePdf(path, &error), qPrintable(error));
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), path, QStringLiteral("-") });
        QVERIFY(pdftotext.waitForFinished(30000));
        QCOMPARE(pdftotext.exitCode(), 0);
        // Words only, ligatures (fi) as letters: the layout may break a line
        // anywhere between words.
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput())
                .normalized(QString::NormalizationForm_KC).simplified();
        for (const char *shown : { "Commissioning report", "Parc solaire: Nord/2", "A. Técnica", "Plant A",
                                   "4000000001", "9002", "9003", "80.01-01.23", "Configuration matches the profile",
                                   "Configuration differs from the profile: Delay (profile 7, sensor 9)",
                                   "Not answering", "115200 8N2", "Close" })
            QVERIFY2(text.contains(QString::fromUtf8(shown)), shown);

        // A folder that is not there: refused, not a half file.
        QVERIFY(!written.writePdf(directory.filePath(QStringLiteral("gone/report.pdf")), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestCommissioningReport)
#include "tst_commissioningreport.moc"
