#ifndef ONESHOTFAULTS_H
#define ONESHOTFAULTS_H

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// Misbehaviour that strikes the reply to one chosen frame only, so that a
// test knows exactly which exchange went wrong and can check that the
// program does not take the wrong bytes for the answer to another request.
// Frames are numbered from 1 in the order they arrive, every frame counting
// (addressed to the sensor or not, damaged or not), as the request log
// numbers its lines. A frame that gets no reply is left as it is.
class OneShotFaults
{
public:
    enum class Kind {
        LateReply,          // the reply leaves `ms` later than it would
        DuplicateReply,     // the reply goes out twice, back to back
        Garbage,            // a longer burst that is no valid frame, instead of the reply
        ByteGap,            // the reply pauses `ms` after its first GapAfterBytes bytes
    };
    struct Fault
    {
        Kind kind = Kind::LateReply;
        int ms = 0;
    };

    // Where a --byte-gap-at pause falls: inside every reply, even the
    // five-byte exception reply.
    static constexpr int GapAfterBytes = 3;

    // False (with a message) when the frame already has a fault.
    bool add(int frameNumber, Kind kind, int ms, QString *error);
    std::optional<Fault> at(int frameNumber) const;

    // The reason the request log gives a reply with this fault; a reply
    // that already had a reason (an exception, a broken check) keeps it in
    // front: "exception-2+late-reply".
    static QString markedReason(const QString &reason, Kind kind);

    // The bytes sent instead of a reply for --garbage-at: slave, function
    // and the next byte as in the reply, so that a master expects the
    // reply's length, then the rest inverted under a check that fails,
    // then junk, so that bytes are left over after the expected length.
    static QByteArray garbled(const QByteArray &reply);

private:
    QMap<int, Fault> faults;
};

#endif // ONESHOTFAULTS_H
