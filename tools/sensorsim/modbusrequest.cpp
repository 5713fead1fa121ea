#include "modbusrequest.h"

#include "rtuframeassembler.h"

namespace {
int wordAt(const QByteArray &frame, int offset)
{
    return (static_cast<quint8>(frame.at(offset)) << 8) | static_cast<quint8>(frame.at(offset + 1));
}
}

ModbusRequest ModbusRequest::parse(const QByteArray &frame)
{
    ModbusRequest request;
    if (frame.size() >= 1)
        request.slave = static_cast<quint8>(frame.at(0));
    if (frame.size() >= 2)
        request.function = static_cast<quint8>(frame.at(1));
    if (request.function != 3 && request.function != 16)
        return request;
    if (frame.size() >= 4)
        request.address = wordAt(frame, 2);
    if (frame.size() >= 6)
        request.count = wordAt(frame, 4);
    if (request.function == 16 && frame.size() >= 7) {
        request.byteCount = static_cast<quint8>(frame.at(6));
        // Values the frame carries in full, before its two check bytes.
        const int dataEnd = qMin(7 + request.byteCount, frame.size() - 2);
        for (int offset = 7; offset + 1 < dataEnd; offset += 2)
            request.values.append(static_cast<quint16>(wordAt(frame, offset)));
    }
    return request;
}

bool ModbusRequest::isComplete(const QByteArray &frame)
{
    const int expected = RtuFrameAssembler::expectedRequestLength(frame);
    if (expected < 0)
        return false;
    // Codes without a known length need at least slave, function and check.
    return expected == 0 ? frame.size() >= 4 : frame.size() == expected;
}
