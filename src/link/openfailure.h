#ifndef OPENFAILURE_H
#define OPENFAILURE_H

#include <QString>

// Why a serial port would not open, in the terms a technician acts on.
enum class OpenFailureKind {
    PermissionDenied,   // this account may not use the device
    Busy,               // another program holds the port
    Gone,               // the device vanished since the port list was built, or the gateway does not answer
    Other               // not a serial device, or anything else
};

// The kind of failure an errno from opening or setting up a port means.
OpenFailureKind classifyOpenFailure(int err);

// A few lines that say what went wrong with device and what to do about
// it, for the box that reports a port that would not open. err is the
// errno of the failed open.
QString openFailureReason(int err, const QString &device);

// The group that owns the device file (the one to join to use it), or an
// empty string when the file cannot be looked at.
QString deviceGroupName(const QString &device);

// The programs that hold the device open, as "name (process 1234)" joined
// by commas, found among the processes Linux lets this account look into;
// this process itself is left out. Empty when none is found. (A program
// that serves the other end of a pseudo-terminal, such as the simulator,
// holds its device too.)
QString programHoldingDevice(const QString &device);

#endif // OPENFAILURE_H
