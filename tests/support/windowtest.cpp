#include "windowtest.h"

#include "ports/virtualports.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace WindowTest {

QString statusStyle(QWidget *window)
{
    auto *indicator = window->findChild<QWidget *>(QStringLiteral("statusIndicator"));
    return indicator ? indicator->styleSheet() : QString();
}

QString statusText(QWidget *window)
{
    auto *label = window->findChild<QLabel *>(QStringLiteral("statusLabel"));
    return label ? label->text() : QString();
}

int announceVirtualPort(const QString &name)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    QDir().mkpath(virtualPortDirectory());
    const QString link = virtualPortDirectory() + QLatin1Char('/') + name;
    QFile::remove(link);
    if (!QFile::link(QString::fromLocal8Bit(ptsname(master)), link)) {
        ::close(master);
        return -1;
    }
    return master;
}

void withdrawVirtualPort(const QString &name, int masterFd)
{
    QFile::remove(virtualPortDirectory() + QLatin1Char('/') + name);
    if (masterFd >= 0)
        ::close(masterFd);
}

} // namespace WindowTest
