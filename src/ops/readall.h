#ifndef READALL_H
#define READALL_H

#include "parametertransfer.h"

#include <QString>
#include <QVector>

class ParameterForm;
class SensorLink;

// Read all: the sensor's identity, status and configuration into the form.
// run() does the transfers on the link's thread and touches no widget;
// finish() then shows what was read in the form and judges the outcome.
class ReadAll
{
public:
    enum class Verdict {
        Success,          // every value read, from a sensor the program knows
        TransferFailed,   // a transfer failed; the values before it are shown
        UnknownFirmware,  // the firmware is older than any this program knows
        UnknownLineCode   // a bit rate or framing code the form has no item for
    };

    struct Outcome
    {
        Verdict verdict = Verdict::TransferFailed;
        TransferFailure failure;
        quint32 firmwareVersion = 0;      // what the sensor reported
        bool firmwareRead = false;        // even when a later transfer failed
        QString unknownParameter;         // "BitRate" or "SerialConf"
        int unknownCode = 0;
        QVector<int> unshownIds;          // values whose widget class is not handled
    };

    // Reads at the slave address the form shows when the operation starts.
    explicit ReadAll(int slave) : slave(slave) {}

    void run(SensorLink &link);
    // Fills the form, enables its widgets by firmware and, on success,
    // stores the line the sensor answered at.
    Outcome finish(ParameterForm &form) const;

private:
    struct Reading
    {
        int id;
        ReadValue value;
    };

    int slave;
    QVector<Reading> readings;
    TransferFailure failure;
    quint32 firmwareVersion = 0;
};

#endif // READALL_H
