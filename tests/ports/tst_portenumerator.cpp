#include "ports/portresolution.h"
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
    ~Pty() { ::close(master); }
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    const QString slavePath =
            grantpt(master) == 0 && unlockpt(master) == 0 ? QString::fromLocal8Bit(ptsname(master)) : QString();
};

SerialPortInfo noticed(const QSignalSpy &spy, int index) { return spy.at(index).at(0).value<SerialPortInfo>(); }

} // namespace

class TestPortEnumerator : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> environment;

    static QString path(const char *name) { return virtualPortDirectory() + QLatin1Char('/') + QLatin1String(name); }
    static bool link(const char *name, const QString &target) { return QFile::link(target, path(name)); }

private slots:
    void init()
    {
        // A fresh runtime directory per test: no links left over by another.
        environment.reset();
        environment.reset(new TestEnvironment);
    }

    void listsRealPortsThenVirtualPorts()
    {
        QVERIFY(QDir().mkpath(virtualPortDirectory()));
        Pty pty;
        QVERIFY(link("sim10", pty.slavePath) && link("sim2", pty.slavePath) && link("dangling", path("no-such-pty")));
        // Named to sort last, so that it cannot hide among the real ports.
        QVERIFY(QFile(path("zz-not-a-link")).open(QIODevice::WriteOnly));

        // The virtual ports close the list, in natural order, opened through
        // the link itself.
        const QList<SerialPortInfo> ports = SerialPortEnumerator::getPorts();
        const SerialPortInfo second = ports.value(ports.size() - 2);
        QCOMPARE(second.portName, QStringLiteral("sim2"));
        QCOMPARE(second.physName, path("sim2"));
        QCOMPARE(second.enumName, QStringLiteral("virtual"));
        QCOMPARE(ports.value(ports.size() - 1).portName, QStringLiteral("sim10"));

        // Everything before them is real hardware: a device node that exists,
        // no virtual console, no UART that the kernel found absent.
        const QList<SerialPortInfo> realPorts = ports.mid(0, ports.size() - 2);
        const QRegularExpression console(QStringLiteral("^(tty\\d*|console|ptmx)$"));
        for (const SerialPortInfo &port : realPorts) {
            QVERIFY2(QFileInfo::exists(port.physName) && !port.portName.contains(console), qPrintable(port.physName));
            QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(port.portName));
            QVERIFY2(!type.open(QIODevice::ReadOnly) || type.readAll().trimmed() != "0", qPrintable(port.portName));
        }
        QFile uartType(QStringLiteral("/sys/class/tty/ttyS0/type"));
        if (uartType.open(QIODevice::ReadOnly) && uartType.readAll().trimmed() != "0")
            QVERIFY(std::any_of(realPorts.cbegin(), realPorts.cend(),
                                [](const SerialPortInfo &port) { return port.portName == QLatin1String("ttyS0"); }));
    }

    void announcesVirtualPortsLikeAdapters()
    {
        SerialPortEnumerator enumerator;
        QSignalSpy discovered(&enumerator, &SerialPortEnumerator::deviceDiscovered);
        QSignalSpy removed(&enumerator, &SerialPortEnumerator::deviceRemoved);
        // The directory does not exist until the enumerator makes it.
        enumerator.setUpNotifications();
        QVERIFY(QFileInfo(virtualPortDirectory()).isDir());

        Pty pty;
        QVERIFY(link("first", pty.slavePath));
        QTRY_COMPARE(discovered.count(), 1);
        // A dangling link is never announced.
        QVERIFY(link("dangling", path("no-such-pty")));
        QVERIFY(link("second", pty.slavePath));
        QTRY_COMPARE(discovered.count(), 2);
        QCOMPARE(noticed(discovered, 1).portName, QStringLiteral("second"));

        QVERIFY(QFile::remove(path("first")));
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(noticed(removed, 0).portName, QStringLiteral("first"));

        // The directory wiped while running: made again, and still watched.
        QVERIFY(QDir(virtualPortDirectory()).removeRecursively());
        QTRY_COMPARE(removed.count(), 2);
        QTRY_VERIFY(QFileInfo(virtualPortDirectory()).isDir());
        QVERIFY(link("third", pty.slavePath));
        QTRY_COMPARE(discovered.count(), 3);
        QCOMPARE(noticed(discovered, 2).portName, QStringLiteral("third"));

        // A simulator that is killed leaves its link behind; the port is gone
        // all the same when its pty closes.
        auto killed = std::make_unique<Pty>();
        QVERIFY(link("killed", killed->slavePath));
        QTRY_COMPARE(discovered.count(), 4);
        killed.reset();
        QTRY_COMPARE(removed.count(), 3);
        QCOMPARE(noticed(removed, 2).portName, QStringLiteral("killed"));
    }

    // No adapter can be plugged here, but the kernel repeats the event of a
    // present port when asked through its uevent file (root only). No virtual
    // port is listed here, so the first port, if any, is a real one.
    void hearsTheKernelAboutRealPorts()
    {
        QFile uevent(QStringLiteral("/sys/class/tty/%1/uevent").arg(SerialPortEnumerator::getPorts().value(0).portName));
        if (!uevent.open(QIODevice::WriteOnly))
            QSKIP("no real serial port whose device event can be repeated");
        UdevPortMonitor monitor;
        QSignalSpy changed(&monitor, &UdevPortMonitor::ttyChanged);
        QVERIFY(monitor.start());
        if (uevent.write("change\n") < 0 || !uevent.flush())
            QSKIP("the kernel refused to repeat the device event");
        QTRY_COMPARE(changed.count(), 1);
    }

    // --port of both front ends: any serial device or a link to one, listed
    // or not; a path to anything else is refused. Last: the named port is
    // listed for the rest of the process.
    void takesAnySerialDeviceTheUserNames()
    {
        auto pty = std::make_unique<Pty>();
        // A link outside the port directory, as socat's link= makes one.
        const QString link = environment->workingDirectory() + QStringLiteral("/rs485");
        QVERIFY(QFile::link(pty->slavePath, link));
        const auto listed = [](const QString &device) {
            const QList<SerialPortInfo> ports = SerialPortEnumerator::getPorts();
            return std::count_if(ports.cbegin(), ports.cend(),
                                 [&device](const SerialPortInfo &port) { return port.device() == device; });
        };
        QCOMPARE(listed(pty->slavePath), 0);
        QCOMPARE(serialDeviceKind(pty->slavePath), SerialDeviceKind::Serial);
        SerialPortInfo port;
        QVERIFY(resolvePort(pty->slavePath, SerialPortEnumerator::getPorts(), &port));
        QCOMPARE(port.device(), pty->slavePath);
        QVERIFY(resolvePort(link, SerialPortEnumerator::getPorts(), &port));
        QCOMPARE(port.device(), link);
        QCOMPARE(port.identity, QStringLiteral("device:") + link);
        QVERIFY(portNameProblem(link).isEmpty());

        // Listed from now on while it is there, once, however it is named.
        SerialPortEnumerator::listNamedPort(link);
        SerialPortEnumerator::listNamedPort(pty->slavePath);
        QCOMPARE(listed(link), 1);
        QCOMPARE(listed(pty->slavePath), 0);
        QCOMPARE(SerialPortEnumerator::getPorts().last().identity, QStringLiteral("device:") + link);
        // A link to a listed port is that port.
        QVERIFY(QDir().mkpath(virtualPortDirectory()));
        QVERIFY(this->link("sim", pty->slavePath));
        QCOMPARE(listed(link), 0);
        QVERIFY(resolvePort(link, SerialPortEnumerator::getPorts(), &port));
        QCOMPARE(port.identity, QStringLiteral("virtual:sim"));
        QVERIFY(QFile::remove(path("sim")));

        // Gone: no longer listed nor found, and waited for rather than refused.
        pty.reset();
        QCOMPARE(listed(link), 0);
        QVERIFY(!resolvePort(link, SerialPortEnumerator::getPorts(), &port));
        QCOMPARE(serialDeviceKind(link), SerialDeviceKind::Missing);
        QVERIFY(portNameProblem(link).isEmpty());
        QVERIFY(portNameProblem(QStringLiteral("/dev/ttyUSB97")).isEmpty());
        QVERIFY(portNameProblem(QStringLiteral("kelvane-sim")).isEmpty());

        // Whatever is there and no serial line is refused, saying what it is.
        QVERIFY(QFile(environment->workingDirectory() + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly));
        QCOMPARE(portNameProblem(environment->workingDirectory() + QStringLiteral("/notes.txt")),
                 environment->workingDirectory() + QStringLiteral("/notes.txt is a file, not a serial device."));
        QVERIFY(portNameProblem(environment->workingDirectory()).contains(QStringLiteral("is a folder")));
        QVERIFY(portNameProblem(QStringLiteral("/dev/null")).endsWith(QStringLiteral("not a serial device.")));
        QCOMPARE(serialDeviceKind(QStringLiteral("/dev/ptmx")), SerialDeviceKind::NotSerial);
    }
};

QTEST_GUILESS_MAIN(TestPortEnumerator)
#include "tst_portenumerator.moc"
