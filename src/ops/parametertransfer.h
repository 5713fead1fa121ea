#ifndef PARAMETERTRANSFER_H
#define PARAMETERTRANSFER_H

#include "device/conversions.h"
#include "link/transactionresult.h"

#include <QVector>

class SensorLink;

// One parameter moved between the sensor and the program, with the retries
// of the link's timing. Run on the link's thread.

struct ParameterReading
{
    TransactionResult result = ResultNoContext;
    ReadValue value;    // the converted value, when result is ResultOk
};

ParameterReading readParameter(SensorLink &link, int slave, int id);
TransactionResult writeParameter(SensorLink &link, int slave, int id, const QVector<quint16> &words);

// Where a failed transfer left things, for the message that reports it.
struct TransferFailure
{
    TransactionResult result = ResultOk;
    int error = 0;       // errno of the failed request
    bool lineLost = false;

    bool failed() const { return result != ResultOk; }
    static TransferFailure from(TransactionResult result, const SensorLink &link);
};

#endif // PARAMETERTRANSFER_H
