#include "virtualserialports.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

QFileInfoList linksIn(const QString &directory)
{
    // QDir::System is what lists dangling links at all.
    QFileInfoList links;
    const QFileInfoList entries = QDir(directory).entryInfoList(
            QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            links.append(entry);
    }
    return links;
}

} // namespace

QList<SerialPortInfo> virtualSerialPorts(const QString &directory)
{
    QList<SerialPortInfo> ports;
    for (const QFileInfo &link : linksIn(directory)) {
        if (!link.exists())
            continue;  // exists() follows the link: false when it dangles
        SerialPortInfo port;
        port.portName = link.fileName();
        port.physName = link.absoluteFilePath();
        port.friendName = QStringLiteral("Virtual serial port %1 (%2)").arg(port.portName, port.physName);
        port.enumName = QStringLiteral("virtual");
        port.identity = QStringLiteral("virtual:") + port.portName;
        ports.append(port);
    }
    return ports;
}

QStringList virtualPortTargetDirectories(const QString &directory)
{
    QSet<QString> directories;
    for (const QFileInfo &link : linksIn(directory)) {
        const QString targetDirectory = QFileInfo(link.symLinkTarget()).absolutePath();
        if (QFileInfo(targetDirectory).isDir())
            directories.insert(targetDirectory);
    }
    QStringList sorted = directories.values();
    sorted.sort();
    return sorted;
}
