#include "qextserialenumerator.h"
#include "testenvironment.h"
#include "udevportmonitor.h"
#include "virtualports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

namespace {

// A pseudo-terminal pair, as the simulator makes one; the slave's node
// lives as long as the master is open.
class Pty
{
public:
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slavePath = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty() { close(); }
    void close()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    QString slavePath;

private:
    int master = -1;
};

QByteArray readAvailable(int fd)
{
    char buffer[64];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    return count > 0 ? QByteArray(buffer, int(count)) : QByteArray();
}

QStringList portNames(const QList<QVariantList> &notices)
{
    QStringList names;
    for (const QVariantList &arguments : notices)
        names << arguments.at(0).value<QextPortInfo>().portName;
    return names;
}

QStringList portNames(const QList<QextPortInfo> &ports)
{
    QStringList names;
    for (const QextPortInfo &port : ports)
        names << port.portName;
    return names;
}

} // namespace

class TestPortEnumerator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsRealPortsThenVirtualPorts();
    void announcesVirtualPortsLikeAdapters();
    void announcesRemovalWhenThePtyGoes();
    void followsAPortMadeBySocat();
    void hearsTheKernelAboutRealPorts();

private:
    QString link(const QString &name, const QString &target) const;

    std::unique_ptr<TestEnvironment> environment;
    QString directory;
};

void TestPortEnumerator::init()
{
    // A fresh runtime directory per test: no links left over by another.
    environment.reset();
    environment.reset(new TestEnvironment);
    directory = virtualPortDirectory();
    QVERIFY(directory.startsWith(environment->runtimeDirectory()));
}

QString TestPortEnumerator::link(const QString &name, const QString &target) const
{
    const QString path = directory + QLatin1Char('/') + name;
    if (!QFile::link(target, path))
        return QString();
    return path;
}

void TestPortEnumerator::listsRealPortsThenVirtualPorts()
{
    QVERIFY(QDir().mkpath(directory));
    Pty pty;
    QVERIFY(!pty.slavePath.isEmpty());
    const QString sim10 = link(QStringLiteral("sim10"), pty.slavePath);
    const QString sim2 = link(QStringLiteral("sim2"), pty.slavePath);
    QVERIFY(!sim10.isEmpty() && !sim2.isEmpty());
    QVERIFY(!link(QStringLiteral("dangling"), directory + QStringLiteral("/no-such-pty")).isEmpty());
    QFile plainFile(directory + QStringLiteral("/not-a-link"));
    QVERIFY(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();

    const QList<QextPortInfo> ports = QextSerialEnumerator::getPorts();
    QVERIFY(ports.size() >= 2);

    // The virtual ports close the list, in natural order, opened through
    // the link itself.
    const QextPortInfo second = ports.at(ports.size() - 2);
    const QextPortInfo tenth = ports.at(ports.size() - 1);
    QCOMPARE(second.portName, QStringLiteral("sim2"));
    QCOMPARE(second.physName, sim2);
    QCOMPARE(second.enumName, QStringLiteral("virtual"));
    QVERIFY2(second.friendName.contains(QStringLiteral("sim2")), qPrintable(second.friendName));
    QCOMPARE(tenth.portName, QStringLiteral("sim10"));
    QCOMPARE(tenth.physName, sim10);
    QVERIFY(second.friendName != tenth.friendName);

    // Everything before them is real hardware: a device node that exists,
    // no virtual console, no UART that the kernel found absent.
    const QList<QextPortInfo> realPorts = ports.mid(0, ports.size() - 2);
    for (const QextPortInfo &port : realPorts) {
        QVERIFY2(QFileInfo::exists(port.physName), qPrintable(port.physName));
        QVERIFY2(port.friendName.contains(port.physName), qPrintable(port.friendName));
        QVERIFY2(!QRegularExpression(QStringLiteral("^(tty\\d*|console|ptmx)$")).match(port.portName).hasMatch(),
                 qPrintable(port.portName));
        QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(port.portName));
        if (type.open(QIODevice::ReadOnly))
            QVERIFY2(type.readAll().trimmed() != "0", qPrintable(port.portName));
    }
    QFile uartType(QStringLiteral("/sys/class/tty/ttyS0/type"));
    if (uartType.open(QIODevice::ReadOnly) && uartType.readAll().trimmed() != "0") {
        const QStringList names = portNames(realPorts);
        QVERIFY2(names.contains(QStringLiteral("ttyS0")), qPrintable(names.join(QLatin1Char(' '))));
        const QextPortInfo uart = realPorts.at(names.indexOf(QStringLiteral("ttyS0")));
        QCOMPARE(uart.physName, QStringLiteral("/dev/ttyS0"));
        QVERIFY2(uart.friendName.contains(QStringLiteral("(/dev/ttyS0)")), qPrintable(uart.friendName));
    }
    for (int i = 1; i < realPorts.size(); ++i)
        QVERIFY(realPorts.at(i - 1).physName != realPorts.at(i).physName);

    QCOMPARE(portNames(QextSerialEnumerator::getPorts()), portNames(ports));
}

