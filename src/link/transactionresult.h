#ifndef TRANSACTIONRESULT_H
#define TRANSACTIONRESULT_H

// Outcome of one parameter transfer with the sensor.
enum TransactionResult {
    ResultOk = 0,
    ResultNoContext = -1,      // no port open: nothing was sent
    ResultNoResponse = -2,     // the sensor did not answer in time
    ResultSlaveError = -3,     // exception reply, bad CRC, invalid data, OS error
    ResultCountMismatch = -4   // the reply carried another register count
};

// The outcome of one libmodbus request: n is what the call returned, err
// the errno it left.
TransactionResult classifyTransfer(int n, int requestedCount, int err);

#endif // TRANSACTIONRESULT_H
