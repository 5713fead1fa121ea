#include "portresolution.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// The slave ends of pseudo-terminals (/dev/pts/N), which have no sysfs entry.
constexpr unsigned PtySlaveFirstMajor = 136;
constexpr unsigned PtySlaveLastMajor = 143;
// Virtual consoles (major 4, minors below 64), and /dev/tty, /dev/console
// and /dev/ptmx (major 5): terminals of the tty layer, but no serial lines.
constexpr unsigned ConsoleMajor = 4;
constexpr unsigned FirstSerialMinorOfConsoleMajor = 64;
constexpr unsigned AuxiliaryTtyMajor = 5;

bool isPath(const QString &name)
{
    return name.contains(QLatin1Char('/'));
}

// The subsystem of a character device as sysfs tells it; empty when sysfs
// does not know it.
QString subsystemOf(dev_t device)
{
    const QString link = QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major(device)).arg(minor(device));
    return QFileInfo(QFileInfo(link).symLinkTarget()).fileName();
}

} // namespace

SerialDeviceKind serialDeviceKind(const QString &path, QString *why)
{
    const auto notSerial = [why, &path](const QString &what) {
        if (why)
            *why = QStringLiteral("%1 is %2, not a serial device.").arg(path, what);
        return SerialDeviceKind::NotSerial;
    };
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        // A folder on the way this account may not enter: the open will tell.
        return errno == ENOENT || errno == ENOTDIR ? SerialDeviceKind::Missing : SerialDeviceKind::Serial;
    }
    if (S_ISDIR(info.st_mode))
        return notSerial(QStringLiteral("a folder"));
    if (S_ISREG(info.st_mode))
        return notSerial(QStringLiteral("a file"));
    if (!S_ISCHR(info.st_mode))
        return notSerial(QStringLiteral("no character device"));
    const unsigned deviceMajor = major(info.st_rdev);
    const unsigned deviceMinor = minor(info.st_rdev);
    if (deviceMajor >= PtySlaveFirstMajor && deviceMajor <= PtySlaveLastMajor)
        return SerialDeviceKind::Serial;
    if ((deviceMajor == ConsoleMajor && deviceMinor < FirstSerialMinorOfConsoleMajor) || deviceMajor == AuxiliaryTtyMajor)
        return notSerial(QStringLiteral("a console or terminal"));
    const QString subsystem = subsystemOf(info.st_rdev);
    // Without sysfs (a container may lack it) a character device may be one.
    if (subsystem.isEmpty() && !QFileInfo::exists(QStringLiteral("/sys/dev/char")))
        return SerialDeviceKind::Serial;
    if (subsystem != QLatin1String("tty"))
        return notSerial(subsystem.isEmpty() ? QStringLiteral("a device of no known kind")
                                             : QStringLiteral("a device of the kind \"%1\"").arg(subsystem));
    return SerialDeviceKind::Serial;
}

QString namedDevicePath(const QString &name)
{
    if (name.isEmpty())
        return QString();
    return isPath(name) ? QDir::cleanPath(QDir::current().absoluteFilePath(name)) : QStringLiteral("/dev/") + name;
}

SerialPortInfo namedDevicePort(const QString &name)
{
    SerialPortInfo port;
    port.physName = namedDevicePath(name);
    // Its system name is what the user named: the path, or the bare name
    // (a stored port is then found again by it).
    port.portName = isPath(name) ? port.physName : name;
    port.friendName = QStringLiteral("Serial device %1").arg(port.physName);
    port.enumName = QStringLiteral("device");
    port.identity = QStringLiteral("device:") + port.physName;
    return port;
}

QString portNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("the port's name is empty.");
    // A bare name may be a port that comes later (a simulator's, a plugged
    // adapter's): only a path can be seen to be wrong now.
    QString why;
    if (isPath(name) && serialDeviceKind(namedDevicePath(name), &why) == SerialDeviceKind::NotSerial)
        return why;
    return QString();
}

bool resolvePort(const QString &name, const QList<SerialPortInfo> &present, SerialPortInfo *port)
{
    if (name.isEmpty())
        return false;
    const QString target = isPath(name) ? QFileInfo(name).canonicalFilePath() : QString();
    for (const SerialPortInfo &candidate : present) {
        if (candidate.friendName == name || candidate.portName == name || candidate.device() == name
                || (!target.isEmpty() && QFileInfo(candidate.device()).canonicalFilePath() == target)) {
            *port = candidate;
            return true;
        }
    }
    if (serialDeviceKind(namedDevicePath(name)) != SerialDeviceKind::Serial
            || !QFileInfo::exists(namedDevicePath(name)))
        return false;
    *port = namedDevicePort(name);
    return true;
}
