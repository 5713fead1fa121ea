#ifndef SENSORRESPONDER_H
#define SENSORRESPONDER_H

#include "modbusrequest.h"
#include "observedline.h"
#include "sensorregisters.h"

#include <QMap>
#include <QSet>
#include <QString>

// Misbehaviour to put on, for seeing how the program copes with a sensor
// that is slow, deaf or broken.
struct FaultOptions
{
    bool silent = false;                // never answer
    int answerFrom = 1;                 // answer only the Nth identical request in a row
    bool corruptReplyCrc = false;
    QMap<int, quint8> exceptionAt;      // register address -> exception code
    QMap<int, quint16> misreported;     // register address -> value its reads carry
    int silentFrom = 0;                 // frame number from which it stops answering; 0: never
    int silentUntil = 0;                // frame number from which it answers again; 0: never
    QSet<int> unkept;                   // configuration registers whose writes are acknowledged but lost

    bool silentAt(int frameNumber) const;
};

// What to do about one received frame.
struct ResponderDecision
{
    ModbusRequest request;
    QByteArray reply;           // empty: stay silent
    QString reason;             // "-" for a plain answer, else why (not) so

    bool answered() const { return !reply.isEmpty(); }
};

// The sensor's side of the protocol: decides, for each frame, whether the
// sensor would hear it, whether it is addressed to it, and what it answers.
// The transport (a pseudo-terminal) stays outside, so that the decisions
// can be driven with plain byte arrays.
class SensorResponder
{
public:
    SensorResponder(SensorRegisters *registers, const FaultOptions &faults);

    // frameNumber counts every frame on the line from 1, as the request log
    // does.
    ResponderDecision handleFrame(const QByteArray &frame, const ObservedLine &line, int frameNumber,
                                  double secondsSinceStart);
    // Call when the reply has left (or at once when there is none): changes
    // of node, line settings and a reset wait for it.
    void transactionDone();

    static QByteArray exceptionReply(int slave, int function, quint8 code);
    // Why no sensor takes up a frame that no sensor's node is addressed by
    // ("line-mismatch" when no sensor's line matches the master's,
    // "wrong-slave" when nothing else is wrong with it).
    static QString unclaimedReason(const QByteArray &frame, const ModbusRequest &request, bool anyLineMatches);

private:
    QByteArray execute(const ModbusRequest &request, double secondsSinceStart, QString *reason);
    bool waitsForMoreAttempts(const QByteArray &frame);
    QVector<quint16> keepingUnkept(const ModbusRequest &request) const;
    static QString frameFault(const QByteArray &frame, const ModbusRequest &request, bool lineMatches);

    SensorRegisters *registers;
    FaultOptions faults;
    QByteArray repeatedFrame;
    int repeatCount = 0;
};

#endif // SENSORRESPONDER_H
