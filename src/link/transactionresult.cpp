#include "transactionresult.h"

#include <cerrno>
#include <modbus.h>

TransactionResult classifyTransfer(int n, int requestedCount, int err)
{
    if (n == requestedCount)
        return ResultOk;
    if (n >= 0)
        return ResultCountMismatch;
    // Exception 11 is a gateway's word that the sensor behind it did not
    // answer: a silent sensor, as on a serial line.
    if (err == ETIMEDOUT || err == EIO || err == EMBXGTAR)
        return ResultNoResponse;
    return ResultSlaveError;
}
