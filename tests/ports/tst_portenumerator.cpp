#include "ports/serialportenumerator.h"
#include "testenvironment.h"
#include "ports/udevportmonitor.h"
#include "ports/virtualports.h"

#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

namespace {

// A pseudo-terminal pair, as the simulator makes one; the slave's node
// lives as long as the master is open.
struct Pty
{
    Pty() : master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slavePath = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty() { ::close(master); }
    const int master;
    QString slavePath;
};

QStringList portNames(const QList<SerialPortInfo> &ports)
{
    QStringList names;
    for (const SerialPortInfo &port : ports)
        names << port.portName;
    return names;
}

SerialPortInfo noticed(const QSignalSpy &spy, int index)
{
    return spy.at(index).at(0).value<SerialPortInfo>();
}

} // namespace

class TestPortEnumerator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsRealPortsThenVirtualPorts();
    void announcesVirtualPortsLikeAdapters();
    void hearsTheKernelAboutRealPorts();

private:
    bool link(const QString &name, const QString &target) const
    {
        return QFile::link(target, directory + QLatin1Char('/') + name);
    }

    std::unique_ptr<TestEnvironment> environment;
    QString directory;
};

void TestPortEnumerator::init()
{
    // A fresh runtime directory per test: no links left over by another.
    environment.reset();
    environment.reset(new TestEnvironment);
    directory = virtualPortDirectory();
}

void TestPortEnumerator::listsRealPortsThenVirtualPorts()
{
    QVERIFY(QDir().mkpath(directory));
    Pty pty;
    QVERIFY(link(QStringLiteral("sim10"), pty.slavePath) && link(QStringLiteral("sim2"), pty.slavePath));
    QVERIFY(link(QStringLiteral("dangling"), directory + QStringLiteral("/no-such-pty")));
    QVERIFY(QFile(directory + QStringLiteral("/not-a-link")).open(QIODevice::WriteOnly));

    // The virtual ports close the list, in natural order, opened through
    // the link itself.
    const QList<SerialPortInfo> ports = SerialPortEnumerator::getPorts();
    QVERIFY(ports.size() >= 2);
    const SerialPortInfo second = ports.at(ports.size() - 2);
    QCOMPARE(second.portName, QStringLiteral("sim2"));
    QCOMPARE(second.physName, directory + QStringLiteral("/sim2"));
    QCOMPARE(second.enumName, QStringLiteral("virtual"));
    QCOMPARE(ports.constLast().portName, QStringLiteral("sim10"));

    // Everything before them is real hardware: a device node that exists,
    // no virtual console, no UART that the kernel found absent.
    const QList<SerialPortInfo> realPorts = ports.mid(0, ports.size() - 2);
    const QRegularExpression console(QStringLiteral("^(tty\\d*|console|ptmx)$"));
    for (const SerialPortInfo &port : realPorts) {
        QVERIFY2(QFileInfo::exists(port.physName) && !console.match(port.portName).hasMatch(), qPrintable(port.physName));
        QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(port.portName));
        QVERIFY2(!type.open(QIODevice::ReadOnly) || type.readAll().trimmed() != "0", qPrintable(port.portName));
    }
    QFile uartType(QStringLiteral("/sys/class/tty/ttyS0/type"));
    if (uartType.open(QIODevice::ReadOnly) && uartType.readAll().trimmed() != "0")
        QVERIFY(portNames(realPorts).contains(QStringLiteral("ttyS0")));
}

void TestPortEnumerator::announcesVirtualPortsLikeAdapters()
{
    SerialPortEnumerator enumerator;
    QSignalSpy discovered(&enumerator, &SerialPortEnumerator::deviceDiscovered);
    QSignalSpy removed(&enumerator, &SerialPortEnumerator::deviceRemoved);
    // The directory does not exist until the enumerator makes it.
    enumerator.setUpNotifications();
    QVERIFY(QFileInfo(directory).isDir());

    Pty pty;
    QVERIFY(link(QStringLiteral("first"), pty.slavePath));
    QTRY_COMPARE(discovered.count(), 1);
    QCOMPARE(noticed(discovered, 0).physName, directory + QStringLiteral("/first"));

    // A dangling link is never announced.
    QVERIFY(link(QStringLiteral("dangling"), directory + QStringLiteral("/no-such-pty")));
    QVERIFY(link(QStringLiteral("second"), pty.slavePath));
    QTRY_COMPARE(discovered.count(), 2);
    QCOMPARE(noticed(discovered, 1).portName, QStringLiteral("second"));

    QVERIFY(QFile::remove(directory + QStringLiteral("/first")));
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(noticed(removed, 0).portName, QStringLiteral("first"));

    // The directory wiped while running: made again, and still watched.
    QVERIFY(QDir(directory).removeRecursively());
    QTRY_COMPARE(removed.count(), 2);
    QTRY_VERIFY(QFileInfo(directory).isDir());
    QVERIFY(link(QStringLiteral("third"), pty.slavePath));
    QTRY_COMPARE(discovered.count(), 3);
    QCOMPARE(noticed(discovered, 2).portName, QStringLiteral("third"));

    // A simulator that is killed leaves its link behind; the port is gone
    // all the same when its pty closes.
    auto killed = std::make_unique<Pty>();
    QVERIFY(link(QStringLiteral("killed"), killed->slavePath));
    QTRY_COMPARE(discovered.count(), 4);
    killed.reset();
    QTRY_COMPARE(removed.count(), 3);
    QCOMPARE(noticed(removed, 2).portName, QStringLiteral("killed"));
    QVERIFY(!portNames(SerialPortEnumerator::getPorts()).contains(QStringLiteral("killed")));
}

// No adapter can be plugged here, but the kernel repeats the event of a
// present port when asked through its uevent file (root only).
void TestPortEnumerator::hearsTheKernelAboutRealPorts()
{
    const QList<SerialPortInfo> ports = SerialPortEnumerator::getPorts();
    QFile uevent(QStringLiteral("/sys/class/tty/%1/uevent").arg(ports.isEmpty() ? QString() : ports.first().portName));
    if (ports.isEmpty() || ports.first().enumName == QLatin1String("virtual") || !uevent.open(QIODevice::WriteOnly))
        QSKIP("no real serial port whose device event can be repeated");
    UdevPortMonitor monitor;
    QSignalSpy changed(&monitor, &UdevPortMonitor::ttyChanged);
    QVERIFY(monitor.start());
    if (uevent.write("change\n") < 0 || !uevent.flush())
        QSKIP("the kernel refused to repeat the device event");
    QTRY_COMPARE(changed.count(), 1);
}

QTEST_GUILESS_MAIN(TestPortEnumerator)
#include "tst_portenumerator.moc"
