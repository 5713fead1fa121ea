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

Q_DECLARE_METATYPE(OpenFailureKind)

namespace {
// A pseudo-terminal pair; the slave side is a real character device.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slavePath = QString::fromLocal8Bit(::ptsname(master));
    }
    ~PseudoTerminal()
    {
        if (master >= 0)
            ::close(master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    int master = -1;
    QString slavePath;
};
}

class TestOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void errnoKinds_data();
    void errnoKinds();
    void vanishedPortReadsAsGone();
    void permissionNamesTheDeviceGroup();
    void busyNamesTheProgramHoldingThePort();

private:
    TestEnvironment environment;
};

void TestOpenFailure::errnoKinds_data()
{
    QTest::addColumn<int>("err");
    QTest::addColumn<OpenFailureKind>("kind");
    QTest::newRow("EACCES") << EACCES << OpenFailureKind::PermissionDenied;
    QTest::newRow("EPERM") << EPERM << OpenFailureKind::PermissionDenied;
    QTest::newRow("EBUSY") << EBUSY << OpenFailureKind::Busy;
    QTest::newRow("ENOENT") << ENOENT << OpenFailureKind::Gone;
    QTest::newRow("ENODEV") << ENODEV << OpenFailureKind::Gone;
    QTest::newRow("ENXIO") << ENXIO << OpenFailureKind::Gone;
    QTest::newRow("ENOTTY") << ENOTTY << OpenFailureKind::Other;
    QTest::newRow("EINVAL") << EINVAL << OpenFailureKind::Other;
    QTest::newRow("EIO") << EIO << OpenFailureKind::Other;
}

void TestOpenFailure::errnoKinds()
{
    QFETCH(int, err);
    QFETCH(OpenFailureKind, kind);
    QCOMPARE(classifyOpenFailure(err), kind);
    // Whatever the kind, the technician learns which device it is about.
    QVERIFY(openFailureReason(err, QStringLiteral("/dev/ttyUSB7")).contains(QLatin1String("/dev/ttyUSB7")));
}

void TestOpenFailure::vanishedPortReadsAsGone()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    const QString device = simulator.linkPath();
    simulator.vanish();

    SensorLink link;
    QVERIFY(!link.open(device, 1, 0));
    QCOMPARE(classifyOpenFailure(link.openError()), OpenFailureKind::Gone);
}

void TestOpenFailure::permissionNamesTheDeviceGroup()
{
    PseudoTerminal terminal;
    QVERIFY(!terminal.slavePath.isEmpty());
    // The group of a fresh pseudo-terminal depends on how /dev/pts is
    // mounted; give it the one serial adapters usually have.
    const struct group *dialout = ::getgrnam("dialout");
    if (!dialout || ::chown(QFile::encodeName(terminal.slavePath).constData(), uid_t(-1), dialout->gr_gid) != 0)
        QSKIP("cannot give the pseudo-terminal to the dialout group here");

    QCOMPARE(deviceGroupName(terminal.slavePath), QFileInfo(terminal.slavePath).group());
    const QString reason = openFailureReason(EACCES, terminal.slavePath);
    QVERIFY2(reason.contains(QLatin1String("sudo usermod -aG dialout $USER")), qPrintable(reason));
    QVERIFY2(reason.contains(terminal.slavePath), qPrintable(reason));
}

void TestOpenFailure::busyNamesTheProgramHoldingThePort()
{
    PseudoTerminal terminal;
    QVERIFY(!terminal.slavePath.isEmpty());
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
    const QString reason = openFailureReason(EBUSY, terminal.slavePath);
    QVERIFY2(reason.contains(expected), qPrintable(reason));
    holder.kill();
    holder.waitForFinished();
}

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_openfailure.moc"
