#include "rtuframeassembler.h"

namespace {
const int ReadHoldingRegisters = 3;
const int WriteMultipleRegisters = 16;
const int WriteHeaderLength = 7;    // slave, function, address, count, byte count
}

void RtuFrameAssembler::addBytes(const QByteArray &bytes, qint64 nowUs)
{
    if (bytes.isEmpty())
        return;
    pending.append(bytes);
    lastByteUs = nowUs;
}

int RtuFrameAssembler::expectedRequestLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return -1;
    const int function = static_cast<quint8>(buffer.at(1));
    if (function == ReadHoldingRegisters)
        return 8;
    if (function == WriteMultipleRegisters) {
        if (buffer.size() < WriteHeaderLength)
            return -1;
        return WriteHeaderLength + static_cast<quint8>(buffer.at(WriteHeaderLength - 1)) + 2;
    }
    return 0;
}

qint64 RtuFrameAssembler::silenceDeadlineUs() const
{
    if (pending.isEmpty())
        return -1;
    const int expected = expectedRequestLength(pending);
    return lastByteUs + (expected == 0 ? UnknownFrameSilenceUs : IncompleteFrameSilenceUs);
}

bool RtuFrameAssembler::takeFrame(QByteArray *frame, qint64 nowUs)
{
    if (pending.isEmpty())
        return false;
    const int expected = expectedRequestLength(pending);
    if (expected > 0 && pending.size() >= expected) {
        *frame = pending.left(expected);
        pending.remove(0, expected);
        return true;
    }
    if (nowUs >= silenceDeadlineUs()) {
        *frame = pending;
        pending.clear();
        return true;
    }
    return false;
}
