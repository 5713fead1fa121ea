#ifndef VIRTUALPORTWATCHER_H
#define VIRTUALPORTWATCHER_H

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Tells when the set of virtual serial ports in a directory may have
// changed: a link was added or removed there, or a pty that a link points at
// came or went. Emits changed() on the thread this object lives in.
class VirtualPortWatcher : public QObject
{
    Q_OBJECT

public:
    explicit VirtualPortWatcher(QObject *parent = nullptr);

    // Creates the directory when it is missing, so that the simulator and
    // socat can put their links there. False when it cannot be watched.
    bool start(const QString &directory);

signals:
    void changed();

private:
    void onChange();
    void watchDirectory();
    void followTargets();

    QString portDirectory;
    QFileSystemWatcher watcher;
    QStringList targetDirectories;
};

#endif // VIRTUALPORTWATCHER_H
