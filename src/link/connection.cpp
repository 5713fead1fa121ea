#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "device/parametertable.h"
#include "qextserialenumerator.h"
#include "serialline.h"

#include <QMessageBox>

bool MainWindow::openModbusContext(const QextPortInfo &port, int bitRateCode, int framingCode)
{
    closeModbusContext();
    connectedPortName = port.friendName;
    const QString device = serialDeviceName(port);
    if (!isValidBitRateCode(bitRateCode) || !isValidFramingCode(framingCode))
        return false;
    const LineSettings line = lineSettingsForCodes(bitRateCode, framingCode);
    modbusContext = modbus_new_rtu(device.toLocal8Bit().constData(), line.baud, line.parity,
                                   line.dataBits, line.stopBits);
    if (!modbusContext)
        return false;
    if (modbus_connect(modbusContext) == -1) {
        // A context that never connected is of no use to anyone.
        modbus_free(modbusContext);
        modbusContext = nullptr;
        return false;
    }
    return true;
}

void MainWindow::closeModbusContext()
{
    if (!modbusContext)
        return;
    modbus_close(modbusContext);
    modbus_free(modbusContext);
    modbusContext = nullptr;
}

void MainWindow::openCloseSlot(bool open)
{
    if (open) {
        const QList<QextPortInfo> ports = QextSerialEnumerator::getPorts();
        const int bitRateIndex = ui->bitRateComboBox->currentIndex();
        const int framingIndex = ui->databitParityStopComboBox->currentIndex();
        const int portIndex = ui->serialPortComboBox->currentIndex();
        QString failureTitle;
        QString failureText;
        if (ports.isEmpty()) {
            failureTitle = tr("No serial port found");
            failureText = tr("Could not find any serial port on this computer!");
        } else if (portIndex < 0 || portIndex >= ports.size()
                   || !isValidBitRateCode(bitRateIndex) || !isValidFramingCode(framingIndex)) {
            // The port list may have changed since the combo box was filled,
            // or a line setting has no item: nothing is opened blindly.
            failureTitle = tr("Connection failed");
            failureText = tr("Choose a serial port, a bit rate and a serial configuration before opening the port.");
        } else if (!openModbusContext(ports.at(portIndex), bitRateIndex, framingIndex)) {
            failureTitle = tr("Connection failed");
            failureText = tr("Could not connect serial port!");
        }
        if (failureTitle.isEmpty()) {
            setOpenedState();
        } else {
            ui->openClosePushButton->setChecked(false);
            setCommandButtonsEnabled(false);
            setAcquisitionControlsEnabled(false);
            QMessageBox::critical(this, failureTitle, failureText, QMessageBox::Ok);
        }
    } else {
        closeModbusContext();
        readingTimer.stop();
        setCommandButtonsEnabled(false);
        ui->readCheckBox->setChecked(false);
        setAcquisitionControlsEnabled(false);
        ui->openClosePushButton->setText(tr("Open COM Port"));
        ui->openClosePushButton->setIcon(QIcon(QStringLiteral(":/Images/opencom.png")));
    }
    resetParameterColours();
}

void MainWindow::setOpenedState()
{
    ui->openClosePushButton->setText(tr("Close COM Port"));
    ui->readAllPushButton->setEnabled(true);
    ui->writeAllPushButton->setEnabled(ui->bitRateComboBox->currentIndex() >= 0
                                       && ui->databitParityStopComboBox->currentIndex() >= 0);
    ui->savePushButton->setEnabled(true);
    ui->resetParamsPushButton->setEnabled(true);
    setAcquisitionControlsEnabled(firmwareKnown(firmwareVersion));
    ui->openClosePushButton->setIcon(QIcon(QStringLiteral(":/Images/closecom.png")));
}
