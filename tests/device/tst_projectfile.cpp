#include "device/projectfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

class TestProjectFile : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    static QByteArray projectJson(int bitRateCode, int framingCode, int periodMs, const QString &sensors)
    {
        return QStringLiteral(R"({"format": "kelvaset-project", "version": 1,
                                  "port": { "name": "ttyUSB0", "identity": "FTDI 1234" },
                                  "bitRateCode": %1, "framingCode": %2, "periodMs": %3, "sensors": [ %4 ]})")
                .arg(bitRateCode).arg(framingCode).arg(periodMs).arg(sensors).toUtf8();
    }

private slots:
    void savedProjectLoadsBack()
    {
        ProjectFile project;
        project.portName = QStringLiteral("Virtual serial port kelvane-sim");
        project.portIdentity = QStringLiteral("virtual:kelvane-sim");
        project.bitRateCode = 4;
        project.framingCode = 3;
        project.periodMs = 1000;
        project.sensors = { { 1, 4294967295u, QStringLiteral("row 1 east") }, { 247, 17, QString() } };
        const QString path = directory.filePath(QStringLiteral("plant.kelvaset"));
        QString error;
        QVERIFY(project.save(path, &error));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject written = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(written.value("bitRate").toString(), QStringLiteral("115200"));
        QCOMPARE(written.value("framing").toString(), QStringLiteral("8N2"));

        ProjectFile loaded;
        QVERIFY2(loaded.load(path, &error), qPrintable(error));
        QCOMPARE(loaded.portName, project.portName);
        QCOMPARE(loaded.portIdentity, project.portIdentity);
        QCOMPARE(QVector<int>({ loaded.bitRateCode, loaded.framingCode, loaded.periodMs }),
                 QVector<int>({ 4, 3, 1000 }));
        QCOMPARE(loaded.sensors.size(), 2);
        QCOMPARE(loaded.sensors.at(0).serialNumber, 4294967295u);
        QCOMPARE(loaded.sensors.at(0).label, QStringLiteral("row 1 east"));
        QCOMPARE(loaded.sensors.at(1).address, 247);
    }

    void refusedFilesAreNotTaken_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("named");
        const QString one = QStringLiteral(R"({"address": 1, "serialNumber": 5, "label": ""})");
        QTest::newRow("bit rate code 5") << projectJson(5, 0, 250, one) << "bitRateCode";
        QTest::newRow("framing code -1") << projectJson(1, -1, 250, one) << "framingCode";
        QTest::newRow("period 0") << projectJson(1, 0, 0, one) << "periodMs";
        QTest::newRow("address 0") << projectJson(1, 0, 250, R"({"address": 0, "serialNumber": 5})") << "address";
        QTest::newRow("address 248") << projectJson(1, 0, 250, R"({"address": 248, "serialNumber": 5})") << "address";
        QTest::newRow("serial number negative")
                << projectJson(1, 0, 250, R"({"address": 2, "serialNumber": -1})") << "serialNumber";
        QTest::newRow("one address twice") << projectJson(1, 0, 250, one + ", " + one) << "address 1";
        QTest::newRow("newer") << QByteArray(R"({"format": "kelvaset-project", "version": 2})") << "newer";
        QTest::newRow("a profile") << QByteArray(R"({"format": "kelvaset-profile", "version": 1})") << "project";
    }
    void refusedFilesAreNotTaken()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, named);
        const QString path = directory.filePath(QStringLiteral("written.kelvaset"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        ProjectFile project;
        project.sensors = { { 9, 99, QStringLiteral("kept") } };
        QString error;
        QVERIFY(!project.load(path, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QCOMPARE(project.sensors.size(), 1);
        QCOMPARE(project.portName, QString());
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
