#include "findsensordialog.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "link/seriallinesettings.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <ctime>

namespace {
template <typename T>
T *child(QWidget *dialog, const QString &name)
{
    T *found = dialog->findChild<T *>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

bool searching(QWidget *dialog) { return child<QPushButton>(dialog, "cancelPushButton")->isEnabled(); }
QString status(QWidget *dialog) { return child<QLabel>(dialog, "statusLabel")->text(); }

// Searches addresses 195 to 205 at the given bit-rate codes and every framing.
void searchNarrowed(QWidget *dialog, const QVector<int> &bitRateCodes)
{
    child<QSpinBox>(dialog, "firstAddressSpinBox")->setValue(195);
    child<QSpinBox>(dialog, "lastAddressSpinBox")->setValue(205);
    for (int code = 0; code < 5; ++code)
        child<QCheckBox>(dialog, QStringLiteral("bitRateCheckBox%1").arg(code))->setChecked(bitRateCodes.contains(code));
    QTest::mouseClick(child<QPushButton>(dialog, "searchPushButton"), Qt::LeftButton);
    QTRY_VERIFY(searching(dialog));
}
}

class TestFindSensorDialog : public QObject
{
    Q_OBJECT

private slots:
    void cancelThenNothingAnswers();
    void closingWhileSearchingLeavesTheLinkFree();
    void networkLineIsSearchedOverAddressesOnly();

private:
    TestEnvironment environment;
    SerialLineSettings factoryLine;
};

void TestFindSensorDialog::cancelThenNothingAnswers()
{
    SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2",
                                 "--serial", "777001", "--firmware", "0x80010000" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    FindSensorDialog dialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
    // Shown, the dialog searches at once; cancel it once it is on the line.
    dialog.show();
    QTRY_VERIFY(searching(&dialog) && simulator.requests().size() >= 2);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 cancelledAtUs = qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    QTest::mouseClick(child<QPushButton>(&dialog, "cancelPushButton"), Qt::LeftButton);
    QTRY_VERIFY(!searching(&dialog));
    // Only the probe under way when Cancel was pressed may follow it.
    const QList<SimRequest> requests = simulator.requests();
    QVERIFY(std::count_if(requests.begin(), requests.end(),
                          [&](const SimRequest &request) { return request.timeUs > cancelledAtUs; }) <= 1);
    QVERIFY2(status(&dialog).startsWith(QLatin1String("Search cancelled")), qPrintable(status(&dialog)));
    QTRY_VERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());

    // The sensor's bit rate left out, nothing answers.
    QPushButton *use = child<QPushButton>(&dialog, "useSensorPushButton");
    searchNarrowed(&dialog, { 4 });
    QTRY_VERIFY_WITH_TIMEOUT(!searching(&dialog), 20000);
    const QRegularExpression noSensor(QStringLiteral("^No sensor answered \\(44 probes in \\d+\\.\\d s\\)\\.$"));
    QVERIFY2(noSensor.match(status(&dialog)).hasMatch(), qPrintable(status(&dialog)));
    const QProgressBar *progress = child<QProgressBar>(&dialog, "scanProgressBar");
    QCOMPARE(progress->maximum(), 44);
    QCOMPARE(progress->value(), 44);
    QVERIFY(!use->isEnabled());
}

void TestFindSensorDialog::closingWhileSearchingLeavesTheLinkFree()
{
    SimulatorProcess simulator({ "--silent" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    {
        FindSensorDialog dialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
        dialog.show();
        QTRY_VERIFY(searching(&dialog));
        // Escape closes the dialog once the probe under way has ended.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!linkThread.isBusy());
        QVERIFY(!linkThread.link().isOpen());
    }
    // Deleted outright mid-search, it still leaves the link closed.
    auto *dialog = new FindSensorDialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
    dialog->show();
    QTRY_VERIFY(searching(dialog));
    delete dialog;
    QTRY_VERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());
}

void TestFindSensorDialog::networkLineIsSearchedOverAddressesOnly()
{
    // Two sensors behind a Modbus TCP gateway whose serial side is at 57600 8O1.
    SimulatorProcess simulator(LineKind::ModbusTcp, { "--sensor", "3:9003", "--sensor", "200:9200", "--bitrate", "3",
                                                      "--serialconf", "2" });
    QVERIFY(simulator.start());
    SerialLineSettings gatewayLine;
    gatewayLine.bitRateCode = 3;
    gatewayLine.framingCode = 2;
    LinkThread linkThread;
    FindSensorDialog dialog(&linkThread, simulator.line(), gatewayLine, CommTiming());
    for (int code = 0; code < 5; ++code) {
        auto *box = child<QCheckBox>(&dialog, QStringLiteral("bitRateCheckBox%1").arg(code));
        QVERIFY(!box->isEnabled() && box->isChecked() == (code == 3));
    }
    QVERIFY(child<QCheckBox>(&dialog, "framingCheckBox2")->isChecked());
    child<QCheckBox>(&dialog, "stopAtFirstCheckBox")->setChecked(false);
    dialog.show();
    // The whole bus at one line: 247 probes, both sensors found.
    QTRY_VERIFY_WITH_TIMEOUT(!searching(&dialog) && child<QProgressBar>(&dialog, "scanProgressBar")->value() == 247,
                             30000);
    QCOMPARE(dialog.foundSensors().size(), 2);
    QCOMPARE(dialog.foundSensors().last().serialNumber, 9200u);
    QVERIFY(!linkThread.link().isOpen());
}

QTEST_MAIN(TestFindSensorDialog)
#include "tst_findsensordialog.moc"
