#include "virtualportwatcher.h"

#include "virtualserialports.h"

#include <QDir>

VirtualPortWatcher::VirtualPortWatcher(QObject *parent)
    : QObject(parent)
{
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, &VirtualPortWatcher::onChange);
}

bool VirtualPortWatcher::start(const QString &directory)
{
    portDirectory = directory;
    watchDirectory();
    followTargets();
    return watcher.directories().contains(portDirectory);
}

void VirtualPortWatcher::onChange()
{
    // A removed directory drops out of the watch; the next simulator run
    // must still be seen, so it is made again.
    watchDirectory();
    followTargets();
    emit changed();
}

void VirtualPortWatcher::watchDirectory()
{
    if (watcher.directories().contains(portDirectory))
        return;
    QDir().mkpath(portDirectory);
    watcher.addPath(portDirectory);
}

void VirtualPortWatcher::followTargets()
{
    const QStringList wanted = virtualPortTargetDirectories(portDirectory);
    for (const QString &old : qAsConst(targetDirectories)) {
        if (!wanted.contains(old) && old != portDirectory)
            watcher.removePath(old);
    }
    for (const QString &directory : wanted) {
        if (!watcher.directories().contains(directory))
            watcher.addPath(directory);
    }
    targetDirectories = wanted;
}
