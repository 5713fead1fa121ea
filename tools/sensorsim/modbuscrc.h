#ifndef MODBUSCRC_H
#define MODBUSCRC_H

#include <QByteArray>

// Modbus RTU check: CRC-16 with the reflected polynomial 0xA001 and the
// initial value 0xFFFF. On the wire the low byte goes first.
quint16 modbusCrc16(const char *data, int length);

// True when the last two bytes of the frame are the check of the bytes before.
bool hasValidCrc(const QByteArray &frame);

// Appends the check of everything already in the frame, low byte first.
void appendCrc(QByteArray *frame);

#endif // MODBUSCRC_H
