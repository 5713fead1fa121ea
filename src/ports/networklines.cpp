#include "networklines.h"

#include "link/networkline.h"

#include <QMutex>
#include <QSettings>

namespace {
QMutex linesMutex;
QList<SerialPortInfo> lines;
const QLatin1String Group("networkLines");

void keep()
{
    QSettings settings;
    settings.beginWriteArray(Group, lines.size());
    int i = 0;
    for (const SerialPortInfo &line : lines) {
        settings.setArrayIndex(i++);
        settings.setValue(QStringLiteral("url"), line.device());
        settings.setValue(QStringLiteral("name"), line.portName == line.device() ? QString() : line.portName);
    }
    settings.endArray();
}

SerialPortInfo addLocked(const QString &url, const QString &name)
{
    NetworkLine parsed;
    if (!NetworkLine::parse(url, &parsed))
        return SerialPortInfo();
    const SerialPortInfo port = SerialPortInfo::networkLine(url, name);
    for (SerialPortInfo &listedLine : lines) {
        if (listedLine.identity == port.identity) {
            if (!name.isEmpty())
                listedLine = port;
            return listedLine;
        }
    }
    lines.append(port);
    return port;
}
}

namespace NetworkLines {

QList<SerialPortInfo> listed()
{
    QMutexLocker locker(&linesMutex);
    return lines;
}

SerialPortInfo add(const QString &url, const QString &name, bool kept)
{
    QMutexLocker locker(&linesMutex);
    const SerialPortInfo port = addLocked(url, name);
    if (kept && !port.identity.isEmpty())
        keep();
    return port;
}

void loadKept()
{
    QMutexLocker locker(&linesMutex);
    QSettings settings;
    const int count = settings.beginReadArray(Group);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        addLocked(settings.value(QStringLiteral("url")).toString(), settings.value(QStringLiteral("name")).toString());
    }
    settings.endArray();
}

QString listedName(const QString &nameOrUrl)
{
    const SerialPortInfo port = add(nameOrUrl);
    return port.identity.isEmpty() ? nameOrUrl : port.device();
}

} // namespace NetworkLines
