#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "device/conversions.h"
#include "device/parametertable.h"
#include "device/widgetvalue.h"
#include "link/commtiming.h"
#include "link/registertransfer.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "qextserialenumerator.h"

#include <QMessageBox>
#include <QSettings>

TransactionResult MainWindow::writeParameter(int id)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    QWidget *widget = parameterWidgets.value(id);

    const WidgetValue taken = takeFromWidget(widget, descriptor);
    if (taken.state == WidgetValue::Unmanaged) {
        warnUnmanagedWidget(id, Transfer::Write);
        return ResultNotSent;
    }
    QVector<quint16> words;
    if (taken.state == WidgetValue::Empty || !convertWrite(descriptor, taken.value, words))
        return ResultNotSent;

    QSettings settings;
    settings.beginGroup(QStringLiteral("serialConfig"));
    const int storedSlave = settings.value(QStringLiteral("slave"), ui->slaveSpinBox->value()).toInt();
    const int storedBitRate = settings.value(QStringLiteral("serialBitRate"), 1).toInt();
    const int storedFraming = settings.value(QStringLiteral("serialDataBitStopParity"), 0).toInt();
    const int formSlave = ui->slaveSpinBox->value();
    const int formBitRate = ui->bitRateComboBox->currentIndex();
    const int formFraming = ui->databitParityStopComboBox->currentIndex();

    // Writes go to the address at which the sensor answers now, which the
    // settings keep; the form's slave field may already show a new one.
    const TransactionResult result = transferWithRetries(modbusContext, CommTiming::load(), [&] {
        return writeRegisterBlock(modbusContext, storedSlave, descriptor.writeAddress,
                                  descriptor.registerCount(), words.constData());
    });
    if (result != ResultOk)
        return result;

    switch (id) {
    case IdNode:
        if (formSlave != storedSlave)
            settings.setValue(QStringLiteral("slave"), formSlave);
        break;
    case IdBitRate:
        if (formBitRate != storedBitRate) {
            // The sensor answers at the new bit rate from now on, whether or
            // not the line can be opened again: the stored settings follow it.
            settings.setValue(QStringLiteral("serialBitRate"), formBitRate);
            if (!reconnectSerialLine(formBitRate, storedFraming))
                return ResultNoContext;
        }
        break;
    case IdSerialConf:
        if (formFraming != storedFraming) {
            settings.setValue(QStringLiteral("serialDataBitStopParity"), formFraming);
            if (!reconnectSerialLine(storedBitRate, formFraming))
                return ResultNoContext;
        }
        break;
    default:
        break;
    }
    return ResultOk;
}

bool MainWindow::reconnectSerialLine(int bitRateIndex, int framingIndex)
{
    closeModbusContext();
    const QList<QextPortInfo> ports = QextSerialEnumerator::getPorts();
    const int portIndex = ui->serialPortComboBox->currentIndex();
    if (portIndex < 0 || portIndex >= ports.size())
        return false;
    return openModbusContext(ports.at(portIndex), bitRateIndex, framingIndex);
}

QStringList MainWindow::parametersWithoutValue(const QList<int> &ids) const
{
    QStringList names;
    for (int id : ids) {
        const ParameterDescriptor &descriptor = parameterDescriptor(id);
        if (takeFromWidget(parameterWidgets.value(id), descriptor).state == WidgetValue::Empty)
            names << QLatin1String(descriptor.name);
    }
    return names;
}

void MainWindow::writeAllSlot()
{
    QList<int> ids;
    for (int id : writeAllIds) {
        if (parameterDescriptor(id).isAvailable(firmwareVersion))
            ids << id;
    }

    // A field the form cannot fill (cleared at start, or left empty by a
    // Read all that stopped early) must not reach the sensor as a code the
    // user never saw: then nothing is sent at all.
    const QStringList empty = parametersWithoutValue(ids);
    if (!empty.isEmpty()) {
        QMessageBox::critical(this, tr("Nothing sent"),
                              tr("These parameters hold no value: %0.\nRead all or fill them in, then write again.")
                                      .arg(empty.join(QStringLiteral(", "))),
                              QMessageBox::Ok);
        return;
    }

    bool ok = true;
    for (int id : qAsConst(ids)) {
        const TransactionResult result = writeParameter(id);
        if (isTransactionFailure(result)) {
            reportTransactionError(this, result);
            return;
        }
        ok = ok && result == ResultOk;
    }

    statusLabel->setText(ok ? tr("Values successfully sent") : tr("Sending values failed"));
    setStatusIndicator(ok ? StatusColour::Good : StatusColour::Bad);
    resetParameterColours();
    scheduleTotalReset(2000);
}
