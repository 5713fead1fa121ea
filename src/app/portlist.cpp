#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "qextserialenumerator.h"

#include <QLabel>
#include <QSettings>

int MainWindow::populatePortList()
{
    for (const QextPortInfo &port : QextSerialEnumerator::getPorts())
        ui->serialPortComboBox->addItem(port.friendName);

    QSettings settings;
    settings.beginGroup(QStringLiteral("serialConfig"));
    const QString storedPort = settings.value(QStringLiteral("serialInterface"), QString()).toString();
    settings.endGroup();

    // While a connection is open its port stays the selected one: a Write
    // all that changes the line re-opens the selected port, and an adapter
    // plugged in meanwhile must not send the rest of the configuration to
    // another device.
    const Qt::MatchFlags exactly = Qt::MatchExactly | Qt::MatchCaseSensitive;
    int selected = modbusContext ? ui->serialPortComboBox->findText(connectedPortName, exactly) : -1;
    if (selected < 0)
        selected = ui->serialPortComboBox->findText(storedPort, exactly);
    ui->serialPortComboBox->setCurrentIndex(selected >= 0 ? selected : 0);

    return QextSerialEnumerator::getPorts().size();
}

void MainWindow::onDeviceDiscoveredSlot(const QextPortInfo &portInfo)
{
    ui->serialPortComboBox->clear();
    populatePortList();
    setStatusIndicator(StatusColour::Good);
    statusLabel->setText(tr("Discovered device ") + portInfo.portName);
    schedulePartialReset(2000);
}

void MainWindow::onDeviceRemovedSlot(const QextPortInfo &portInfo)
{
    ui->serialPortComboBox->clear();
    if (populatePortList() >= 1) {
        setStatusIndicator(StatusColour::Good);
        statusLabel->setText(tr("Removed device ") + portInfo.portName);
    } else {
        setStatusIndicator(StatusColour::Bad);
        statusLabel->setText(tr("No device found"));
    }
    schedulePartialReset(2000);
}
