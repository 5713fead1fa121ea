#include "pseudoterminal.h"

#include "link/serialline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {
struct SpeedEntry { speed_t speed; int baud; };
const SpeedEntry speeds[] = {
    { B50, 50 }, { B75, 75 }, { B110, 110 }, { B134, 134 }, { B150, 150 }, { B200, 200 },
    { B300, 300 }, { B600, 600 }, { B1200, 1200 }, { B1800, 1800 }, { B2400, 2400 },
    { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 }, { B38400, 38400 },
    { B57600, 57600 }, { B115200, 115200 }, { B230400, 230400 }, { B460800, 460800 },
    { B500000, 500000 }, { B576000, 576000 }, { B921600, 921600 }, { B1000000, 1000000 },
};

int baudOfSpeed(speed_t speed)
{
    for (const SpeedEntry &entry : speeds) {
        if (entry.speed == speed)
            return entry.baud;
    }
    return 0;
}

speed_t speedOfBaud(int baud)
{
    for (const SpeedEntry &entry : speeds) {
        if (entry.baud == baud)
            return entry.speed;
    }
    return B19200;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void sleepUntil(const timespec &deadline)
{
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

void addMicroseconds(timespec *time, qint64 us)
{
    const qint64 ns = time->tv_nsec + us * 1000;
    time->tv_sec += static_cast<time_t>(ns / 1000000000);
    time->tv_nsec = static_cast<long>(ns % 1000000000);
}

// Writes everything, waiting briefly when the device side's input is full
// (nobody is reading it); gives up rather than hang the simulator.
bool writeAll(int descriptor, const char *data, qint64 length)
{
    int waits = 0;
    while (length > 0) {
        const ssize_t written = ::write(descriptor, data, static_cast<size_t>(length));
        if (written > 0) {
            data += written;
            length -= written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN && ++waits <= 10) {
            pollfd out = { descriptor, POLLOUT, 0 };
            ::poll(&out, 1, 10);
            continue;
        }
        return false;
    }
    return true;
}
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(int bitRateCode, int serialConfCode, QString *error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(systemError());
        close();
        return false;
    }
    const char *name = ptsname(master);
    if (!name) {
        *error = QStringLiteral("no device for the pseudo-terminal: %1").arg(systemError());
        close();
        return false;
    }
    device = QString::fromLocal8Bit(name);
    deviceSide = ::open(name, O_RDWR | O_NOCTTY);
    if (deviceSide < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(device, systemError());
        close();
        return false;
    }

    // Raw from the start: nothing may echo requests or translate bytes
    // before the program sets the line up itself.
    const LineSettings line = lineSettingsForCodes(bitRateCode, serialConfCode);
    termios settings;
    tcgetattr(deviceSide, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, speedOfBaud(line.baud));
    cfsetospeed(&settings, speedOfBaud(line.baud));
    settings.c_cflag |= CLOCAL | CREAD;
    if (line.parity != 'N')
        settings.c_cflag |= PARENB;
    if (line.parity == 'O')
        settings.c_cflag |= PARODD;
    if (line.stopBits == 2)
        settings.c_cflag |= CSTOPB;
    if (tcsetattr(deviceSide, TCSANOW, &settings) != 0) {
        *error = QStringLiteral("cannot set up %1: %2").arg(device, systemError());
        close();
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool PseudoTerminal::announce(const QString &linkPath, QString *error)
{
    const QFileInfo info(linkPath);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create %1").arg(info.absolutePath());
        return false;
    }
    if (info.isSymLink()) {
        if (info.exists()) {
            *error = QStringLiteral("%1 is in use by another port (it points at %2); choose another --name")
                    .arg(linkPath, info.symLinkTarget());
            return false;
        }
        QFile::remove(linkPath);
    }
    if (::symlink(QFile::encodeName(device).constData(), QFile::encodeName(linkPath).constData()) != 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(linkPath, systemError());
        return false;
    }
    link = linkPath;
    return true;
}

void PseudoTerminal::close()
{
    if (!link.isEmpty()) {
        const QFileInfo info(link);
        if (info.isSymLink() && info.symLinkTarget() == device)
            QFile::remove(link);
        link.clear();
    }
    if (deviceSide >= 0)
        ::close(deviceSide);
    if (master >= 0)
        ::close(master);
    deviceSide = -1;
    master = -1;
}

void PseudoTerminal::waitUntilDelivered(int timeoutMs)
{
    // Written bytes reach the device side's input a moment later; once
    // they have shown up there, wait for them to be taken.
    const int arrivalMs = 50;
    bool arrived = false;
    for (int waited = 0; deviceSide >= 0 && waited < timeoutMs; waited += 2) {
        int unread = 0;
        if (ioctl(deviceSide, FIONREAD, &unread) != 0)
            return;
        arrived = arrived || unread > 0;
        if ((arrived && unread == 0) || (!arrived && waited >= arrivalMs))
            return;
        const timespec pause = { 0, 2000000 };
        nanosleep(&pause, nullptr);
    }
}

ObservedLine PseudoTerminal::observeLine() const
{
    ObservedLine line;
    termios settings;
    if (master < 0 || tcgetattr(master, &settings) != 0)
        return line;
    line.baud = baudOfSpeed(cfgetospeed(&settings));
    line.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
    line.oddParity = (settings.c_cflag & PARODD) != 0;
    return line;
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return bytes;
}

bool PseudoTerminal::send(const QByteArray &bytes, qint64 byteTimeUs, qint64 gapUs)
{
    if (master < 0)
        return false;
    if (byteTimeUs <= 0 && gapUs <= 0)
        return writeAll(master, bytes.constData(), bytes.size());
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    for (int i = 0; i < bytes.size(); ++i) {
        // A byte reaches the other end only once its last bit is through.
        addMicroseconds(&deadline, byteTimeUs + (i > 0 ? gapUs : 0));
        sleepUntil(deadline);
        if (!writeAll(master, bytes.constData() + i, 1))
            return false;
    }
    return true;
}
