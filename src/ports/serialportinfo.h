#ifndef SERIALPORTINFO_H
#define SERIALPORTINFO_H

#include <QMetaType>
#include <QString>

// One serial port present on the computer, as the enumerator reports it.
class SerialPortInfo
{
public:
    QString portName;    // system name, "ttyUSB0" or the virtual port's link name
    QString physName;    // device node the port is opened with
    QString friendName;  // what the technician sees in the port list
    QString enumName;    // udev subsystem, or "virtual"
    int vendorID = 0;
    int productID = 0;
    // What stays the same when the port is unplugged and plugged in again,
    // even under another device node: the virtual port's name, or a USB
    // adapter's vendor, model and serial number.
    QString identity;

    // The device the port is opened with: its device node.
    QString device() const;
};

Q_DECLARE_METATYPE(SerialPortInfo)

#endif // SERIALPORTINFO_H
