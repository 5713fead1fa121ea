#ifndef WRITEPARAMETERS_H
#define WRITEPARAMETERS_H

#include "device/sensorvalue.h"
#include "parametertransfer.h"
#include "sensoraddress.h"

#include <QStringList>
#include <QVector>

#include <functional>

class SensorLink;

// Sends parameters to the sensor: Write all, or one of the two commands
// (Save, Reset). The values are taken when the operation is made, so run()
// can go to the link's thread.
//
// Writes go to the address and line the sensor answers at. When Node,
// BitRate or SerialConf changes on the sensor, the writes that follow go
// to the new address, and a new bit rate or framing re-opens the line. When
// the acknowledgement of such a change is lost, the sensor is asked at the
// new address or line and then at the old one, and the one it answers at is
// followed: the reply may have been lost after the sensor took the value.
class WriteParameters
{
public:
    using ValueOf = std::function<SensorValue(int id)>;

    // The configuration parameters the firmware has. Only values read from
    // this sensor or set by the user are sent.
    static WriteParameters writeAll(const ValueOf &valueOf, quint32 firmwareVersion, const SensorAddress &at);
    // The Save (IdNvParSave) or Reset (IdSWReset) command.
    static WriteParameters command(int id, const SensorAddress &at);

    // Parameters whose value is not known; run() then sends nothing.
    const QStringList &unknownParameters() const { return unknown; }
    bool hasNothingToSend() const { return values.isEmpty(); }

    void run(SensorLink &link);

    // After run(): what reached the sensor, and what stopped the rest.
    const QStringList &written() const { return writtenNames; }
    const QVector<int> &writtenIds() const { return writtenIdList; }
    QStringList notWritten() const;
    const TransferFailure &failure() const { return failed; }
    // Where the sensor answers now, and whether it answered at all.
    const SensorAddress &address() const { return current; }
    bool sensorAnswered() const { return answered; }
    // Which address or line the sensor answered at after a lost
    // acknowledgement; empty when none was lost.
    const QString &lostAcknowledgement() const { return lostAckNote; }

private:
    struct Value
    {
        int id;
        QVector<quint16> words;
        int number;     // the value as the form shows it (new node, line codes)
    };

    WriteParameters(const ValueOf &valueOf, const QVector<int> &ids, const SensorAddress &at);
    static SensorAddress movedBy(const SensorAddress &from, const Value &value);
    bool answersAt(SensorLink &link, const SensorAddress &at);
    bool followMove(SensorLink &link, const SensorAddress &to);
    bool settleLostAcknowledgement(SensorLink &link, const Value &value, const SensorAddress &moved);

    QVector<Value> values;
    QStringList unknown;
    QStringList writtenNames;
    QVector<int> writtenIdList;
    TransferFailure failed;
    SensorAddress current;
    QString device;       // the port the line is on, kept through re-openings
    bool answered = false;
    QString lostAckNote;
};

#endif // WRITEPARAMETERS_H
