#ifndef MODBUSREQUEST_H
#define MODBUSREQUEST_H

#include <QByteArray>
#include <QVector>

// The fields of a request frame, as far as they can be read from it. The
// frame's check is not looked at: even a damaged request gets logged with
// whatever it seems to say. Fields that are missing stay -1.
struct ModbusRequest
{
    int slave = -1;
    int function = -1;
    int address = -1;
    int count = -1;
    int byteCount = -1;                 // function 16 only
    QVector<quint16> values;            // function 16 only

    static ModbusRequest parse(const QByteArray &frame);
    // Whether the frame is as long as its function code says it must be.
    static bool isComplete(const QByteArray &frame);
};

#endif // MODBUSREQUEST_H
