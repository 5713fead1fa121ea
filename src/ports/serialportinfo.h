#ifndef SERIALPORTINFO_H
#define SERIALPORTINFO_H

#include <QMetaType>
#include <QString>

// One serial port present on the computer, as the enumerator reports it,
// or a network line to a gateway (see NetworkLine) that the user added: the
// line's URL is then its device and its identity, and it is always present.
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

    // The device the port is opened with: its device node, or the URL.
    QString device() const;

    bool isNetworkLine() const;
    // The port of the network line at url, listed as name (the URL when
    // empty). url must be one NetworkLine::parse() takes.
    static SerialPortInfo networkLine(const QString &url, const QString &name = QString());
};

Q_DECLARE_METATYPE(SerialPortInfo)

#endif // SERIALPORTINFO_H
