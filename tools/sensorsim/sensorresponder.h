#ifndef SENSORRESPONDER_H
#define SENSORRESPONDER_H

#include "modbusrequest.h"
#include "observedline.h"
#include "sensorregisters.h"

#include <QMap>
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

    ResponderDecision handleFrame(const QByteArray &frame, const ObservedLine &line,
                                  double secondsSinceStart);
    // Call when the reply has left (or at once when there is none): changes
    // of node, line settings and a reset wait for it.
    void transactionDone();

    static QByteArray exceptionReply(int slave, int function, quint8 code);

private:
    QByteArray execute(const ModbusRequest &request, double secondsSinceStart, QString *reason);
    bool waitsForMoreAttempts(const QByteArray &frame);

    SensorRegisters *registers;
    FaultOptions faults;
    QByteArray repeatedFrame;
    int repeatCount = 0;
};

#endif // SENSORRESPONDER_H
