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
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

using namespace WindowTest;

// The main window as a technician meets it: start-up state, the status
// display, the port list following arrivals and removals, the settings kept
// between runs and the menu actions.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstStartShowsDefaults();
    void openCloseButtonNeedsBothLineSettings();
    void portArrivalAndRemoval();
    void lastPortRemoved();
    void settingsSurviveRestart();
    void damagedSettingsReadAsDefaults();
    void oversizedGeometryIsNotRestored();
    void menuActions();
    void foundSensorIsOpenedAndRead();

private:
    TestEnvironment environment;
    QList<QPair<QString, int>> announced;
};

void TestMainWindow::initTestCase()
{
    registerImageResources();
}

void TestMainWindow::init()
{
    environment.clearSettings();
    SerialPortEnumerator::setHardwarePortsListed(true);
}

void TestMainWindow::cleanup()
{
    for (const auto &port : qAsConst(announced))
        withdrawVirtualPort(port.first, port.second);
    announced.clear();
    SerialPortEnumerator::setHardwarePortsListed(true);
}

void TestMainWindow::firstStartShowsDefaults()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Kelvaset - 2.0.3"));
    QCOMPARE(window.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));

    // The defaults themselves are checked with a damaged store below.
    QCOMPARE(widget<QSlider>(&window, "readHorizontalSlider")->value(), 540);
    // The real on-board UART of the machine is a port like any other.
    QCOMPARE(widget<QComboBox>(&window, "serialPortComboBox")->count(), SerialPortEnumerator::getPorts().size());

    for (const char *name : { "readAllPushButton", "writeAllPushButton", "savePushButton", "resetParamsPushButton",
                              "readCheckBox", "readHorizontalSlider", "readSpinBox", "tabWidget" })
        QVERIFY2(!widget<QWidget>(&window, name)->isEnabled(), name);
    QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isEnabled());
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 3);
}

void TestMainWindow::openCloseButtonNeedsBothLineSettings()
{
    MainWindow window;
    auto *button = widget<QPushButton>(&window, "openClosePushButton");
    auto *bitRate = widget<QComboBox>(&window, "bitRateComboBox");
    QVERIFY(button->isEnabled());

    // Only a choice of the user re-applies the rule.
    bitRate->setCurrentIndex(-1);
    QVERIFY(button->isEnabled());
    emit bitRate->activated(-1);
    QVERIFY(!button->isEnabled());
    bitRate->setCurrentIndex(2);
    emit bitRate->activated(2);
    QVERIFY(button->isEnabled());

    auto *framing = widget<QComboBox>(&window, "databitParityStopComboBox");
    framing->setCurrentIndex(-1);
    emit framing->activated(-1);
    QVERIFY(!button->isEnabled());
}

