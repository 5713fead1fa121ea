#include "link/openfailure.h"
#include "link/sensorlink.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <unistd.h>

class TestOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void vanishedPortReadsAsGone();
    void busyAndPermissionNameWhatToDo();

private:
    TestEnvironment environment;
};

void TestOpenFailure::vanishedPortReadsAsGone()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    simulator.vanish();

    SensorLink link;
    QVERIFY(!link.open(simulator.linkPath(), 1, 0));
    QCOMPARE(classifyOpenFailure(link.openError()), OpenFailureKind::Gone);
    // Whatever the reason, the technician learns which device it is about.
    for (int error : { link.openError(), EIO })
        QVERIFY(openFailureReason(error, simulator.linkPath()).contains(simulator.linkPath()));
}

void TestOpenFailure::busyAndPermissionNameWhatToDo()
{
    // The slave side of a pseudo-terminal is a real character device.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    const auto closeMaster = qScopeGuard([master] { ::close(master); });
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));

    // The program itself holding the port is no answer to "who holds it".
    const int ownHandle = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(ownHandle >= 0);
    QCOMPARE(programHoldingDevice(device), QString());
    ::close(ownHandle);

    QProcess holder;
    holder.setStandardInputFile(device);
    holder.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    QVERIFY(holder.waitForStarted());
    const QString expected = QStringLiteral("sleep (process %1)").arg(holder.processId());
    QTRY_COMPARE(programHoldingDevice(device), expected);
    QVERIFY(openFailureReason(EBUSY, device).contains(expected));
    holder.kill();
    holder.waitForFinished();

    // The group of a fresh pseudo-terminal depends on how /dev/pts is
    // mounted; give it the one serial adapters usually have.
    const struct group *dialout = ::getgrnam("dialout");
    if (!dialout || ::chown(QFile::encodeName(device).constData(), uid_t(-1), dialout->gr_gid) != 0)
        QSKIP("cannot give the pseudo-terminal to the dialout group here");
    QCOMPARE(deviceGroupName(device), QStringLiteral("dialout"));
    const QString reason = openFailureReason(EACCES, device);
    QVERIFY2(reason.contains(QLatin1String("-aG dialout")) && reason.contains(device), qPrintable(reason));
}

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_openfailure.moc"
