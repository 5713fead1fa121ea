#include "link/openfailure.h"
#include "link/sensorlink.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <unistd.h>

namespace {
// A pseudo-terminal pair; the slave side is a real character device.
struct PseudoTerminal
{
    PseudoTerminal()
    {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slavePath = QString::fromLocal8Bit(::ptsname(master));
    }
    ~PseudoTerminal() { ::close(master); }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString slavePath;
};
}

class TestOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void vanishedPortReadsAsGone();
    void permissionNamesTheDeviceGroup();
    void busyNamesTheProgramHoldingThePort();

private:
    TestEnvironment environment;
};

void TestOpenFailure::vanishedPortReadsAsGone()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    const QString device = simulator.linkPath();
    simulator.vanish();

    SensorLink link;
    QVERIFY(!link.open(device, 1, 0));
    QCOMPARE(classifyOpenFailure(link.openError()), OpenFailureKind::Gone);
    // Whatever the reason, the technician learns which device it is about.
    for (int error : { link.openError(), EIO })
        QVERIFY(openFailureReason(error, device).contains(device));
}

void TestOpenFailure::permissionNamesTheDeviceGroup()
{
    QCOMPARE(classifyOpenFailure(EACCES), OpenFailureKind::PermissionDenied);
    PseudoTerminal terminal;
    QVERIFY(!terminal.slavePath.isEmpty());
    // The group of a fresh pseudo-terminal depends on how /dev/pts is
    // mounted; give it the one serial adapters usually have.
    const struct group *dialout = ::getgrnam("dialout");
    if (!dialout || ::chown(QFile::encodeName(terminal.slavePath).constData(), uid_t(-1), dialout->gr_gid) != 0)
        QSKIP("cannot give the pseudo-terminal to the dialout group here");

    QCOMPARE(deviceGroupName(terminal.slavePath), QFileInfo(terminal.slavePath).group());
    const QString reason = openFailureReason(EACCES, terminal.slavePath);
    QVERIFY2(reason.contains(QLatin1String("-aG dialout")) && reason.contains(terminal.slavePath), qPrintable(reason));
}

void TestOpenFailure::busyNamesTheProgramHoldingThePort()
{
    PseudoTerminal terminal;
    QVERIFY(!terminal.slavePath.isEmpty());
    QCOMPARE(classifyOpenFailure(EBUSY), OpenFailureKind::Busy);
    const int ownHandle = ::open(QFile::encodeName(terminal.slavePath).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(ownHandle >= 0);
    // The program itself holding the port is no answer to "who holds it".
    QCOMPARE(programHoldingDevice(terminal.slavePath), QString());
    ::close(ownHandle);

    QProcess holder;
    holder.setStandardInputFile(terminal.slavePath);
    holder.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    QVERIFY(holder.waitForStarted());
    const QString expected = QStringLiteral("sleep (process %1)").arg(holder.processId());
    QTRY_COMPARE(programHoldingDevice(terminal.slavePath), expected);
    QVERIFY(openFailureReason(EBUSY, terminal.slavePath).contains(expected));
    holder.kill();
    holder.waitForFinished();
}

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_openfailure.moc"
