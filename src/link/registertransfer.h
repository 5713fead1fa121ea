#ifndef REGISTERTRANSFER_H
#define REGISTERTRANSFER_H

#include "commtiming.h"
#include "transactionresult.h"

#include <QtGlobal>

#include <functional>
#include <modbus.h>

// Words of the buffer a read fills; no parameter fills more than two.
constexpr int RegisterBufferWords = 512;

// The outcome of one libmodbus request: n is what the call returned, err
// the errno it left.
TransactionResult classifyTransfer(int n, int requestedCount, int err);

// errno of the last failed request. Kept apart from errno itself, which
// whatever runs between the failure and its report may overwrite.
int lastTransferError();

TransactionResult readRegisterBlock(modbus_t *context, int slave, int address, int count, quint16 *buffer);
TransactionResult writeRegisterBlock(modbus_t *context, int slave, int address, int count, const quint16 *buffer);

// libmodbus 3.1 takes timeouts as seconds plus microseconds below a
// million; milliseconds are split into both.
void setTransferTimeouts(modbus_t *context, int responseTimeoutMs, int byteTimeoutMs);

// Runs attempt() until it succeeds or timing.maxRetries attempts are spent,
// setting the response and byte timeouts of the context before each attempt
// and growing both by the increment after every failed one. Returns the
// result of the last attempt.
TransactionResult transferWithRetries(modbus_t *context, const CommTiming &timing,
                                      const std::function<TransactionResult()> &attempt);

#endif // REGISTERTRANSFER_H
