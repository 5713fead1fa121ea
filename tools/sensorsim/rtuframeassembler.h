#ifndef RTUFRAMEASSEMBLER_H
#define RTUFRAMEASSEMBLER_H

#include <QByteArray>
#include <QList>

// Cuts the byte stream arriving from the master into request frames.
// A pseudo-terminal carries no line timing, so the length of a request is
// taken from its function code where the code fixes it (3: eight bytes,
// 16: nine plus the byte count). Any other code has no known length, and its
// frame ends when the line has been quiet for a moment, as the 3.5-character
// gap ends a frame on a real wire. Leftovers of a known code that stay
// incomplete for longer are given up as a (truncated) frame of their own so
// that the next request starts clean.
class RtuFrameAssembler
{
public:
    static constexpr qint64 UnknownFrameSilenceUs = 5000;
    static constexpr qint64 IncompleteFrameSilenceUs = 20000;

    void addBytes(const QByteArray &bytes, qint64 nowUs);

    // Takes the next finished frame, if any, at time nowUs.
    bool takeFrame(QByteArray *frame, qint64 nowUs);

    bool hasPendingBytes() const { return !pending.isEmpty(); }
    // When the pending bytes will count as a finished frame; -1 without any.
    qint64 silenceDeadlineUs() const;

    // Length of the request that starts the buffer: 0 when its function code
    // gives no length, -1 when more bytes are needed to know it.
    static int expectedRequestLength(const QByteArray &buffer);

private:
    QByteArray pending;
    qint64 lastByteUs = 0;
};

#endif // RTUFRAMEASSEMBLER_H
