#include "registertransfer.h"

#include <cerrno>
#include <cstring>

namespace {
int lastError = 0;

TransactionResult finishRequest(int n, int count)
{
    const int err = errno;
    if (n < 0)
        lastError = err;
    return classifyTransfer(n, count, err);
}
}

int lastTransferError()
{
    return lastError;
}

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

TransactionResult readRegisterBlock(modbus_t *context, int slave, int address, int count, quint16 *buffer)
{
    if (!context)
        return ResultNoContext;
    std::memset(buffer, 0, RegisterBufferWords * sizeof(quint16));
    modbus_set_slave(context, slave);
    errno = 0;
    return finishRequest(modbus_read_registers(context, address, count, buffer), count);
}

TransactionResult writeRegisterBlock(modbus_t *context, int slave, int address, int count, const quint16 *buffer)
{
    if (!context)
        return ResultNoContext;
    modbus_set_slave(context, slave);
    errno = 0;
    return finishRequest(modbus_write_registers(context, address, count, buffer), count);
}

void setTransferTimeouts(modbus_t *context, int responseTimeoutMs, int byteTimeoutMs)
{
    modbus_set_response_timeout(context, uint32_t(responseTimeoutMs / 1000), uint32_t(responseTimeoutMs % 1000) * 1000);
    modbus_set_byte_timeout(context, uint32_t(byteTimeoutMs / 1000), uint32_t(byteTimeoutMs % 1000) * 1000);
}

TransactionResult transferWithRetries(modbus_t *context, const CommTiming &timing,
                                      const std::function<TransactionResult()> &attempt)
{
    int responseTimeoutMs = timing.requestTimeMs;
    int byteTimeoutMs = timing.responseTimeMs;
    const int attempts = qMax(1, timing.maxRetries);
    TransactionResult result = ResultNoContext;
    for (int i = 0; i < attempts; ++i) {
        if (context)
            setTransferTimeouts(context, responseTimeoutMs, byteTimeoutMs);
        result = attempt();
        if (result == ResultOk)
            break;
        responseTimeoutMs += timing.incrementalTimeMs;
        byteTimeoutMs += timing.incrementalTimeMs;
    }
    return result;
}
