#include "sensorresponder.h"

#include "modbuscrc.h"

namespace {
const int BroadcastAddress = 0;
const int ReadHoldingRegisters = 3;
const int WriteMultipleRegisters = 16;

void appendWord(QByteArray *frame, int word)
{
    frame->append(static_cast<char>((word >> 8) & 0xFF));
    frame->append(static_cast<char>(word & 0xFF));
}
}

bool FaultOptions::silentAt(int frameNumber) const
{
    return silent || (silentFrom > 0 && frameNumber >= silentFrom && (silentUntil <= 0 || frameNumber < silentUntil));
}

SensorResponder::SensorResponder(SensorRegisters *registers, const FaultOptions &faults)
    : registers(registers), faults(faults)
{
}

QByteArray SensorResponder::exceptionReply(int slave, int function, quint8 code)
{
    QByteArray reply;
    reply.append(static_cast<char>(slave));
    reply.append(static_cast<char>((function | 0x80) & 0xFF));
    reply.append(static_cast<char>(code));
    appendCrc(&reply);
    return reply;
}

bool SensorResponder::waitsForMoreAttempts(const QByteArray &frame)
{
    if (faults.answerFrom <= 1)
        return false;
    if (frame == repeatedFrame) {
        ++repeatCount;
    } else {
        repeatedFrame = frame;
        repeatCount = 1;
    }
    if (repeatCount < faults.answerFrom)
        return true;
    repeatedFrame.clear();
    repeatCount = 0;
    return false;
}

QString SensorResponder::frameFault(const QByteArray &frame, const ModbusRequest &request, bool lineMatches)
{
    // On a real wire a master at the wrong bit rate or framing produces
    // garbage that the sensor cannot even recognise as a frame.
    if (!lineMatches)
        return QStringLiteral("line-mismatch");
    if (!ModbusRequest::isComplete(frame))
        return QStringLiteral("incomplete");
    if (!hasValidCrc(frame))
        return QStringLiteral("bad-crc");
    if (request.slave == BroadcastAddress)
        return QStringLiteral("broadcast");
    return QString();
}

QString SensorResponder::unclaimedReason(const QByteArray &frame, const ModbusRequest &request, bool anyLineMatches)
{
    const QString fault = frameFault(frame, request, anyLineMatches);
    return fault.isEmpty() ? QStringLiteral("wrong-slave") : fault;
}

ResponderDecision SensorResponder::handleFrame(const QByteArray &frame, const ObservedLine &line, int frameNumber,
                                               double secondsSinceStart)
{
    ResponderDecision decision;
    decision.request = ModbusRequest::parse(frame);
    const LinkSettings &link = registers->link();

    decision.reason = frameFault(frame, decision.request, lineMatches(line, link.bitRateCode, link.serialConfCode));
    if (decision.reason.isEmpty() && decision.request.slave != link.node)
        decision.reason = QStringLiteral("wrong-slave");
    if (decision.reason.isEmpty() && faults.silentAt(frameNumber))
        decision.reason = QStringLiteral("silent");
    if (decision.reason.isEmpty() && waitsForMoreAttempts(frame))
        decision.reason = QStringLiteral("waiting-attempt");
    if (!decision.reason.isEmpty())
        return decision;

    decision.reason = QStringLiteral("-");
    decision.reply = execute(decision.request, secondsSinceStart, &decision.reason);
    if (faults.corruptReplyCrc) {
        decision.reply[decision.reply.size() - 1] = static_cast<char>(decision.reply.at(decision.reply.size() - 1) ^ 0x5A);
        decision.reason = QStringLiteral("corrupted-crc");
    }
    return decision;
}

QByteArray SensorResponder::execute(const ModbusRequest &request, double secondsSinceStart,
                                    QString *reason)
{
    const auto fail = [&](quint8 code) {
        *reason = QStringLiteral("exception-%1").arg(code);
        return exceptionReply(request.slave, request.function, code);
    };

    if (request.function != ReadHoldingRegisters && request.function != WriteMultipleRegisters)
        return fail(IllegalFunction);

    for (auto it = faults.exceptionAt.cbegin(); it != faults.exceptionAt.cend(); ++it) {
        if (it.key() >= request.address && it.key() < request.address + qMax(request.count, 1))
            return fail(it.value());
    }

    QByteArray reply;
    reply.append(static_cast<char>(request.slave));
    reply.append(static_cast<char>(request.function));
    if (request.function == ReadHoldingRegisters) {
        QVector<quint16> words;
        const ModbusException result = registers->read(request.address, request.count, secondsSinceStart, &words);
        if (result != NoException)
            return fail(result);
        for (int i = 0; i < words.size(); ++i)
            words[i] = faults.misreported.value(request.address + i, words.at(i));
        reply.append(static_cast<char>(words.size() * 2));
        for (quint16 word : words)
            appendWord(&reply, word);
    } else {
        if (request.byteCount != request.count * 2 || request.values.size() != request.count)
            return fail(IllegalDataValue);
        const ModbusException result = registers->write(request.address, keepingUnkept(request));
        if (result != NoException)
            return fail(result);
        appendWord(&reply, request.address);
        appendWord(&reply, request.count);
    }
    appendCrc(&reply);
    return reply;
}

// The values to write with those of unkept registers replaced by what the
// registers hold, so that the write goes through, Save included, and leaves
// them as they were. A value the sensor would refuse stays, to be refused.
QVector<quint16> SensorResponder::keepingUnkept(const ModbusRequest &request) const
{
    QVector<quint16> words = request.values;
    for (int i = 0; i < words.size(); ++i) {
        const int address = request.address + i;
        if (faults.unkept.contains(address) && SensorConfiguration::isAcceptable(address, words.at(i)))
            registers->configuration().registerValue(address, &words[i]);
    }
    return words;
}

void SensorResponder::transactionDone()
{
    registers->finishTransaction();
}
