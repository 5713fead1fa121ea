#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "conversions.h"
#include "link/commtiming.h"
#include "link/registertransfer.h"
#include "widgetvalue.h"

#include <QMessageBox>

void MainWindow::buildParameterWidgets()
{
    QWidget *const widgets[ParameterCount] = {
        ui->serialNumberSpinBox,
        ui->FWVersionLineEdit,
        ui->factoryCalibrationLineEdit,
        ui->notVolatileParLineEdit,
        ui->digitalInputLineEdit,
        ui->PT100StatusLineEdit,
        ui->analogicOutputStatusLineEdit,
        ui->watchdogLineEdit,
        ui->slaveSpinBox,
        ui->bitRateComboBox,
        ui->databitParityStopComboBox,
        ui->delaySpinBox,
        ui->analogicOutputModeComboBox,
        ui->analogicOutputSelectionComboBox,
        ui->PT100ReadingEnableCheckBox,
        ui->constantPerPulseDoubleSpinBox,
        ui->savePushButton,
        ui->resetParamsPushButton,
        ui->irradianceSpinBox,
        ui->PT100TempDoubleSpinBox,
        ui->speedDoubleSpinBox,
    };
    for (const ParameterDescriptor &descriptor : parameterTable)
        parameterWidgets.insert(descriptor.id, widgets[descriptor.id]);
}

TransactionResult MainWindow::readParameter(int id, QVariant &output)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    QPalette palette = this->palette();

    quint16 words[RegisterBufferWords];
    const TransactionResult result = transferWithRetries(modbusContext, CommTiming::load(), [&] {
        // Reads go to the address the form shows, taken anew at every attempt.
        return readRegisterBlock(modbusContext, ui->slaveSpinBox->value(), descriptor.readAddress,
                                 descriptor.registerCount(), words);
    });
    if (result != ResultOk)
        return result;

    const ReadValue value = convertRead(descriptor, words);
    output = value.output;
    if (value.hasColour)
        palette.setBrush(QPalette::Active, QPalette::Base, QBrush(value.colour));

    QWidget *widget = parameterWidgets.value(id);
    if (!showInWidget(widget, value.display)) {
        warnUnmanagedWidget(id, Transfer::Read);
        return ResultOk;
    }
    widget->setPalette(palette);
    return ResultOk;
}

void MainWindow::clearParameterWidgets()
{
    for (int id : clearedAtStartIds)
        clearWidget(parameterWidgets.value(id));
}

void MainWindow::resetParameterColours()
{
    for (QWidget *widget : qAsConst(parameterWidgets))
        widget->setPalette(palette());
}

void MainWindow::warnUnmanagedWidget(int id, Transfer transfer)
{
    const QString text = transfer == Transfer::Read ? tr("%0 parameter has not been read for widget class %1")
                                                    : tr("%0 parameter has not been written for widget class %1");
    QMessageBox::warning(this, tr("Unmanaged case"),
                         text.arg(QLatin1String(parameterDescriptor(id).name),
                                  QLatin1String(parameterWidgets.value(id)->metaObject()->className())),
                         QMessageBox::Ok);
}
