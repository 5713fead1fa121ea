#include "app/profileflows.h"
#include "device/parametertable.h"
#include "device/projectfile.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "ports/serialportenumerator.h"
#include "resources.h"
#include "simrequests.h"
#include "sensorwindow.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using namespace WindowTest;

// A profile put on three sensors of one line, the third of which does not
// keep its response delay, as the technician does it from the window; and
// the report handed over afterwards.
class TestProfiles : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

    QString file(const QString &name) const { return QDir(environment.workingDirectory()).filePath(name); }

    // The window on the simulator's line with its three sensors listed.
    bool openLine(SensorWindow &sensor)
    {
        if (!sensor.startSimulator())
            return false;
        ProjectFile project;
        for (const SerialPortInfo &port : SerialPortEnumerator::getPorts()) {
            if (port.identity.contains(sensor.simulator.name())) {
                project.portName = port.friendName;
                project.portIdentity = port.identity;
            }
        }
        project.sensors = { { 1, 9001, QStringLiteral("POA") }, { 2, 9002, QString() }, { 3, 9003, QString() } };
        QString error;
        return project.save(file(QStringLiteral("line.kelvaset")), &error)
                && sensor.window().openProject(file(QStringLiteral("line.kelvaset")))
                && QTest::qWaitFor([&] { return sensor.window().lineSession().isOpen(); }, 5000);
    }

    // The summary of an application, waited for while the progress runs;
    // cancelAtSensor cancels once that sensor (from 1) is under way.
    QString applyAndWait(MainWindow &window, ModalAnswerer &answerer, int cancelAtSensor = 0)
    {
        answerer.clear();
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [&] {
            auto *progress = window.findChild<QProgressDialog *>();
            if (progress && cancelAtSensor
                    && progress->labelText().startsWith(QStringLiteral("%1 of").arg(cancelAtSensor)))
                progress->findChild<QPushButton *>()->click();
        });
        canceller.start(5);
        window.profileFlows().apply();
        if (answerer.boxes().size() != 2)
            return shownBoxes(answerer).join(QLatin1Char('|'));
        return answerer.boxes().at(1).text;
    }

private slots:
    void initTestCase() { registerImageResources(); }

    void profileAppliedComparedAndReported()
    {
        SensorWindow sensor({ "--sensor", "1:9001", "--sensor", "2:9002", "--sensor", "3:9003", "--fault-sensor", "3",
                              "--unkept", "0x8007" });
        QVERIFY(openLine(sensor));
        MainWindow &window = sensor.window();
        ProfileFlows &profiles = window.profileFlows();
        ModalAnswerer answerer;

        // A profile made from the first sensor with a delay of 9.
        sensor.click("readAllPushButton");
        QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
        widget<QSpinBox>(&window, "delaySpinBox")->setValue(9);
        const QString profileFile = file(QStringLiteral("plant.kelvaprofile"));
        // Saved, it is the open profile; a file that is no profile leaves it open.
        QVERIFY(profiles.saveProfile(profileFile, QStringLiteral("Plant A"), QStringLiteral("all POA sensors")));
        QCOMPARE(widget<QLabel>(&window, "openProfileLabel")->text(), QStringLiteral("Profile: Plant A"));
        QVERIFY(!profiles.openProfile(file(QStringLiteral("line.kelvaset"))));
        QCOMPARE(answerer.boxes().last().title, QStringLiteral("Profile not opened"));
        QVERIFY(profiles.openProfile().has_value());
        QCOMPARE(profiles.openProfile()->values().value(IdDelay).toInt(), 9);
        QVERIFY(profiles.openProfile(profileFile));
        QCOMPARE(widget<QLabel>(&window, "openProfileLabel")->text(), QStringLiteral("Profile: Plant A"));

        // Applied after one confirmation naming the sensors; the third does
        // not keep the delay, the others go on regardless.
        const QString summary = applyAndWait(window, answerer);
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("Apply profile"));
        QVERIFY(answerer.boxes().first().text.contains(QStringLiteral("SN9003 (address 3)")));
        QCOMPARE(summary.split(QLatin1Char('\n')),
                 QStringList({ "POA (address 1): applied and verified.", "SN9002 (address 2): applied and verified.",
                               "SN9003 (address 3): written and saved, but the check failed: Delay is 1, not 9." }));

        // Compared: the third differs, in the table and in the sensor list.
        QStringList compared;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != QLatin1String("profileComparisonDialog"))
                return;
            auto *table = modal->findChild<QTableWidget *>(QStringLiteral("profileComparisonTableWidget"));
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 4)->text() == QLatin1String("NO"))
                    compared << table->item(row, 0)->text() + QLatin1Char(' ') + table->item(row, 1)->text();
            }
            qobject_cast<QDialog *>(modal)->reject();
        });
        closer.start(10);
        profiles.compare();
        QCOMPARE(compared, QStringList("SN9003 (address 3) Delay"));
        const QVector<LineSensor> &listed = window.lineSession().sensors();
        QCOMPARE(listed.at(2).profileMatch, LineSensor::ProfileMatch::Differs);
        QCOMPARE(listed.at(0).profileMatch, LineSensor::ProfileMatch::Matches);

        // Cancelled while the second sensor is under way: it is finished,
        // the third is not started.
        sensor.simulator.clearRequests();
        const QStringList cancelled = applyAndWait(window, answerer, 2).split(QLatin1Char('\n'));
        QCOMPARE(cancelled.last(), QStringLiteral("SN9003 (address 3): not started (cancelled)."));
        for (const SimRequest &request : sensor.simulator.requests())
            QVERIFY(request.slave != 3);

        // The report holds every sensor as the simulator has it.
        answerer.clear();
        QVERIFY(profiles.writeReport(QStringLiteral("Plant A"), QStringLiteral("J. Doe"), QString(), 1,
                                     environment.workingDirectory()));
        const QString base = file(QStringLiteral("Plant_A_") + QDate::currentDate().toString(Qt::ISODate));
        QFile json(base + QStringLiteral(".json"));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
        QCOMPARE(report.value(QStringLiteral("site")).toString(), QStringLiteral("Plant A"));
        const QJsonArray sensors = report.value(QStringLiteral("sensors")).toArray();
        QCOMPARE(sensors.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject entry = sensors.at(i).toObject();
            QCOMPARE(entry.value(QStringLiteral("serialNumber")).toInt(), 9001 + i);
            QCOMPARE(entry.value(QStringLiteral("address")).toInt(), 1 + i);
            QCOMPARE(entry.value(QStringLiteral("answered")).toBool(), true);
            QCOMPARE(entry.value(QStringLiteral("bitRate")).toVariant().toString(), QStringLiteral("19200"));
            QCOMPARE(entry.value(QStringLiteral("configuration")).toObject().value(QStringLiteral("Delay")).toInt(),
                     i == 2 ? 1 : 9);
            const QJsonObject irradiance = entry.value(QStringLiteral("live")).toObject()
                                                   .value(QStringLiteral("Irradiance")).toObject();
            QVERIFY(irradiance.value(QStringLiteral("samples")).toInt() > 0);
        }
        QVERIFY(QFile::exists(base + QStringLiteral(".pdf")));

        // None of it while a timed reading has the line.
        widget<QCheckBox>(&window, "readCheckBox")->click();
        QTRY_VERIFY(window.isTimedReadingActive());
        answerer.clear();
        profiles.compare();
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("Timed reading running"));
    }
};

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
