#include "transactionerror.h"
#include "transactionresult.h"

#include <QCoreApplication>

#include <modbus.h>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}
}

TransactionErrorMessage transactionErrorMessage(int result, int err)
{
    switch (result) {
    case ResultNoContext:
        return { tr("Connection failed"), tr("modbus object has not been initialized.") };
    case ResultNoResponse:
        if (err == EMBXGTAR)
            return { tr("I/O error"), tr("The sensor behind the gateway did not answer (exception 11).") };
        return { tr("I/O error"), tr("I/O error: did not receive any data from slave.") };
    case ResultSlaveError:
        if (err == EMBXGPATH)
            return { tr("Connection failed"),
                     tr("The gateway has no path to the sensor (exception 10): check the gateway's "
                        "routing of this address to its serial port.") };
        return { tr("Connection failed"),
                 tr("slave threw exception \"%0\" or function not implemented.")
                         .arg(QString::fromLocal8Bit(modbus_strerror(err))) };
    case ResultCountMismatch:
        return { tr("Protocol error"),
                 tr("number of registers returned does not match number of registers requested!") };
    default:
        return {};
    }
}
