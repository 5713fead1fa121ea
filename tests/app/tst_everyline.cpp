// The technician's flows on each kind of line, one test run on all three:
// the simulator's pseudo-terminal, its Modbus TCP gateway and its RTU-over-
// TCP gateway. The window opens a project naming the line, reads the first
// sensor, writes it a new node, reads the three sensors of the line with one
// falling silent, saves the project; the logger then logs the project's
// line with its records. And a gateway that goes away mid-run and comes back.

#include "device/projectfile.h"
#include "link/commtiming.h"
#include "link/networkline.h"
#include "loggerprocess.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "ports/serialportenumerator.h"
#include "resources.h"
#include "session/linesession.h"
#include "simulatorprocess.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

using namespace WindowTest;

namespace {

// Short timings on every kind of line, so that a silent sensor costs little.
void storeShortTiming()
{
    CommTiming timing { 30, 30, 2, 10, 60, 30 };
    timing.save();
}

int rowsIn(const QString &directory, const QString &pattern)
{
    int rows = 0;
    for (const QFileInfo &info : QDir(directory).entryInfoList({ pattern }, QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            rows += qMax(0, file.readAll().count('\n') - 1);
    }
    return rows;
}

// The counts of irradiance samples of the records in directory matching pattern.
QList<int> recordCounts(const QString &directory, const QString &pattern)
{
    QList<int> counts;
    for (const QFileInfo &info : QDir(directory).entryInfoList({ pattern }, QDir::Files)) {
        QFile file(info.filePath());
        QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n')
                                                                 : QList<QByteArray>();
        for (int i = 1; i < lines.size(); ++i)
            counts << lines.at(i).split(';').value(5).toInt();
    }
    return counts;
}

// Adds the simulator's gateway through "Network line..." as the technician
// does: the last item of the port list, then the dialog's fields.
void addNetworkLine(MainWindow &window, const QString &url, const QString &name)
{
    NetworkLine line;
    QVERIFY(NetworkLine::parse(url, &line));
    bool answered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->findChild<QLineEdit *>(QStringLiteral("hostLineEdit")))
            return;
        poll.stop();
        dialog->findChild<QLineEdit *>(QStringLiteral("nameLineEdit"))->setText(name);
        dialog->findChild<QLineEdit *>(QStringLiteral("hostLineEdit"))->setText(line.host);
        dialog->findChild<QSpinBox *>(QStringLiteral("portSpinBox"))->setValue(line.port);
        dialog->findChild<QComboBox *>(QStringLiteral("protocolComboBox"))
                ->setCurrentIndex(line.protocol == NetworkLine::Protocol::ModbusTcp ? 0 : 1);
        answered = true;
        dialog->accept();
    });
    poll.start(20);
    auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
    ports->setCurrentIndex(ports->count() - 1);
    emit ports->activated(ports->count() - 1);
    QVERIFY(answered);
    QCOMPARE(ports->currentText(), name);
}

using Logger = LoggerProcess;

} // namespace

