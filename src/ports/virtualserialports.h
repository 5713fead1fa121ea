#ifndef VIRTUALSERIALPORTS_H
#define VIRTUALSERIALPORTS_H

#include "serialportinfo.h"

#include <QList>
#include <QString>

// The virtual serial ports announced in a directory: every symbolic link
// there whose target exists is a port named after the link. The port is
// opened through the link, so it keeps working when the pty behind it gets
// another number. Dangling links (left behind by a killed simulator) are
// skipped. Listed in no particular order.
QList<SerialPortInfo> virtualSerialPorts(const QString &directory);

// The directories holding the targets of the links in a directory, dangling
// ones included: a port appears or goes when its pty does, without any
// change in the announcing directory.
QStringList virtualPortTargetDirectories(const QString &directory);

#endif // VIRTUALSERIALPORTS_H
