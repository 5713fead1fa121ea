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

    const int stored = ui->serialPortComboBox->findText(storedPort, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ui->serialPortComboBox->setCurrentIndex(stored >= 0 ? stored : 0);

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
