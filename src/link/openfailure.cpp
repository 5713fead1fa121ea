#include "openfailure.h"

#include "networkline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("OpenFailure", text);
}

QString systemMessage(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString permissionDenied(const QString &device)
{
    const QString group = deviceGroupName(device);
    // Joining root's group is no fix anyone should be told to make: such a
    // device needs its permissions changed (a udev rule) instead.
    if (group.isEmpty() || group == QLatin1String("root")) {
        return tr("This account may not use %1. Ask the administrator of this computer to give it "
                  "access to the device (for instance with a udev rule).").arg(device);
    }
    return tr("This account may not use %1, which belongs to the group \"%2\".\n"
              "Add the account to that group with\n"
              "    sudo usermod -aG %2 $USER\n"
              "then log out and in again.").arg(device, group);
}

QString busy(const QString &device)
{
    const QString holder = programHoldingDevice(device);
    if (holder.isEmpty()) {
        return tr("Another program holds %1 (Linux does not tell which; it may run under another "
                  "account). Close it, then open the port again.").arg(device);
    }
    return tr("Another program holds %1: %2. Close it, then open the port again.").arg(device, holder);
}

QString gone(const QString &device)
{
    return tr("%1 is no longer there: the adapter was unplugged or the port disappeared since the "
              "port list was made. Plug it in again and choose the port anew.").arg(device);
}

QString other(int err, const QString &device)
{
    if (err == ENOTTY || err == EINVAL) {
        return tr("%1 does not work as a serial port: %2.").arg(device, systemMessage(err));
    }
    return tr("%1: %2.").arg(device, systemMessage(err));
}

// The device number of a character device, to match the files processes
// hold open however they named it (a /dev/serial/by-id link, say).
bool characterDevice(const QByteArray &path, dev_t *rdev)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    *rdev = info.st_rdev;
    return true;
}

bool processHolds(const QString &pid, dev_t device)
{
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = descriptors.entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        dev_t held = 0;
        if (characterDevice(QFile::encodeName(descriptors.filePath(entry)), &held) && held == device)
            return true;
    }
    return false;
}

QString processName(const QString &pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}
}

OpenFailureKind classifyOpenFailure(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return OpenFailureKind::PermissionDenied;
    case EBUSY:
        return OpenFailureKind::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    // A gateway that refuses or does not take the connection.
    case ECONNREFUSED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ECONNRESET:
        return OpenFailureKind::Gone;
    default:
        return OpenFailureKind::Other;
    }
}

QString openFailureReason(int err, const QString &device)
{
    NetworkLine network;
    if (NetworkLine::parse(device, &network)) {
        if (err == EBUSY)
            return tr("This program has %1 open already: a gateway gets one connection to a line from it.")
                    .arg(network.url());
        return tr("The gateway at %1 does not answer: %2.\nCheck that it is powered and on the network, and "
                  "the host, port and protocol of the line (%3).")
                .arg(network.endpoint(), systemMessage(err), network.url());
    }
    if (NetworkLine::looksLikeUrl(device))
        return tr("%1 is no network line: write tcp://HOST[:PORT] or rtu+tcp://HOST:PORT.").arg(device);
    switch (classifyOpenFailure(err)) {
    case OpenFailureKind::PermissionDenied:
        return permissionDenied(device);
    case OpenFailureKind::Busy:
        return busy(device);
    case OpenFailureKind::Gone:
        return gone(device);
    case OpenFailureKind::Other:
        break;
    }
    return other(err, device);
}

QString deviceGroupName(const QString &device)
{
    struct stat info;
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QString();
    // getgrgid_r, as the link thread may ask while the GUI thread does too.
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    QByteArray buffer(int(size > 0 ? size : 16384), '\0');
    struct group entry;
    struct group *found = nullptr;
    while (::getgrgid_r(info.st_gid, &entry, buffer.data(), size_t(buffer.size()), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    return found ? QString::fromLocal8Bit(found->gr_name) : QString::number(info.st_gid);
}

QString programHoldingDevice(const QString &device)
{
    dev_t wanted = 0;
    if (!characterDevice(QFile::encodeName(device), &wanted))
        return QString();
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList holders;
    for (const QString &pid : processes) {
        bool numeric = false;
        pid.toUInt(&numeric);
        if (!numeric || pid == self || !processHolds(pid, wanted))
            continue;
        const QString name = processName(pid);
        holders << tr("%1 (process %2)").arg(name.isEmpty() ? tr("a program") : name, pid);
    }
    return holders.join(QStringLiteral(", "));
}
