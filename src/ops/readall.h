#ifndef READALL_H
#define READALL_H

#include "parametertransfer.h"

#include <QString>
#include <QVector>

class SensorLink;

// Read all: the sensor's identity, status and configuration. run() does the
// transfers on the link's thread; the outcome then goes to the line
// session, which keeps what was read.
class ReadAll
{
public:
    enum class Verdict {
        Success,          // every value read, from a sensor the program knows
        TransferFailed,   // a transfer failed; the values before it were read
        UnknownFirmware,  // the firmware is older than any this program knows
        UnknownLineCode   // a bit rate or framing code the form has no item for
    };

    struct Reading
    {
        int id;
        ReadValue value;
    };

    // Reads at the given slave address, taken when the operation starts.
    explicit ReadAll(int slave) : address(slave) {}

    void run(SensorLink &link);

    int slave() const { return address; }
    const QVector<Reading> &readings() const { return read; }
    const TransferFailure &failure() const { return failed; }
    // What the sensor reported, even when a later transfer failed; 0 when
    // it was not read.
    quint32 firmwareVersion() const { return firmware; }
    bool hasRead(int id) const;
    // The value of id as read; invalid when it was not.
    QVariant output(int id) const;

    Verdict verdict() const;
    // For UnknownLineCode: "BitRate" or "SerialConf", and the code.
    QString unknownParameter() const;
    int unknownCode() const;

private:
    int unknownLineCodeId() const;

    int address;
    QVector<Reading> read;
    TransferFailure failed;
    quint32 firmware = 0;
};

#endif // READALL_H
