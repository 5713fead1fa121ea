#include "transactionresult.h"

#include <cerrno>

TransactionResult classifyTransfer(int n, int requestedCount, int err)
{
    if (n == requestedCount)
        return ResultOk;
    if (n >= 0)
        return ResultCountMismatch;
    if (err == ETIMEDOUT || err == EIO)
        return ResultNoResponse;
    return ResultSlaveError;
}
