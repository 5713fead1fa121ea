#ifndef PORTRESOLUTION_H
#define PORTRESOLUTION_H

#include "serialportinfo.h"

#include <QList>
#include <QString>

// What a user names as the port, with --port in the window and in the
// logger: a name the port list shows (its text, its system name or its
// device), or any serial device, listed or not (a pseudo-terminal of socat
// or ser2net, /dev/ttySC0 of an RS-485 HAT), or a link to one.

enum class SerialDeviceKind {
    Serial,     // a serial line or a pseudo-terminal, or one that cannot be looked at
    Missing,    // nothing there (yet): an adapter not plugged in, a dangling link
    NotSerial   // there, but no serial device: a file, a folder, another device
};

// What path (a device or a link to one) is; why says so in a sentence
// when it is no serial device.
SerialDeviceKind serialDeviceKind(const QString &path, QString *why = nullptr);

// The device a name stands for when no listed port has it: a path as an
// absolute path, a bare name such as ttySC0 under /dev.
QString namedDevicePath(const QString &name);

// The port a serial device named by the user is opened as, whether or not
// it is there now: known again by the name as given (a link keeps its name
// when what it points at changes).
SerialPortInfo namedDevicePort(const QString &name);

// Why name can be no port, for a refusal at the start; empty when it may
// be one: a listed name, a serial device, or a path or name that is not
// there yet (an adapter is waited for).
QString portNameProblem(const QString &name);

// The port that name stands for: the listed port it names (by the name the
// list shows, its system name, its device, or a link to its device), else
// the serial device it names. False when it names nothing present.
bool resolvePort(const QString &name, const QList<SerialPortInfo> &present, SerialPortInfo *port);

#endif // PORTRESOLUTION_H
