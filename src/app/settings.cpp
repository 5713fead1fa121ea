#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "qextserialenumerator.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

void MainWindow::loadSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("window"));
    const QRect geometry = settings.value(QStringLiteral("geometry"), QRect()).toRect();
    settings.endGroup();
    if (geometry.isNull()) {
        // The window grows to what its layout needs when it is shown; centre
        // it at that size, or its lower part would run off a small screen.
        resize(size().expandedTo(minimumSizeHint()));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        move(screen.center() - rect().center());
    } else {
        setGeometry(geometry);
    }

    populatePortList();

    settings.beginGroup(QStringLiteral("serialConfig"));
    ui->slaveSpinBox->setValue(settings.value(QStringLiteral("slave"), 1).toInt());
    ui->bitRateComboBox->setCurrentIndex(settings.value(QStringLiteral("serialBitRate"), 1).toInt());
    ui->delaySpinBox->setValue(settings.value(QStringLiteral("serialDelay"), 1).toInt());
    ui->databitParityStopComboBox->setCurrentIndex(
            settings.value(QStringLiteral("serialDataBitStopParity"), 0).toInt());
    settings.endGroup();

    applyTimingOptions();
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("window"));
    settings.setValue(QStringLiteral("geometry"), geometry());
    settings.endGroup();

    const int portIndex = ui->serialPortComboBox->currentIndex();
    const QList<QextPortInfo> ports = QextSerialEnumerator::getPorts();
    if (!ports.isEmpty()) {
        settings.beginGroup(QStringLiteral("serialConfig"));
        // The port list may have changed since the combo box was filled;
        // only an entry of the fresh list is stored.
        if (portIndex >= 0 && portIndex < ports.size())
            settings.setValue(QStringLiteral("serialInterface"), ports.at(portIndex).friendName);
        settings.setValue(QStringLiteral("slave"), ui->slaveSpinBox->value());
        settings.setValue(QStringLiteral("serialBitRate"), ui->bitRateComboBox->currentIndex());
        settings.setValue(QStringLiteral("serialDelay"), ui->delaySpinBox->value());
        settings.setValue(QStringLiteral("serialDataBitStopParity"), ui->databitParityStopComboBox->currentIndex());
        settings.endGroup();
    }

    settings.beginGroup(QStringLiteral("userConfig"));
    settings.setValue(QStringLiteral("readTimer"), ui->readSpinBox->value());
    settings.endGroup();
}
