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
qint64 monotonicMicroseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

template <typename T>
T *child(QWidget *dialog, const char *name)
{
    T *found = dialog->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

bool searching(QWidget *dialog)
{
    return child<QPushButton>(dialog, "cancelPushButton")->isEnabled();
}

QString status(QWidget *dialog)
{
    return child<QLabel>(dialog, "statusLabel")->text();
}

// Addresses 195 to 205 at the given bit-rate codes and every framing.
void narrowForm(QWidget *dialog, const QVector<int> &bitRateCodes)
{
    child<QSpinBox>(dialog, "firstAddressSpinBox")->setValue(195);
    child<QSpinBox>(dialog, "lastAddressSpinBox")->setValue(205);
    for (int code = 0; code < 5; ++code) {
        child<QCheckBox>(dialog, QByteArray("bitRateCheckBox" + QByteArray::number(code)).constData())
                ->setChecked(bitRateCodes.contains(code));
    }
}
}

class TestFindSensorDialog : public QObject
{
    Q_OBJECT

private slots:
    void cancelThenNarrowedSearchGivesTheSensor();
    void noSensorAnswered();
    void closingWhileSearchingLeavesTheLinkFree();

private:
    // Shows the dialog, which searches at once, and cancels that search.
    bool showAndCancel(FindSensorDialog &dialog, SimulatorProcess *simulator);

    TestEnvironment environment;
    SerialLineSettings factoryLine;
};

bool TestFindSensorDialog::showAndCancel(FindSensorDialog &dialog, SimulatorProcess *simulator)
{
    dialog.show();
    // Wait until the search is under way on the line.
    if (!QTest::qWaitFor([&] { return searching(&dialog) && simulator->requests().size() >= 2; }))
        return false;
    const qint64 cancelledAtUs = monotonicMicroseconds();
    QTest::mouseClick(child<QPushButton>(&dialog, "cancelPushButton"), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return !searching(&dialog); }))
        return false;
    // Only the probe under way when Cancel was pressed may follow it.
    int afterCancel = 0;
    for (const SimRequest &request : simulator->requests())
        afterCancel += request.timeUs > cancelledAtUs;
    if (afterCancel > 1) {
        qWarning("%d probes after Cancel", afterCancel);
        return false;
    }
    if (!status(&dialog).startsWith(QLatin1String("Search cancelled"))) {
        qWarning("status after Cancel: %s", qPrintable(status(&dialog)));
        return false;
    }
    return true;
}

void TestFindSensorDialog::cancelThenNarrowedSearchGivesTheSensor()
{
    SimulatorProcess simulator({ "--node", "200", "--bitrate", "3", "--serialconf", "2",
                                 "--serial", "777001", "--firmware", "0x80010000" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    FindSensorDialog dialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
    QVERIFY(showAndCancel(dialog, &simulator));
    QTRY_VERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());

    QPushButton *use = child<QPushButton>(&dialog, "useSensorPushButton");
    QVERIFY(!use->isEnabled());
    narrowForm(&dialog, { 2, 3, 4 });
    QTest::mouseClick(child<QPushButton>(&dialog, "searchPushButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(use->isEnabled() && !searching(&dialog), 20000);
    QVERIFY(use->isDefault());
    QVERIFY(status(&dialog).startsWith(QLatin1String("One sensor answered")));

    QTest::mouseClick(use, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    const FoundSensor &chosen = dialog.chosenSensor();
    QCOMPARE(chosen.serialNumber, 777001u);
    QCOMPARE(chosen.firmwareVersion, 0x80010000u);
    QCOMPARE(chosen.slave, 200);
    QCOMPARE(chosen.bitRateCode, 3);
    QCOMPARE(chosen.framingCode, 2);
    QVERIFY(!linkThread.isBusy());
    QVERIFY(!linkThread.link().isOpen());
}

void TestFindSensorDialog::noSensorAnswered()
{
    SimulatorProcess simulator({ "--silent" });
    QVERIFY(simulator.start());
    LinkThread linkThread;
    FindSensorDialog dialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
    QVERIFY(showAndCancel(dialog, &simulator));
    narrowForm(&dialog, { 4 });
    QTest::mouseClick(child<QPushButton>(&dialog, "searchPushButton"), Qt::LeftButton);
    QTRY_VERIFY(searching(&dialog));
    QTRY_VERIFY_WITH_TIMEOUT(!searching(&dialog), 20000);

    const QRegularExpression noSensor(QStringLiteral("^No sensor answered \\(44 probes in \\d+\\.\\d s\\)\\.$"));
    QVERIFY2(noSensor.match(status(&dialog)).hasMatch(), qPrintable(status(&dialog)));
    const QProgressBar *progress = child<QProgressBar>(&dialog, "scanProgressBar");
    QCOMPARE(progress->maximum(), 44);
    QCOMPARE(progress->value(), 44);
    QVERIFY(!child<QPushButton>(&dialog, "useSensorPushButton")->isEnabled());
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
    {
        // Deleted outright mid-search, it still leaves the link closed.
        auto *dialog = new FindSensorDialog(&linkThread, simulator.linkPath(), factoryLine, CommTiming());
        dialog->show();
        QTRY_VERIFY(searching(dialog));
        delete dialog;
        QTRY_VERIFY(!linkThread.isBusy());
        QVERIFY(!linkThread.link().isOpen());
    }
}

QTEST_MAIN(TestFindSensorDialog)
#include "tst_findsensordialog.moc"
