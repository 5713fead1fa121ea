#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "device/parametertable.h"
#include "link/transactionerror.h"

#include <QSettings>

// After a complete Read all the form shows the sensor's own node address,
// bit rate and framing, and the sensor has just answered at them: they are
// where later writes must go. Without this, the first Write all of a fresh
// installation would address a node number the user has only typed in.
void MainWindow::storeSensorLine()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("serialConfig"));
    settings.setValue(QStringLiteral("slave"), ui->slaveSpinBox->value());
    settings.setValue(QStringLiteral("serialBitRate"), ui->bitRateComboBox->currentIndex());
    settings.setValue(QStringLiteral("serialDataBitStopParity"), ui->databitParityStopComboBox->currentIndex());
    settings.endGroup();
}

void MainWindow::readAllSlot()
{
    bool success = true;
    for (int id : readAllIds) {
        QVariant output;
        const TransactionResult result = readParameter(id, output);
        if (id == IdFWVersion)
            firmwareVersion = output.toUInt();
        if (isTransactionFailure(result)) {
            reportTransactionError(this, result);
            return;
        }
        success = success && result == ResultOk;
    }

    for (const ParameterDescriptor &descriptor : parameterTable) {
        QWidget *widget = parameterWidgets.value(descriptor.id);
        if (!descriptor.isAvailable(firmwareVersion)) {
            widget->setEnabled(false);
            continue;
        }
        widget->setEnabled(true);
        if (descriptor.id == IdConstPerPulse) {
            QVariant output;
            const TransactionResult result = readParameter(IdConstPerPulse, output);
            if (isTransactionFailure(result)) {
                reportTransactionError(this, result);
                return;
            }
            success = success && result == ResultOk;
        }
    }

    // From the last tab down, so that the lower positions stay valid. A
    // live value needs at least the firmware of those before it, so the
    // tabs left are always the first ones and a removed tab is not met again.
    for (int position = int(liveIds.size()) - 1; position >= 0; --position) {
        if (!parameterDescriptor(liveIds[size_t(position)]).isAvailable(firmwareVersion)
                && position < ui->tabWidget->count())
            ui->tabWidget->removeTab(position);
    }

    if (success)
        storeSensorLine();

    setAcquisitionControlsEnabled(success);
    ui->writeAllPushButton->setEnabled(success);
    setStatusIndicator(success ? StatusColour::Good : StatusColour::Bad);
    statusLabel->setText(success ? tr("Values successfully retrieved") : tr("Cannot retrieve correct values"));
    scheduleTotalReset(2000);
}
