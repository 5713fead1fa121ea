#include "mainwindow.h"

#include "device/parametertable.h"
#include "link/transactionerror.h"

#include <QLabel>

void MainWindow::saveSlot()
{
    resetParameterColours();
    sendCommand(IdNvParSave, 2000);
}

void MainWindow::resetParamsSlot()
{
    resetParameterColours();
    sendCommand(IdSWReset, 6000);
}

void MainWindow::sendCommand(int id, int delay)
{
    const TransactionResult result = writeParameter(id);
    if (isTransactionFailure(result)) {
        reportTransactionError(this, result);
        return;
    }
    const bool ok = result == ResultOk;
    statusLabel->setText(ok ? tr("Values successfully sent") : tr("Sending values failed"));
    setStatusIndicator(ok ? StatusColour::Good : StatusColour::Bad);
    scheduleTotalReset(delay);
}
