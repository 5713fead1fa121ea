#ifndef WRITEPARAMETERS_H
#define WRITEPARAMETERS_H

#include "parametertransfer.h"

#include <QStringList>
#include <QVector>

class ParameterForm;
class SensorLink;

// Sends parameters from the form to the sensor: Write all, or one of the
// two commands (Save, Reset). The values are taken from the form when the
// operation is made, so run() touches no widget and can go to the link's
// thread.
//
// Writes go to the address and line the sensor answers at now, which the
// settings keep. When Node, BitRate or SerialConf changes on the sensor,
// the settings follow it as soon as it has acknowledged, and a new bit
// rate or framing re-opens the line to go on with the rest.
class WriteParameters
{
public:
    // The configuration parameters the firmware has.
    static WriteParameters writeAll(const ParameterForm &form, quint32 firmwareVersion);
    // The Save (IdNvParSave) or Reset (IdSWReset) command.
    static WriteParameters command(const ParameterForm &form, int id);

    // Parameters whose field holds no value; run() then sends nothing.
    const QStringList &emptyParameters() const { return empty; }
    bool hasNothingToSend() const { return values.isEmpty(); }
    // Parameters whose widget class the binding does not handle.
    const QVector<int> &unmanagedIds() const { return unmanaged; }

    void run(SensorLink &link);

    // After run(): what reached the sensor, and what stopped the rest.
    const QStringList &written() const { return writtenNames; }
    QStringList notWritten() const;
    const TransferFailure &failure() const { return failed; }

private:
    struct Value
    {
        int id;
        QVector<quint16> words;
        int formValue;     // the number the form shows (new node, line codes)
    };

    WriteParameters(const ParameterForm &form, const QVector<int> &ids);
    bool followLineChange(SensorLink &link, const Value &value);

    QVector<Value> values;
    QStringList empty;
    QVector<int> unmanaged;
    QStringList writtenNames;
    TransferFailure failed;
    int formSlave;
};

#endif // WRITEPARAMETERS_H