void TestMainWindow::portArrivalAndRemoval()
{
    const int firstMaster = announceVirtualPort(QStringLiteral("bench-a"));
    QVERIFY(firstMaster >= 0);
    announced << qMakePair(QStringLiteral("bench-a"), firstMaster);
    const QList<SerialPortInfo> before = SerialPortEnumerator::getPorts();
    QString storedName;
    for (const SerialPortInfo &port : before) {
        if (port.portName == QLatin1String("bench-a"))
            storedName = port.friendName;
    }
    QVERIFY(storedName.contains(QLatin1String("bench-a")));
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialInterface"), storedName);

    MainWindow window;
    auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
    QCOMPARE(ports->currentText(), storedName);

    // The user picks another port; the next notice brings the stored one back.
    ports->setCurrentIndex(0);
    const int secondMaster = announceVirtualPort(QStringLiteral("bench-b"));
    announced << qMakePair(QStringLiteral("bench-b"), secondMaster);
    QTRY_COMPARE(statusText(&window), QStringLiteral("Discovered device bench-b"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #0b0;"));
    QCOMPARE(ports->count(), before.size() + 1);
    QCOMPARE(ports->currentText(), storedName);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(&window), QString(), 3000);
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));

    withdrawVirtualPort(QStringLiteral("bench-b"), secondMaster);
    announced.removeLast();
    QTRY_COMPARE(statusText(&window), QStringLiteral("Removed device bench-b"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #0b0;"));
    QCOMPARE(ports->count(), before.size());
}

void TestMainWindow::lastPortRemoved()
{
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), 3);
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialInterface"), QStringLiteral("Adapter (COM7)"));
    SerialPortEnumerator::setHardwarePortsListed(false);
    const int master = announceVirtualPort(QStringLiteral("only"));
    announced << qMakePair(QStringLiteral("only"), master);
    MainWindow window;
    auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
    QCOMPARE(ports->count(), 1);

    withdrawVirtualPort(QStringLiteral("only"), master);
    announced.clear();
    QTRY_COMPARE(statusText(&window), QStringLiteral("No device found"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #b00;"));
    QCOMPARE(ports->count(), 0);
    QCOMPARE(ports->currentIndex(), -1);

    // Opening with no port at all says so and stays closed.
    ModalAnswerer answerer;
    auto *button = widget<QPushButton>(&window, "openClosePushButton");
    QVERIFY(button->isEnabled());
    button->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("No serial port found"));
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("Could not find any serial port on this computer!"));
    QVERIFY(!button->isChecked());
    QVERIFY(!window.isConnectionOpen());
    QVERIFY(!widget<QWidget>(&window, "readAllPushButton")->isEnabled());

    // Closing with no port present keeps the stored line for the next run,
    // and stores the rest.
    widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(0);
    widget<QSpinBox>(&window, "readSpinBox")->setValue(1234);
    window.close();
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate")).toInt(), 3);
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialInterface")).toString(),
             QStringLiteral("Adapter (COM7)"));
    QCOMPARE(storedSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer")).toInt(), 1234);
}

void TestMainWindow::settingsSurviveRestart()
{
    const int master = announceVirtualPort(QStringLiteral("kept"));
    announced << qMakePair(QStringLiteral("kept"), master);
    QRect geometry;
    QString portName;
    {
        MainWindow window;
        window.setGeometry(QRect(40, 50, 470, 520));
        geometry = window.geometry();
        auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
        ports->setCurrentIndex(ports->findText(QStringLiteral("kept"), Qt::MatchContains));
        portName = ports->currentText();
        widget<QSpinBox>(&window, "slaveSpinBox")->setValue(17);
        widget<QComboBox>(&window, "bitRateComboBox")->setCurrentIndex(4);
        widget<QComboBox>(&window, "databitParityStopComboBox")->setCurrentIndex(3);
        widget<QSpinBox>(&window, "delaySpinBox")->setValue(9);
        widget<QSpinBox>(&window, "readSpinBox")->setValue(2500);
        window.close();
    }
    MainWindow restarted;
    QCOMPARE(restarted.geometry(), geometry);
    QCOMPARE(widget<QComboBox>(&restarted, "serialPortComboBox")->currentText(), portName);
    QCOMPARE(widget<QSpinBox>(&restarted, "slaveSpinBox")->value(), 17);
    QCOMPARE(widget<QComboBox>(&restarted, "bitRateComboBox")->currentIndex(), 4);
    QCOMPARE(widget<QComboBox>(&restarted, "databitParityStopComboBox")->currentIndex(), 3);
    QCOMPARE(widget<QSpinBox>(&restarted, "delaySpinBox")->value(), 9);
    QCOMPARE(widget<QSpinBox>(&restarted, "readSpinBox")->value(), 2500);
}

void TestMainWindow::damagedSettingsReadAsDefaults()
{
    storeSetting(QStringLiteral("comConfig"), QStringLiteral("maxRetries"), 1000000);
    storeSetting(QStringLiteral("comConfig"), QStringLiteral("requestTimeMs"), -25);
    storeSetting(QStringLiteral("comConfig"), QStringLiteral("incrementalTimeMs"), QStringLiteral("lots"));
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("maxReadTime"), -5);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer"), QStringLiteral("soon"));
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("slave"), 999);
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), QStringLiteral("abc"));
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity"), 9);
    storeSetting(QStringLiteral("window"), QStringLiteral("geometry"), QStringLiteral("garbage"));
    MainWindow window;
    // The defaults, not the edges of the ranges: 3 attempts of 25 ms.
    auto *period = widget<QSpinBox>(&window, "readSpinBox");
    QCOMPARE(period->minimum(), 540);
    QCOMPARE(period->maximum(), 60000);
    QCOMPARE(period->value(), 540);
    QCOMPARE(widget<QSpinBox>(&window, "slaveSpinBox")->value(), 1);
    QCOMPARE(widget<QComboBox>(&window, "bitRateComboBox")->currentIndex(), 1);
    QCOMPARE(widget<QComboBox>(&window, "databitParityStopComboBox")->currentIndex(), 0);
    QVERIFY(widget<QPushButton>(&window, "openClosePushButton")->isEnabled());
    QCOMPARE(window.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
}

