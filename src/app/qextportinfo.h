#ifndef QEXTPORTINFO_H
#define QEXTPORTINFO_H

#include <QMetaType>
#include <QString>

// One serial port present on the computer, as the enumerator reports it.
class QextPortInfo
{
public:
    QString portName;    // system name, "ttyUSB0" or the virtual port's link name
    QString physName;    // device node the port is opened with
    QString friendName;  // what the technician sees in the port list
    QString enumName;    // udev subsystem, or "virtual"
    int vendorID = 0;
    int productID = 0;
};

Q_DECLARE_METATYPE(QextPortInfo)

#endif // QEXTPORTINFO_H
