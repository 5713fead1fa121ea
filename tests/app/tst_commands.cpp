#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QLineEdit>
#include <QtTest>

using namespace WindowTest;

// The Save and Reset buttons as the technician sees them: the status bar
// after a command, and the status colours, which a command takes away
// whether or not the sensor accepts it.
class TestCommands : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void initTestCase()
    {
        registerImageResources();
        storeTransferTiming(100, 50, 3, 20);
    }
    void commandShowsItsOutcome_data();
    void commandShowsItsOutcome();
};

void TestCommands::commandShowsItsOutcome_data()
{
    QTest::addColumn<QString>("failingButton");
    QTest::addColumn<int>("failingAddress");
    QTest::addColumn<QString>("acceptedButton");
    QTest::addColumn<int>("statusMs");

    // The sensor rejects one command's register and accepts the other's.
    QTest::newRow("reset rejected, save accepted")
            << QStringLiteral("resetParamsPushButton") << 0x8101 << QStringLiteral("savePushButton") << 2000;
    QTest::newRow("save rejected, reset accepted")
            << QStringLiteral("savePushButton") << 0x8100 << QStringLiteral("resetParamsPushButton") << 6000;
}

void TestCommands::commandShowsItsOutcome()
{
    QFETCH(QString, failingButton);
    QFETCH(int, failingAddress);
    QFETCH(QString, acceptedButton);
    QFETCH(int, statusMs);

    SensorWindow sensor({ QStringLiteral("--exception-at"), QString::number(failingAddress) });
    QVERIFY(sensor.open());
    MainWindow &window = sensor.window();
    window.show();
    ModalAnswerer answerer;
    sensor.click("readAllPushButton");
    // Wait for the Read all's status to go back to "Ready", so that its
    // reset cannot cut the command's status short.
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == QLatin1String("Ready"); }, 5000));

    const auto base = [&](const char *name) {
        return widget<QWidget>(&window, name)->palette().color(QPalette::Active, QPalette::Base);
    };
    QCOMPARE(base("digitalInputLineEdit"), QColor(Qt::yellow));
    QCOMPARE(base("watchdogLineEdit"), QColor(Qt::green));

    sensor.simulator.clearRequests();
    sensor.click(qPrintable(failingButton));
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("Connection failed: slave threw exception \"Illegal "
                                                              "data address\" or function not implemented.")));
    QCOMPARE(sensor.simulator.requests().size(), 3);
    const QColor plain = window.palette().color(QPalette::Active, QPalette::Base);
    for (const char *name : { "factoryCalibrationLineEdit", "notVolatileParLineEdit", "digitalInputLineEdit",
                              "PT100StatusLineEdit", "analogicOutputStatusLineEdit", "watchdogLineEdit" })
        QVERIFY2(base(name) == plain, name);
    // The texts stay; only the colours go.
    QCOMPARE(widget<QLineEdit>(&window, "digitalInputLineEdit")->text(), QStringLiteral("Close"));
    QCOMPARE(statusText(&window), QStringLiteral("Ready"));
    QCOMPARE(statusStyle(&window), QStringLiteral("background: #aaa;"));

    // The accepted command keeps its success shown for as long as the
    // sensor takes to act on it.
    answerer.clear();
    sensor.click(qPrintable(acceptedButton));
    QElapsedTimer sinceCommand;
    sinceCommand.start();
    QCOMPARE(shownBoxes(answerer), QStringList());
    QVERIFY(successShownFor(&window, QStringLiteral("Values successfully sent"), sinceCommand, statusMs));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