class TestEveryLine : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void initTestCase()
    {
        registerImageResources();
        SerialPortEnumerator::setHardwarePortsListed(false);
    }
    void init()
    {
        environment.clearSettings();
        storeShortTiming();
    }
    void cleanup() { QDir::setCurrent(environment.workingDirectory()); }

    void flowsOnEveryKindOfLine_data() { addLineKindRows(); }
    void flowsOnEveryKindOfLine()
    {
        QFETCH(LineKind, kind);
        // The third sensor falls silent from the 60th frame on the line: after
        // Read all, Write all and some ticks.
        SimulatorProcess sim(kind, { "--sensor", "1:9001", "--sensor", "2:9002", "--sensor", "3:9003",
                                     "--fault-sensor", "3", "--silent-from", "60" });
        QVERIFY(sim.start());
        ModalAnswerer answerer;
        const QString project = QDir(environment.workingDirectory()).filePath(QStringLiteral("line.kelvaset"));
        {
            MainWindow window;
            // The line: the simulator's port as listed, or a network line the
            // technician adds, which the settings then keep.
            SerialPortInfo port;
            if (kind == LineKind::Serial) {
                for (const SerialPortInfo &present : SerialPortEnumerator::getPorts())
                    if (present.portName == sim.name())
                        port = present;
            } else {
                addNetworkLine(window, sim.line(), QStringLiteral("Roof gateway"));
                port = SerialPortInfo::networkLine(sim.line(), QStringLiteral("Roof gateway"));
                QSettings settings;
                const int kept = settings.beginReadArray(QStringLiteral("networkLines"));
                settings.setArrayIndex(kept - 1);
                QCOMPARE(settings.value(QStringLiteral("url")).toString(), sim.line());
            }
            QVERIFY(!port.identity.isEmpty());
            ProjectFile lineProject;
            lineProject.portName = port.friendName;
            lineProject.portIdentity = port.identity;
            lineProject.periodMs = 200;
            lineProject.sensors = { { 1, 9001, QStringLiteral("POA") }, { 2, 9002, QString() }, { 3, 9003, QString() } };
            QString error;
            QVERIFY2(lineProject.save(project, &error), qPrintable(error));

            // Read all: the project's line opened, its first sensor read.
            QVERIFY(window.openProject(project));
            QTRY_COMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
            QCOMPARE(window.lineSession().serialNumber(), quint32(9001));
            QCOMPARE(window.lineSession().port().identity, port.identity);

            // Behind a gateway, a new bit rate asks first; answered No, nothing goes.
            if (kind != LineKind::Serial) {
                auto *bitRate = widget<QComboBox>(&window, "bitRateComboBox");
                bitRate->setCurrentIndex(2);
                emit bitRate->activated(2);
                const int frames = sim.requests().size();
                widget<QPushButton>(&window, "writeAllPushButton")->click();
                QCOMPARE(answerer.boxes().size(), 1);
                QCOMPARE(answerer.boxes().first().title, QStringLiteral("Change the line behind the gateway?"));
                QCOMPARE(sim.requests().size(), frames);
                answerer.clear();
                bitRate->setCurrentIndex(1);
                emit bitRate->activated(1);
            }
            // Write all of a new node: the sensor and its row follow.
            widget<QSpinBox>(&window, "slaveSpinBox")->setValue(7);
            widget<QPushButton>(&window, "writeAllPushButton")->click();
            QTRY_VERIFY(!window.isBusy());
            QCOMPARE(statusText(&window), QStringLiteral("Values successfully sent"));
            QCOMPARE(window.lineSession().slave(), 7);
            QCOMPARE(window.lineSession().indexOf(7), 0);

            // The timed reading of the three: the third falls silent, the
            // others go on.
            auto *read = widget<QCheckBox>(&window, "readCheckBox");
            read->click();
            QTRY_VERIFY_WITH_TIMEOUT(window.lineSession().sensors().value(2).state == LineSensor::State::NoAnswer,
                                     15000);
            const int rows = rowsIn(environment.workingDirectory(), "SN9002_*.csv");
            QTRY_VERIFY_WITH_TIMEOUT(rowsIn(environment.workingDirectory(), "SN9002_*.csv") >= rows + 3, 10000);
            QCOMPARE(window.lineSession().sensors().value(0).state, LineSensor::State::Answered);
            QVERIFY(rowsIn(environment.workingDirectory(), "SN9001_*.csv") >= 3);
            read->click();
            QTRY_VERIFY(!window.isTimedReadingActive() && !window.isBusy());
            QCOMPARE(answerer.boxes().size(), 0);

            // The project keeps the line, the gateway's included.
            QVERIFY(window.saveProject(project));
        }
        ProjectFile saved;
        QString error;
        QVERIFY2(saved.load(project, &error), qPrintable(error));
        QCOMPARE(saved.portIdentity, kind == LineKind::Serial ? saved.portIdentity : sim.line());
        QCOMPARE(saved.sensors.first().address, 7);

        // The logger on the project's line, with one-second records: the
        // silent sensor's intervals have no sample, the others' have some.
        const QString out = environment.workingDirectory() + QStringLiteral("/out");
        QDir(out).removeRecursively();
        Logger logger({ project, "--period", "100", "--record", "1", "--out", out });
        QTRY_VERIFY_WITH_TIMEOUT(recordCounts(out, "SN9002_*_records.csv").size() >= 2 || logger.state() != QProcess::Running, 15000);
        const auto sampled = [&] {
            const QList<int> counts = recordCounts(out, "SN9001_*_records.csv");
            return std::any_of(counts.cbegin(), counts.cend(), [](int count) { return count > 0; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(sampled(), 15000);
        QVERIFY2(logger.says(QStringLiteral("(address 3) does not answer")), qPrintable(logger.journal));
        QCOMPARE(logger.stop(), 0);
        QVERIFY(recordCounts(out, "SN9003_*_records.csv").isEmpty());
    }

    // A gateway that closes the connection mid-run and reboots: the run
    // pauses and goes on when it is back; one that is down at the start is
    // waited for.
    void gatewayThatGoesAwayAndComesBack()
    {
        SimulatorProcess sim(LineKind::RtuOverTcp, { "--sensor", "1:9001", "--close-after", "40:1500" });
        QVERIFY(sim.start());
        const QString out = environment.workingDirectory() + QStringLiteral("/gone");
        Logger logger({ "--port", sim.line(), "--address", "1", "--period", "50", "--out", out });
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("the connection to %1 was lost").arg(sim.line())), 15000);
        const int rows = rowsIn(out, "SN9001_*.csv");
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("is back")), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(rowsIn(out, "SN9001_*.csv") > rows + 3, 10000);
        QCOMPARE(QDir(out).entryList({ "SN9001_*@*.csv" }).size(), 1);
        QCOMPARE(logger.stop(), 0);

        SimulatorProcess down(LineKind::ModbusTcp, { "--refuse-connections" });
        QVERIFY(down.start());
        Logger waiting({ "--port", down.line(), "--address", "1", "--out", out });
        QTRY_VERIFY(waiting.says(QStringLiteral("does not answer")));
        QVERIFY(waiting.says(QStringLiteral("waiting for it")));
        QCOMPARE(waiting.stop(), 0);
    }
};

QTEST_MAIN(TestEveryLine)
#include "tst_everyline.moc"
