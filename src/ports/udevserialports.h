#ifndef UDEVSERIALPORTS_H
#define UDEVSERIALPORTS_H

#include "serialportinfo.h"

#include <QList>

// The serial ports of the "tty" subsystem that stand for real hardware: USB
// adapters, ACM devices and the on-board UARTs that are fitted. Read from
// sysfs through libudev, so it works without a running udev daemon. Listed
// in no particular order.
QList<SerialPortInfo> udevSerialPorts();

#endif // UDEVSERIALPORTS_H
