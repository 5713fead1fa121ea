#ifndef NETWORKLINES_H
#define NETWORKLINES_H

#include "serialportinfo.h"

#include <QList>
#include <QString>

// The network lines the port list offers besides the serial ports: those
// the user added (kept in the settings, group "networkLines") and those a
// project or the command line named in this run.
namespace NetworkLines {

// The lines, in the order they were added.
QList<SerialPortInfo> listed();

// Lists the line of url under name (a line listed already takes the new
// name); with keep, the settings keep it for the next runs. Returns the
// port, or a port with no identity when url is no network line.
SerialPortInfo add(const QString &url, const QString &name = QString(), bool keep = false);

// Takes the lines kept in the settings into the list.
void loadKept();

// What names a port on the command line or in a project: a network line's
// URL is listed (for this run) and comes back as the line's device, which
// the port list matches; anything else comes back as it is.
QString listedName(const QString &nameOrUrl);

} // namespace NetworkLines

#endif // NETWORKLINES_H