void TestPortEnumerator::announcesVirtualPortsLikeAdapters()
{
    // The directory does not exist until the enumerator makes it; a port
    // already there at start is not announced.
    QVERIFY(!QFileInfo::exists(directory));
    QextSerialEnumerator enumerator;
    QSignalSpy discovered(&enumerator, &QextSerialEnumerator::deviceDiscovered);
    QSignalSpy removed(&enumerator, &QextSerialEnumerator::deviceRemoved);
    enumerator.setUpNotifications();
    enumerator.setUpNotifications();
    QVERIFY(QFileInfo(directory).isDir());

    Pty pty;
    QVERIFY(!pty.slavePath.isEmpty());
    const QString first = link(QStringLiteral("first"), pty.slavePath);
    QVERIFY(!first.isEmpty());
    QTRY_COMPARE(discovered.count(), 1);
    const QextPortInfo arrived = discovered.at(0).at(0).value<QextPortInfo>();
    QCOMPARE(arrived.portName, QStringLiteral("first"));
    QCOMPARE(arrived.physName, first);

    // Two at once, and a dangling one that must never be announced.
    QVERIFY(!link(QStringLiteral("dangling"), directory + QStringLiteral("/no-such-pty")).isEmpty());
    QVERIFY(!link(QStringLiteral("second"), pty.slavePath).isEmpty());
    QVERIFY(!link(QStringLiteral("third"), pty.slavePath).isEmpty());
    QTRY_COMPARE(discovered.count(), 3);
    QStringList later = portNames(discovered.mid(1));
    later.sort();
    QCOMPARE(later, QStringList({QStringLiteral("second"), QStringLiteral("third")}));
    QCOMPARE(removed.count(), 0);

    QVERIFY(QFile::remove(first));
    QTRY_COMPARE(removed.count(), 1);
    const QextPortInfo gone = removed.at(0).at(0).value<QextPortInfo>();
    QCOMPARE(gone.portName, arrived.portName);
    QCOMPARE(gone.friendName, arrived.friendName);

    // The directory wiped while running: made again, and still watched.
    QVERIFY(QDir(directory).removeRecursively());
    QTRY_COMPARE(removed.count(), 3);
    QTRY_VERIFY(QFileInfo(directory).isDir());
    QVERIFY(!link(QStringLiteral("fourth"), pty.slavePath).isEmpty());
    QTRY_COMPARE(discovered.count(), 4);
    QCOMPARE(discovered.at(3).at(0).value<QextPortInfo>().portName, QStringLiteral("fourth"));
    QCOMPARE(portNames(discovered), QStringList({QStringLiteral("first"), later.at(0), later.at(1),
                                                 QStringLiteral("fourth")}));
}

