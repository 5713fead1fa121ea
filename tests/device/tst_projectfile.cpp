#include "device/projectfile.h"
#include "jsonfiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestProjectFile : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    void savedProjectLoadsBack()
    {
        ProjectFile project;
        project.portName = QStringLiteral("Virtual serial port kelvane-sim");
        project.portIdentity = QStringLiteral("virtual:kelvane-sim");
        project.bitRateCode = 4;
        project.framingCode = 3;
        project.periodMs = 1000;
        project.sensors = { { 1, 4294967295u, QStringLiteral("row 1 east") }, { 247, 17, QString() },
                            { 2, 3, QString(ProjectFile::LongestLabel, QLatin1Char('x')) } };
        project.hasTiming = true;
        project.timing.networkRequestTimeMs = 750;
        const QString path = directory.filePath(QStringLiteral("plant.kelvaset"));
        QString error;
        QVERIFY(project.save(path, &error));
        const QJsonObject written = jsonObjectIn(path);
        QCOMPARE(written.value("bitRate").toString() + written.value("framing").toString(), QStringLiteral("1152008N2"));
        // Every field comes back: saved again, the file is the same.
        ProjectFile loaded;
        QVERIFY2(loaded.load(path, &error), qPrintable(error));
        QVERIFY(loaded.hasTiming && loaded.timing.networkRequestTimeMs == 750);
        QVERIFY(loaded.save(path, &error));
        QCOMPARE(jsonObjectIn(path), written);
    }

    void refusedFilesAreNotTaken_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("named");
        QTest::newRow("bit rate code 5") << R"("bitRateCode": 5, "framingCode": 0, "periodMs": 250, "sensors": [])" << "bitRateCode";
        QTest::newRow("framing code -1") << R"("bitRateCode": 1, "framingCode": -1, "periodMs": 250, "sensors": [])" << "framingCode";
        QTest::newRow("period 0") << R"("bitRateCode": 1, "framingCode": 0, "periodMs": 0, "sensors": [])" << "periodMs";
        const QString line = QStringLiteral(R"("bitRateCode": 1, "framingCode": 0, "periodMs": 250, "sensors": )");
        QTest::newRow("address 248") << line + R"([{"address": 248, "serialNumber": 5}])" << "address";
        QTest::newRow("serial number -1") << line + R"([{"address": 2, "serialNumber": -1}])" << "serialNumber";
        QTest::newRow("network timeout 0") << line + R"([], "timing": {"networkRequestTimeMs": 0})"
                                           << "timing.networkRequestTimeMs";
        QTest::newRow("timing a number") << line + R"([], "timing": 300)" << "timing must be an object";
        QTest::newRow("one address twice") << line + R"([{"address": 1, "serialNumber": 5}, {"address": 1, "serialNumber": 6}])"
                                           << "address 1";
        // Texts and types are checked before anything is built of them.
        const QString labelled = QStringLiteral(R"({"address": 2, "serialNumber": 6, "label": "%1"})");
        QTest::newRow("label too long")
                << line + R"([{"address": 1, "serialNumber": 5}, )" + labelled.arg(QString(201, 'x')) + "]"
                << "sensors[1].label is longer than 200 characters";
        QTest::newRow("label a number") << line + R"([{"address": 1, "serialNumber": 5, "label": 12}])"
                                        << "sensors[0].label must be text";
        QTest::newRow("address as text") << line + R"([{"address": "1", "serialNumber": 5}])" << "sensors[0].address";
        QTest::newRow("sensor a number") << line + "[7]" << "sensors[0] must be an object";
        QTest::newRow("port name too long")
                << QStringLiteral(R"("port": {"name": "%1"}, )").arg(QString(301, 'p')) + line + "[]"
                << "port.name is longer than 300 characters";
        QTest::newRow("port identity a list") << R"("port": {"identity": []}, )" + line + "[]"
                                              << "port.identity must be text";
        // Refused unread: a label of megabytes froze the window.
        QTest::newRow("over 1 MiB") << line + "[" + labelled.arg(QString(1 << 20, 'x')) + "]"
                                    << "is not a Kelvaset project: it is larger than 1 MiB";
    }
    void refusedFilesAreNotTaken()
    {
        QFETCH(QString, fields);
        QFETCH(QString, named);
        if (!fields.contains(QStringLiteral("\"port\"")))
            fields.prepend(QStringLiteral(R"("port": { "name": "ttyUSB0" }, )"));
        const QString path = writtenFile(directory.filePath(QStringLiteral("written.kelvaset")),
                                         QStringLiteral(R"({"format": "kelvaset-project", "version": 1,
                                                           %1 })").arg(fields).toUtf8());
        ProjectFile project;
        project.sensors = { { 9, 99, QStringLiteral("kept") } };
        QString error;
        QVERIFY(!project.load(path, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QCOMPARE(project.sensors.size() + project.portName.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
