#include "acq/commissioningreport.h"
#include "jsonfiles.h"
#include "testenvironment.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A sensor as a reading of the report's parameters leaves it: status 0x1B
// (all OK, the digital input closed), firmware 80.0x-01.23.
CommissionedSensor answering(int address, quint32 serial, quint16 firmwareHigh, quint16 delay)
{
    CommissionedSensor sensor{ address, 1, 0, QString(), serial, true, {}, {} };
    const QMap<int, QVector<quint16>> words{ { IdFWVersion, { firmwareHigh, 0x0123 } }, { IdDelay, { delay } },
                                             { IdAnOutputMode, { 3 } }, { IdAnOutputSelect, { 2 } },
                                             { IdPT100Enable, { 0 } }, { IdConstPerPulse, { 4096 } } };
    for (int id : CommissioningReport::sensorIds()) {
        const QVector<quint16> registers = words.value(id, { 0x1B, 0 });
        if (parameterDescriptor(id).isAvailable(quint32(firmwareHigh) << 16))
            sensor.readings.insert(id, convertRead(parameterDescriptor(id), registers.constData()));
    }
    return sensor;
}
}

class TestCommissioningReport : public QObject
{
    Q_OBJECT

    TestEnvironment environment;
    QTemporaryDir directory;

private slots:
    void bothFormsHoldEveryFact()
    {
        CommissioningReport report;
        report.site = QStringLiteral("Parc solaire: Nord/2");
        report.technician = QStringLiteral("A. Técnica");
        report.note = QStringLiteral("Row 3");
        report.time = QDateTime(QDate(2024, 5, 6), QTime(14, 30, 5), Qt::UTC);
        SensorProfile profile;
        QString error;
        QVERIFY(SensorProfile::fromValues(QStringLiteral("Plant A"), QString(),
                                          { { IdDelay, 7 }, { IdAnOutputMode, 3 }, { IdAnOutputSelect, 2 },
                                            { IdPT100Enable, 0 }, { IdConstPerPulse, 2.0 } }, &profile, &error));
        report.profile = profile;
        report.sensors = { answering(3, 4000000001u, 0x8001, 7), answering(4, 9002, 0x8000, 9), {} };
        for (double value : { 800.0, 810.0, 790.0 })
            report.sensors[0].live.add(IdIrradiance, value);
        report.sensors[0].live.failedSamples = 1;
        report.sensors[1].bitRateCode = 4;
        report.sensors[2].serialNumber = 9003;
        QCOMPARE(report.baseFileName(), QStringLiteral("Parc_solaire_Nord_2_2024-05-06"));

        const QString path = directory.filePath(report.baseFileName());
        QVERIFY2(report.writeJson(path + ".json", &error), qPrintable(error));
        QJsonObject json = jsonObjectIn(path + ".json");
        const QJsonArray sensors = json.take("sensors").toArray();
        QCOMPARE(json, (QJsonObject{ { "format", "kelvaset-report" }, { "version", 1 }, { "site", report.site },
                                     { "technician", report.technician }, { "note", "Row 3" },
                                     { "program", QJsonObject{ { "name", "Kelvaset" }, { "version", "2.0.3" } } },
                                     { "time", "2024-05-06T14:30:05Z" }, { "profile", "Plant A" } }));
        const QJsonObject none{ { "mean", QJsonValue() }, { "minimum", QJsonValue() }, { "maximum", QJsonValue() },
                                { "samples", 0 } };
        QCOMPARE(sensors.at(0).toObject(), (QJsonObject{
            { "address", 3 }, { "label", "" }, { "serialNumber", 4000000001.0 }, { "firmware", "80.01-01.23" },
            { "bitRate", "19200" }, { "framing", "8N1" }, { "answered", true },
            { "status", QJsonObject{ { "FactoryCalConf", "OK" }, { "NotVolatilePars", "OK" }, { "DigInput", "Close" },
                                     { "PT100Status", "OK" }, { "AnOutputStatus", "OK" }, { "Watchdog", "OK" } } },
            { "configuration", QJsonObject{ { "Delay", 7 }, { "AnOutputMode", 3 }, { "AnOutputSelect", 2 },
                                            { "PT100Enable", 0 }, { "ConstPerPulse", 2 } } },
            { "profileMatch", QJsonObject{ { "Delay", true }, { "AnOutputMode", true }, { "AnOutputSelect", true },
                                           { "PT100Enable", true }, { "ConstPerPulse", true } } },
            { "live", QJsonObject{ { "Irradiance", QJsonObject{ { "mean", 800 }, { "minimum", 790 }, { "maximum", 810 },
                                                                { "samples", 3 } } },
                                   { "Temp", none }, { "Speed", none }, { "failedSamples", 1 } } },
            { "verdict", "Configuration matches the profile" } }));
        // Older firmware: no speed. Verdicts: see the PDF.
        QCOMPARE(sensors.at(1)["live"].toObject().keys(), QStringList({ "Irradiance", "Temp", "failedSamples" }));
        QCOMPARE(sensors.at(2).toObject().keys(),
                 QStringList({ "address", "answered", "bitRate", "framing", "label", "serialNumber", "verdict" }));

        QVERIFY2(report.writePdf(path + ".pdf", &error), qPrintable(error));
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), { path + ".pdf", QStringLiteral("-") });
        QVERIFY(pdftotext.waitForFinished(30000));
        // Words only, ligatures as letters: the layout may break a line anywhere.
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput())
                .normalized(QString::NormalizationForm_KC).simplified();
        for (const char *shown : { "Commissioning report", "Parc solaire: Nord/2", "A. Técnica", "Plant A",
                                   "4000000001", "9002", "9003", "80.01-01.23", "Configuration matches the profile",
                                   "Configuration differs from the profile: Delay (profile 7, sensor 9)",
                                   "Not answering", "115200 8N1", "Close" })
            QVERIFY2(text.contains(QString::fromUtf8(shown)), shown);
    }

    // A site of 300 characters of 3 bytes each: even 100 of them would
    // overrun the 255 bytes a file name may have.
    void longSiteIsCutInTheFileNameOnly()
    {
        CommissioningReport report;
        report.site = QString(300, QChar(0x65E5));
        report.time = QDateTime(QDate(2024, 5, 6), QTime(14, 30, 5), Qt::UTC);
        report.sensors = { answering(3, 9001, 0x8001, 7) };
        const QString base = report.baseFileName();
        QVERIFY(base.endsWith(QStringLiteral("_2024-05-06")));
        QVERIFY(base.startsWith(QString(10, QChar(0x65E5))));
        QVERIFY((base + ".json").toUtf8().size() <= 255);
        const QString path = directory.filePath(base);
        QString error;
        QVERIFY2(report.writeJson(path + ".json", &error) && report.writePdf(path + ".pdf", &error), qPrintable(error));
        QVERIFY(QFileInfo::exists(path + ".pdf"));
        QCOMPARE(jsonObjectIn(path + ".json").value("site").toString(), report.site);
    }
};

QTEST_MAIN(TestCommissioningReport)
#include "tst_commissioningreport.moc"