void TestPortEnumerator::announcesRemovalWhenThePtyGoes()
{
    // A simulator that is killed leaves its link behind; the port is gone
    // all the same when its pty closes.
    QVERIFY(QDir().mkpath(directory));
    std::unique_ptr<Pty> pty(new Pty);
    QVERIFY(!pty->slavePath.isEmpty());
    QVERIFY(!link(QStringLiteral("killed"), pty->slavePath).isEmpty());

    QextSerialEnumerator enumerator;
    QSignalSpy discovered(&enumerator, &QextSerialEnumerator::deviceDiscovered);
    QSignalSpy removed(&enumerator, &QextSerialEnumerator::deviceRemoved);
    enumerator.setUpNotifications();
    QVERIFY(portNames(QextSerialEnumerator::getPorts()).contains(QStringLiteral("killed")));

    pty.reset();
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).value<QextPortInfo>().portName, QStringLiteral("killed"));
    QVERIFY(!portNames(QextSerialEnumerator::getPorts()).contains(QStringLiteral("killed")));
    QCOMPARE(discovered.count(), 0);
}

void TestPortEnumerator::followsAPortMadeBySocat()
{
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (socat.isEmpty())
        QSKIP("socat is not installed");

    QextSerialEnumerator enumerator;
    QSignalSpy discovered(&enumerator, &QextSerialEnumerator::deviceDiscovered);
    QSignalSpy removed(&enumerator, &QextSerialEnumerator::deviceRemoved);
    enumerator.setUpNotifications();

    const QString portLink = directory + QStringLiteral("/mysensor");
    const QString otherEnd = environment->workingDirectory() + QStringLiteral("/other-end");
    QProcess process;
    process.start(socat, {QStringLiteral("-d"), QStringLiteral("-d"),
                          QStringLiteral("pty,raw,echo=0,link=") + portLink,
                          QStringLiteral("pty,raw,echo=0,link=") + otherEnd});
    QVERIFY(process.waitForStarted());
    QTRY_COMPARE(discovered.count(), 1);
    const QextPortInfo port = discovered.at(0).at(0).value<QextPortInfo>();
    QCOMPARE(port.portName, QStringLiteral("mysensor"));
    QCOMPARE(port.physName, portLink);

    // The link is what libmodbus opens: bytes written there reach the far
    // end of the socat pair.
    const int portFd = ::open(QFile::encodeName(port.physName).constData(), O_RDWR | O_NOCTTY);
    const int farFd = ::open(QFile::encodeName(otherEnd).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(portFd >= 0 && farFd >= 0);
    QCOMPARE(::write(portFd, "\x01\x03", 2), ssize_t(2));
    QByteArray received;
    QTRY_COMPARE((received += readAvailable(farFd)), QByteArray("\x01\x03", 2));
    ::close(portFd);
    ::close(farFd);

    process.terminate();
    QVERIFY(process.waitForFinished());
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).value<QextPortInfo>().portName, QStringLiteral("mysensor"));
}

void TestPortEnumerator::hearsTheKernelAboutRealPorts()
{
    // No adapter can be plugged here, but the kernel repeats the event of a
    // present port when asked through its uevent file (root only).
    QString portName;
    for (const QextPortInfo &port : QextSerialEnumerator::getPorts()) {
        if (port.enumName != QLatin1String("virtual")) {
            portName = port.portName;
            break;
        }
    }
    if (portName.isEmpty())
        QSKIP("no real serial port on this computer");
    QFile uevent(QStringLiteral("/sys/class/tty/%1/uevent").arg(portName));
    if (!uevent.open(QIODevice::WriteOnly))
        QSKIP("cannot ask the kernel to repeat a device event");

    UdevPortMonitor monitor;
    QSignalSpy changed(&monitor, &UdevPortMonitor::ttyChanged);
    QVERIFY(monitor.start());
    QVERIFY(monitor.start());
    if (uevent.write("change\n") < 0)
        QSKIP("the kernel refused to repeat the device event");
    uevent.close();
    QTRY_COMPARE(changed.count(), 1);
}

QTEST_GUILESS_MAIN(TestPortEnumerator)
#include "tst_portenumerator.moc"
