#include "modbuscrc.h"

quint16 modbusCrc16(const char *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

bool hasValidCrc(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const int bodyLength = frame.size() - 2;
    const quint16 crc = modbusCrc16(frame.constData(), bodyLength);
    return static_cast<quint8>(frame.at(bodyLength)) == (crc & 0xFF)
            && static_cast<quint8>(frame.at(bodyLength + 1)) == (crc >> 8);
}

void appendCrc(QByteArray *frame)
{
    const quint16 crc = modbusCrc16(frame->constData(), frame->size());
    frame->append(static_cast<char>(crc & 0xFF));
    frame->append(static_cast<char>(crc >> 8));
}
