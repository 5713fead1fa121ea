#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "ports/virtualports.h"
#include "windowtest.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QElapsedTimer>
#include <QtTest>

using namespace WindowTest;

// Opening and closing the Modbus connection from the window and reading
// the sensor simulator into the form, as the technician does it.
class TestConnection : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void initTestCase() { registerImageResources(); }
    void init()
    {
        environment.clearSettings();
        storeTransferTiming(100, 50, 3, 20);
    }

    void openAtDefaultSettingsReadsAndCloses()
    {
        SensorWindow sensor;
        QVERIFY(sensor.open());
        MainWindow &window = sensor.window();
        auto *button = widget<QPushButton>(&window, "openClosePushButton");
        QVERIFY(button->isChecked());
        QCOMPARE(button->text(), QStringLiteral("Close COM Port"));
        for (const char *name : { "readAllPushButton", "writeAllPushButton", "savePushButton", "resetParamsPushButton" })
            QVERIFY2(widget<QWidget>(&window, name)->isEnabled(), name);
        // No firmware is known yet: the timed reading waits for a Read all.
        QVERIFY(!widget<QWidget>(&window, "readCheckBox")->isEnabled());

        sensor.click("readAllPushButton");
        QElapsedTimer sinceReadAll;
        sinceReadAll.start();
        // At 19200 8N1, slave 1; the outcome shows for two seconds.
        QCOMPARE(describe(sensor.simulator.requests()), readAllRequests(true));
        QVERIFY(successShownFor(&window, QStringLiteral("Values successfully retrieved"), sinceReadAll, 2000));
        QVERIFY(widget<QWidget>(&window, "readCheckBox")->isEnabled());

        sensor.pressOpenClose();
        QVERIFY(!window.lineSession().isOpen());
        QVERIFY(!button->isChecked());
        QCOMPARE(button->text(), QStringLiteral("Open COM Port"));
        for (const char *name : { "readAllPushButton", "writeAllPushButton", "savePushButton", "resetParamsPushButton",
                                  "readCheckBox", "readSpinBox", "tabWidget" })
            QVERIFY2(!widget<QWidget>(&window, name)->isEnabled(), name);

        // Opening again after a Read all enables the timed reading at once.
        sensor.pressOpenClose();
        QVERIFY(window.lineSession().isOpen());
        QVERIFY(widget<QWidget>(&window, "readCheckBox")->isEnabled());

        // The adapter is pulled out during a Read all: the box tells so, and
        // blames no exception on the sensor.
        ModalAnswerer answerer;
        QTimer::singleShot(0, [&] { sensor.simulator.vanish(); });
        sensor.click("readAllPushButton");
        QVERIFY(answerer.waitForBoxes(1));
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("Connection failed"));
        QVERIFY2(answerer.boxes().first().text.contains(QStringLiteral("is no longer there")),
                 qPrintable(answerer.boxes().first().text));
    }

    void openFailures()
    {
        // A port that is no serial device: the open fails.
        QDir().mkpath(virtualPortDirectory());
        const QString notSerial = virtualPortDirectory() + QStringLiteral("/not-a-tty");
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), notSerial));
        MainWindow window;
        auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
        ports->setCurrentIndex(ports->findText(QStringLiteral("not-a-tty"), Qt::MatchContains));
        QVERIFY(ports->currentIndex() >= 0);

        // No port chosen comes second: nothing is opened blindly.
        ModalAnswerer answerer;
        for (int box = 0; box < 2; ++box) {
            widget<QPushButton>(&window, "openClosePushButton")->click();
            QVERIFY(answerer.waitForBoxes(box + 1));
            QCOMPARE(answerer.boxes().last().title, QStringLiteral("Connection failed"));
            QVERIFY(!widget<QPushButton>(&window, "openClosePushButton")->isChecked());
            QVERIFY(!window.lineSession().isOpen());
            QVERIFY(!widget<QWidget>(&window, "readAllPushButton")->isEnabled());
            ports->setCurrentIndex(-1);
        }
        QVERIFY2(answerer.boxes().first().text.startsWith(QStringLiteral("Could not connect serial port!\n\n")),
                 qPrintable(answerer.boxes().first().text));
        QFile::remove(notSerial);
    }

    void adaptersComingAndGoingLeaveTheOpenLineAlone()
    {
        SensorWindow sensor;
        QVERIFY(sensor.open());
        MainWindow &window = sensor.window();
        auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
        const QString openPort = ports->currentText();

        // A re-connection after a line change opens the selected port, so while
        // the line is open an arriving port must not take the selection.
        const int master = announceVirtualPort(QStringLiteral("another-adapter"));
        QTRY_COMPARE(statusText(&window), QStringLiteral("Discovered device another-adapter"));
        QCOMPARE(ports->currentText(), openPort);

        // Closed, the list preselects the stored port again (none: the first).
        sensor.pressOpenClose();
        withdrawVirtualPort(QStringLiteral("another-adapter"), master);
        QTRY_COMPARE(statusText(&window), QStringLiteral("Removed device another-adapter"));
        QCOMPARE(ports->currentIndex(), 0);

        // The open adapter unplugged while the line is idle: the window waits
        // for it, and nothing can be sent meanwhile.
        QVERIFY(sensor.open());
        const QString name = sensor.simulator.name();
        sensor.simulator.vanish();
        QTRY_COMPARE(statusText(&window), name + QStringLiteral(" was unplugged: it is opened again when it is back."));
        QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isChecked());
        QVERIFY(!widget<QWidget>(&window, "readAllPushButton")->isEnabled());
        // Plugged in again: the next Read all goes through the port as it is
        // now, without a box.
        SimulatorProcess back({}, name);
        QVERIFY(back.start());
        QTRY_VERIFY_WITH_TIMEOUT(window.lineSession().isOpen()
                                 && widget<QWidget>(&window, "readAllPushButton")->isEnabled(), 10000);
        ModalAnswerer answerer;
        sensor.click("readAllPushButton");
        QCOMPARE(shownBoxes(answerer), QStringList());
        QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
        QVERIFY(!back.requests().isEmpty());
    }

    void windowStaysResponsiveDuringATransfer()
    {
        // A silent sensor at slow timing: each attempt waits two seconds.
        storeTransferTiming(2000, 2000, 3, 0);
        QScopedPointer<SensorWindow> sensor(new SensorWindow({ QStringLiteral("--silent") }));
        QVERIFY(sensor->open());
        MainWindow &window = sensor->window();
        widget<QPushButton>(&window, "readAllPushButton")->click();
        QTRY_COMPARE(sensor->simulator.requests().size(), 1);

        // The event loop goes on while the transfer waits...
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        QTRY_VERIFY(ticks >= 5);
        QVERIFY(window.isBusy());
        QCOMPARE(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                 Qt::BusyCursor);

        // ...and starts nothing alongside it.
        for (const char *name : { "readAllPushButton", "writeAllPushButton", "savePushButton" })
            widget<QPushButton>(&window, name)->click();
        QCOMPARE(sensor->simulator.requests().size(), 1);

        // Closing the window ends the transfer after the attempt under way.
        QElapsedTimer closing;
        closing.start();
        window.close();
        sensor.reset();
        // All three attempts with their drains would take over ten seconds.
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
    }
};

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
