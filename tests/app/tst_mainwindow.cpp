#include "mainwindow.h"
#include "modalanswerer.h"
#include "ports/serialportenumerator.h"
#include "resources.h"
#include "sensorwindow.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

using namespace WindowTest;

// The main window as a technician meets it: start-up state, the status
// display, the port list following arrivals and removals, the settings kept
// between runs and the menu actions.
class TestMainWindow : public QObject
{
    Q_OBJECT

    TestEnvironment environment;
    QHash<QString, int> announced;   // virtual ports by name, with their pty master

    bool announce(const QString &name) { return (announced[name] = announceVirtualPort(name)) >= 0; }
    void withdraw(const QString &name) { withdrawVirtualPort(name, announced.take(name)); }

private slots:
    void initTestCase() { registerImageResources(); }
    void init()
    {
        environment.clearSettings();
        SerialPortEnumerator::setHardwarePortsListed(true);
    }
    void cleanup() { for (const QString &name : announced.keys()) withdraw(name); }

    void damagedSettingsReadAsDefaults()
    {
        // A geometry that is garbage, too large to draw or off every screen
        // is not restored: the window comes up centred at its own size.
        for (const QVariant &geometry : { QVariant(QStringLiteral("garbage")), QVariant(QRect(0, 0, 99999, 99999)),
                                          QVariant(QRect(30000, 30000, 400, 300)) }) {
            const QVector<std::tuple<const char *, const char *, QVariant>> damaged = {
                { "window", "geometry", geometry },        { "comConfig", "maxRetries", 1000000 },
                { "comConfig", "requestTimeMs", -25 },     { "comConfig", "incrementalTimeMs", "lots" },
                { "userConfig", "maxReadTime", -5 },       { "userConfig", "readTimer", "soon" },
                { "serialConfig", "slave", 999 },          { "serialConfig", "serialBitRate", "abc" },
                { "serialConfig", "serialDataBitStopParity", 9 } };
            for (const auto &row : damaged)
                storeSetting(QLatin1String(std::get<0>(row)), QLatin1String(std::get<1>(row)), std::get<2>(row));
            MainWindow window;
            QCOMPARE(window.windowTitle(), QStringLiteral("Kelvaset - 2.0.3"));
            QCOMPARE(window.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
            QCOMPARE(statusText(&window), QStringLiteral("Ready"));
            QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));
            // The defaults, not the edges of the ranges: 3 attempts of 25 ms.
            auto *period = widget<QSpinBox>(&window, "readSpinBox");
            QCOMPARE(period->minimum(), 540);
            QCOMPARE(period->maximum(), 60000);
            QCOMPARE(period->value(), 540);
            QCOMPARE(widget<QSlider>(&window, "readHorizontalSlider")->value(), 540);
            QCOMPARE(widget<QSpinBox>(&window, "slaveSpinBox")->value(), 1);
            QCOMPARE(widget<QComboBox>(&window, "bitRateComboBox")->currentIndex(), 1);
            QCOMPARE(widget<QComboBox>(&window, "databitParityStopComboBox")->currentIndex(), 0);
            // The real on-board UART of the machine is a port like any other.
            // "Network line..." comes last.
            QCOMPARE(widget<QComboBox>(&window, "serialPortComboBox")->count(), SerialPortEnumerator::getPorts().size() + 1);
            for (const char *name : { "readAllPushButton", "writeAllPushButton", "savePushButton",
                                      "resetParamsPushButton", "readCheckBox", "readHorizontalSlider", "readSpinBox",
                                      "tabWidget" })
                QVERIFY2(!widget<QWidget>(&window, name)->isEnabled(), name);
            QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isEnabled());
            QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            // The whole window fits the screen, however small (this one is
            // 800 x 600): the form scrolls.
            const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
            QVERIFY2(available.contains(window.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(
                    window.frameGeometry().x()).arg(window.frameGeometry().y()).arg(window.frameGeometry().width())
                    .arg(window.frameGeometry().height())));
        }
    }

    void openCloseButtonNeedsBothLineSettings()
    {
        MainWindow window;
        auto *button = widget<QPushButton>(&window, "openClosePushButton");
        for (const char *name : { "bitRateComboBox", "databitParityStopComboBox" }) {
            auto *combo = widget<QComboBox>(&window, name);
            combo->setCurrentIndex(-1);
            // Only a choice of the user re-applies the rule.
            QVERIFY2(button->isEnabled(), name);
            emit combo->activated(-1);
            QVERIFY2(!button->isEnabled(), name);
            combo->setCurrentIndex(2);
            emit combo->activated(2);
            QVERIFY2(button->isEnabled(), name);
        }
    }

    void portArrivalAndRemoval()
    {
        SerialPortEnumerator::setHardwarePortsListed(false);
        QVERIFY(announce(QStringLiteral("bench-a")) && announce(QStringLiteral("bench-b")));
        QString storedName;
        for (const SerialPortInfo &port : SerialPortEnumerator::getPorts())
            if (port.portName == QLatin1String("bench-a"))
                storedName = port.friendName;
        QVERIFY(storedName.contains(QLatin1String("bench-a")));
        storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialInterface"), storedName);
        storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), 3);
        MainWindow window;
        auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
        QCOMPARE(ports->currentText(), storedName);

        // The user picks another port; the next notice brings the stored one back.
        ports->setCurrentIndex(1 - ports->currentIndex());
        QVERIFY(announce(QStringLiteral("bench-c")));
        QTRY_COMPARE(statusText(&window), QStringLiteral("Discovered device bench-c"));
        QCOMPARE(statusStyle(&window), QStringLiteral("background: #0b0;"));
        QCOMPARE(ports->count(), 4);    // and "Network line..."
        QCOMPARE(ports->currentText(), storedName);
        QTRY_COMPARE_WITH_TIMEOUT(statusText(&window), QString(), 3000);
        QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));

        withdraw(QStringLiteral("bench-c"));
        QTRY_COMPARE(statusText(&window), QStringLiteral("Removed device bench-c"));
        QCOMPARE(statusStyle(&window), QStringLiteral("background: #0b0;"));
        QCOMPARE(ports->count(), 3);

        withdraw(QStringLiteral("bench-a"));
        withdraw(QStringLiteral("bench-b"));
        QTRY_COMPARE(statusText(&window), QStringLiteral("No device found"));
        QCOMPARE(statusStyle(&window), QStringLiteral("background: #b00;"));
        QCOMPARE(ports->count(), 1);
        QCOMPARE(ports->currentIndex(), -1);

        // Opening with no port at all says so and stays closed.
        ModalAnswerer answerer;
        auto *button = widget<QPushButton>(&window, "openClosePushButton");
        button->click();
        QVERIFY(answerer.waitForBoxes(1));
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("No serial port found"));
        QCOMPARE(answerer.boxes().first().text, QStringLiteral("Could not find any serial port on this computer!"));
        QVERIFY(!button->isChecked());
        QVERIFY(!window.lineSession().isOpen());
        QVERIFY(!widget<QWidget>(&window, "readAllPushButton")->isEnabled());

        // Closing with no port present keeps the stored line for the next run,
        // and stores the rest.
        widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(0);
        widget<QSpinBox>(&window, "readSpinBox")->setValue(1234);
        window.close();
        QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate")).toInt(), 3);
        QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialInterface")).toString(), storedName);
        QCOMPARE(storedSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer")).toInt(), 1234);
    }

    void settingsSurviveRestartThroughTheMenu()
    {
        // The line is stored when a sensor answers at it; the window keeps
        // its place and the reading period.
        QRect geometry;
        {
            MainWindow window;
            window.setGeometry(QRect(40, 50, 470, 520));
            geometry = window.geometry();
            widget<QSpinBox>(&window, "readSpinBox")->setValue(2500);

            QString aboutTitle;
            QTimer::singleShot(0, [&] {
                if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                    aboutTitle = dialog->windowTitle();
                    dialog->accept();
                }
            });
            widget<QAction>(&window, "actionAbout")->trigger();
            QCOMPARE(aboutTitle, QStringLiteral("About Kelvaset"));
            widget<QAction>(&window, "actionExit")->trigger();
        }
        MainWindow restarted;
        QCOMPARE(restarted.geometry(), geometry);
        QCOMPARE(widget<QSpinBox>(&restarted, "readSpinBox")->value(), 2500);
    }

    void foundSensorsAreUsedAddedAndKeptInAProject()
    {
        // Two sensors at 57600 8O1, at addresses 200 and 201, at 20 and 21
        // degC; the second was cloned from the first: same serial number.
        SensorWindow sensor({ "--sensor", "200:9200", "--sensor", "201:9200", "--bitrate", "3", "--serialconf", "2",
                              "--temperature", "20" });
        // Open at the stored line, where no sensor answers: the search
        // closes the port first.
        QVERIFY(sensor.open());
        MainWindow &window = sensor.window();
        // The search starts at once; it is narrowed to where the sensors
        // are, and the button given is pressed once they are listed. A step
        // that fails closes the dialog, so that the test goes on to fail.
        const auto drive = [](QDialog *dialog, const char *buttonName) {
            auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancelPushButton"));
            auto *start = dialog->findChild<QPushButton *>(QStringLiteral("searchPushButton"));
            // The stored line comes first: a search may end at once.
            if (cancel->isEnabled())
                cancel->click();
            if (!QTest::qWaitFor([&] { return start->isEnabled(); }, 10000))
                return false;
            dialog->findChild<QSpinBox *>(QStringLiteral("firstAddressSpinBox"))->setValue(199);
            dialog->findChild<QSpinBox *>(QStringLiteral("lastAddressSpinBox"))->setValue(201);
            for (int code = 0; code < 5; ++code)
                dialog->findChild<QCheckBox *>(QStringLiteral("bitRateCheckBox%1").arg(code))->setChecked(code >= 3);
            for (int code = 0; code < 4; ++code)
                dialog->findChild<QCheckBox *>(QStringLiteral("framingCheckBox%1").arg(code))->setChecked(code == 2);
            dialog->findChild<QCheckBox *>(QStringLiteral("stopAtFirstCheckBox"))->setChecked(false);
            start->click();
            auto *button = dialog->findChild<QPushButton *>(QLatin1String(buttonName));
            if (!QTest::qWaitFor([&] { return start->isEnabled() && button->isEnabled(); }, 30000))
                return false;
            button->click();
            return true;
        };
        const auto search = [&](const char *buttonName) {
            bool pressed = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!dialog || !dialog->findChild<QPushButton *>(QStringLiteral("addAllFoundPushButton")))
                    return;
                poll.stop();
                pressed = drive(dialog, buttonName);
                if (!pressed)
                    dialog->reject();
            });
            poll.start(20);
            widget<QAction>(&window, "actionFindSensor")->trigger();
            return pressed;
        };

        QVERIFY(search("useSensorPushButton"));
        QTRY_COMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
        QVERIFY(window.lineSession().isOpen());
        QCOMPARE(widget<QSpinBox>(&window, "slaveSpinBox")->value(), 200);
        QCOMPARE(widget<QComboBox>(&window, "bitRateComboBox")->currentIndex(), 3);
        QCOMPARE(widget<QComboBox>(&window, "databitParityStopComboBox")->currentIndex(), 2);
        QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).toInt(), 200);
        QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate")).toInt(), 3);
        QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity")).toInt(), 2);
        const SimRequest last = sensor.simulator.requests().last();
        QVERIFY(last.baud == 57600 && last.odd && last.answered);

        // Adding the clone warns, naming both addresses; kept, as the box
        // offers, each keeps a log of its own, and the timed reading is
        // ready for them at once.
        auto clones = std::make_unique<ModalAnswerer>();
        QVERIFY(search("addAllFoundPushButton"));
        QTRY_VERIFY(window.lineSession().isOpen());
        QCOMPARE(clones->boxes().size(), 1);
        QCOMPARE(clones->boxes().first().title, QStringLiteral("Same serial number"));
        QVERIFY2(clones->boxes().first().text.startsWith(QStringLiteral(
                "The sensor at address 201 answers with serial number 9200, as the sensor at address 200 does")),
                 qPrintable(clones->boxes().first().text));
        clones.reset();
        auto *read = widget<QCheckBox>(&window, "readCheckBox");
        QTRY_VERIFY(read->isEnabled() && !window.isBusy());
        read->click();
        const QDir folder(environment.workingDirectory());
        const auto rowsOf = [&](const QString &pattern) {
            const QStringList logs = folder.entryList({ pattern });
            QFile log(logs.size() == 1 ? folder.filePath(logs.first()) : QString());
            return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts).mid(1, 2)
                                                 : QStringList();
        };
        QTRY_VERIFY_WITH_TIMEOUT(rowsOf("SN9200_2*.csv").size() == 2 && rowsOf("SN9200_A201_*.csv").size() == 2,
                                 10000);
        read->click();
        for (const QString &row : rowsOf("SN9200_2*.csv"))
            QVERIFY2(row.contains(";20.0;"), qPrintable(row));
        for (const QString &row : rowsOf("SN9200_A201_*.csv"))
            QVERIFY2(row.contains(";21.0;"), qPrintable(row));
        QTRY_VERIFY(!window.isBusy());
        auto *table = widget<QTableView>(&window, "sensorsTableView");
        const auto listed = [&] {
            QStringList rows;
            for (int row = 0; row < table->model()->rowCount(); ++row)
                rows << table->model()->index(row, 0).data().toString() + QLatin1Char(':')
                                + table->model()->index(row, 1).data().toString();
            return rows;
        };
        QCOMPARE(listed(), QStringList({ "200:9200", "201:9200" }));
        table->model()->setData(table->model()->index(1, 3), QStringLiteral("POA east"));

        // The line and its sensors go into a project and come back from it;
        // a damaged project changes nothing.
        const QString project = QDir(environment.workingDirectory()).filePath(QStringLiteral("plant.kelvaset"));
        QVERIFY(window.saveProject(project));
        widget<QWidget>(&window, "sensorsTableView")->setFocus();
        table->setCurrentIndex(table->model()->index(0, 0));
        QTRY_VERIFY(!window.isBusy());
        QTest::keyClick(table, Qt::Key_Delete);
        QCOMPARE(listed(), QStringList({ "201:9200" }));
        const QString damaged = QDir(environment.workingDirectory()).filePath(QStringLiteral("damaged.kelvaset"));
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"format\": \"kelvaset-project\", ") > 0);
        file.close();
        ModalAnswerer answerer;
        QVERIFY(!window.openProject(damaged));
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("Project not opened"));
        QCOMPARE(listed(), QStringList({ "201:9200" }));
        QVERIFY(window.openProject(project));
        QTRY_VERIFY(window.lineSession().isOpen());
        QCOMPARE(listed(), QStringList({ "200:9200", "201:9200" }));
        QCOMPARE(table->model()->index(1, 3).data().toString(), QStringLiteral("POA east"));
        QCOMPARE(window.lineSession().bitRateCode(), 3);
        QCOMPARE(window.lineSession().framingCode(), 2);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
