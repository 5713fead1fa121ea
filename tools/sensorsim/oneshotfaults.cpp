#include "oneshotfaults.h"

#include "modbuscrc.h"

namespace {
const char *kindName(OneShotFaults::Kind kind)
{
    switch (kind) {
    case OneShotFaults::Kind::LateReply:
        return "late-reply";
    case OneShotFaults::Kind::DuplicateReply:
        return "duplicate-reply";
    case OneShotFaults::Kind::Garbage:
        return "garbage";
    case OneShotFaults::Kind::ByteGap:
        return "byte-gap";
    }
    return "?";
}

// Kept as they are in a garbled reply: slave, function, and the byte count
// (function 3), the exception code or the first address byte (function 16),
// which between them fix the length a master waits for.
const int KeptHeaderBytes = 3;
const char Junk[] = "\xFF\x00\xA5\x5A";
}

bool OneShotFaults::add(int frameNumber, Kind kind, int ms, QString *error)
{
    if (faults.contains(frameNumber)) {
        *error = QStringLiteral("frame %1 already has a one-shot fault (%2)")
                .arg(frameNumber).arg(QLatin1String(kindName(faults.value(frameNumber).kind)));
        return false;
    }
    faults.insert(frameNumber, Fault{ kind, ms });
    return true;
}

std::optional<OneShotFaults::Fault> OneShotFaults::at(int frameNumber) const
{
    const auto found = faults.constFind(frameNumber);
    if (found == faults.cend())
        return std::nullopt;
    return *found;
}

QString OneShotFaults::markedReason(const QString &reason, Kind kind)
{
    const QString name = QLatin1String(kindName(kind));
    return reason == QLatin1String("-") ? name : reason + QLatin1Char('+') + name;
}

QByteArray OneShotFaults::garbled(const QByteArray &reply)
{
    QByteArray bytes = reply.left(reply.size() - 2);
    for (int i = KeptHeaderBytes; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(~bytes.at(i));
    // The inverse of the right check can never pass for it.
    appendCrc(&bytes);
    bytes[bytes.size() - 2] = static_cast<char>(~bytes.at(bytes.size() - 2));
    bytes[bytes.size() - 1] = static_cast<char>(~bytes.at(bytes.size() - 1));
    bytes.append(Junk, int(sizeof Junk - 1));
    return bytes;
}