void TestMainWindow::oversizedGeometryIsNotRestored()
{
    // Too large to draw, or off every screen: the window comes up centred
    // at its own size instead.
    for (const QRect &stored : { QRect(0, 0, 99999, 99999), QRect(30000, 30000, 400, 300) }) {
        storeSetting(QStringLiteral("window"), QStringLiteral("geometry"), stored);
        MainWindow window;
        QCOMPARE(window.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.width() < 2000);
    }
}

void TestMainWindow::menuActions()
{
    MainWindow window;
    window.show();

    QString aboutTitle;
    QTimer::singleShot(200, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            aboutTitle = dialog->windowTitle();
            dialog->accept();
        }
    });
    widget<QAction>(&window, "actionAbout")->trigger();
    QCOMPARE(aboutTitle, QStringLiteral("About Kelvaset"));

    widget<QAction>(&window, "actionExit")->trigger();
    QVERIFY(!window.isVisible());
    QVERIFY(!storedSetting(QStringLiteral("window"), QStringLiteral("geometry")).toRect().isNull());
}

void TestMainWindow::foundSensorIsOpenedAndRead()
{
    SensorWindow sensor({ QStringLiteral("--node"), QStringLiteral("200"), QStringLiteral("--bitrate"),
                          QStringLiteral("3"), QStringLiteral("--serialconf"), QStringLiteral("2") });
    // Open at the stored line, where this sensor does not answer: the
    // search closes the port first.
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    QVERIFY(window.isConnectionOpen());

    bool used = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        // The search starts at once; narrow it to where the sensor is.
        auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancelPushButton"));
        auto *search = dialog->findChild<QPushButton *>(QStringLiteral("searchPushButton"));
        QTRY_VERIFY(cancel->isEnabled());
        cancel->click();
        QTRY_VERIFY2(search->isEnabled(), qPrintable(dialog->findChild<QLabel *>(QStringLiteral("statusLabel"))->text()));
        dialog->findChild<QSpinBox *>(QStringLiteral("firstAddressSpinBox"))->setValue(199);
        dialog->findChild<QSpinBox *>(QStringLiteral("lastAddressSpinBox"))->setValue(201);
        for (int code = 0; code < 5; ++code)
            dialog->findChild<QCheckBox *>(QStringLiteral("bitRateCheckBox%1").arg(code))->setChecked(code >= 3);
        for (int code = 0; code < 4; ++code)
            dialog->findChild<QCheckBox *>(QStringLiteral("framingCheckBox%1").arg(code))->setChecked(code == 2);
        search->click();
        auto *use = dialog->findChild<QPushButton *>(QStringLiteral("useSensorPushButton"));
        QTRY_VERIFY_WITH_TIMEOUT(use->isEnabled(), 20000);
        use->click();
        used = true;
    });
    widget<QAction>(&window, "actionFindSensor")->trigger();
    QVERIFY(used);
    QTRY_COMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
    QVERIFY(window.isConnectionOpen());
    QCOMPARE(widget<QSpinBox>(&window, "slaveSpinBox")->value(), 200);
    QCOMPARE(widget<QComboBox>(&window, "bitRateComboBox")->currentIndex(), 3);
    QCOMPARE(widget<QComboBox>(&window, "databitParityStopComboBox")->currentIndex(), 2);
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("slave")).toInt(), 200);
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate")).toInt(), 3);
    QCOMPARE(storedSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity")).toInt(), 2);
    const SimRequest last = sensor.simulator.requests().last();
    QCOMPARE(last.baud, 57600);
    QVERIFY(last.odd);
    QVERIFY(last.answered);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
