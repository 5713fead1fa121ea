#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "optionsdialog.h"
#include "qextserialenumerator.h"
#include "statusstyles.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindowClass)
{
    ui->setupUi(this);
    loadSettings();
    buildParameterWidgets();
    clearParameterWidgets();
    updateOpenCloseButtonStatus();

    portEnumerator = new QextSerialEnumerator();
    portEnumerator->setUpNotifications();

    statusIndicator = new QWidget;
    statusIndicator->setObjectName(QStringLiteral("statusIndicator"));
    statusIndicator->setFixedSize(16, 16);
    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(statusIndicator, 0);
    statusBar()->addWidget(statusLabel, 10);
    totalResetStatus();

    setUpPlots();

    connect(ui->actionOptions, SIGNAL(triggered()), this, SLOT(optionsSlot()));
    connect(ui->actionExit, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui->actionAbout, SIGNAL(triggered()), this, SLOT(aboutSlot()));
    connect(portEnumerator, SIGNAL(deviceDiscovered(QextPortInfo)), this, SLOT(onDeviceDiscoveredSlot(QextPortInfo)));
    connect(portEnumerator, SIGNAL(deviceRemoved(QextPortInfo)), this, SLOT(onDeviceRemovedSlot(QextPortInfo)));
    connect(ui->openClosePushButton, SIGNAL(clicked(bool)), this, SLOT(openCloseSlot(bool)));
    connect(ui->bitRateComboBox, SIGNAL(activated(int)), this, SLOT(updateOpenCloseButtonStatus()));
    connect(ui->databitParityStopComboBox, SIGNAL(activated(int)), this, SLOT(updateOpenCloseButtonStatus()));
    connect(ui->readAllPushButton, SIGNAL(clicked()), this, SLOT(readAllSlot()));
    connect(ui->writeAllPushButton, SIGNAL(clicked()), this, SLOT(writeAllSlot()));
    connect(ui->savePushButton, SIGNAL(clicked()), this, SLOT(saveSlot()));
    connect(ui->resetParamsPushButton, SIGNAL(clicked()), this, SLOT(resetParamsSlot()));
    connect(ui->readCheckBox, SIGNAL(toggled(bool)), this, SLOT(timedReading(bool)));
    connect(ui->readHorizontalSlider, SIGNAL(valueChanged(int)), ui->readSpinBox, SLOT(setValue(int)));
    connect(ui->readHorizontalSlider, SIGNAL(sliderReleased()), this, SLOT(updateTimingReading()));
    connect(ui->readSpinBox, SIGNAL(valueChanged(int)), ui->readHorizontalSlider, SLOT(setValue(int)));
    connect(ui->readSpinBox, SIGNAL(editingFinished()), this, SLOT(updateTimingReading()));

    setWindowTitle(tr("%0 - %1").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
}

MainWindow::~MainWindow()
{
    readingTimer.stop();
    closeModbusContext();
    delete portEnumerator;
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    event->accept();
}

void MainWindow::optionsSlot()
{
    {
        OptionsDialog dialog(this);
        dialog.exec();
    }
    applyTimingOptions();
}

void MainWindow::aboutSlot()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::setStatusIndicator(StatusColour colour)
{
    switch (colour) {
    case StatusColour::Idle: statusIndicator->setStyleSheet(StatusStyle::Idle); break;
    case StatusColour::Good: statusIndicator->setStyleSheet(StatusStyle::Good); break;
    case StatusColour::Bad: statusIndicator->setStyleSheet(StatusStyle::Bad); break;
    }
}

// A scheduled reset is never cancelled: every event schedules its own.
void MainWindow::scheduleTotalReset(int delayMs)
{
    QTimer::singleShot(delayMs, this, SLOT(totalResetStatus()));
}

void MainWindow::schedulePartialReset(int delayMs)
{
    QTimer::singleShot(delayMs, this, SLOT(partialResetStatus()));
}

void MainWindow::totalResetStatus()
{
    statusLabel->setText(tr("Ready"));
    setStatusIndicator(StatusColour::Idle);
}

void MainWindow::partialResetStatus()
{
    statusLabel->clear();
    setStatusIndicator(StatusColour::Idle);
}

void MainWindow::updateOpenCloseButtonStatus()
{
    ui->openClosePushButton->setEnabled(ui->bitRateComboBox->currentIndex() >= 0
                                        && ui->databitParityStopComboBox->currentIndex() >= 0);
}

void MainWindow::setCommandButtonsEnabled(bool enabled)
{
    ui->readAllPushButton->setEnabled(enabled);
    ui->writeAllPushButton->setEnabled(enabled);
    ui->savePushButton->setEnabled(enabled);
    ui->resetParamsPushButton->setEnabled(enabled);
}

void MainWindow::setAcquisitionControlsEnabled(bool enabled)
{
    ui->readCheckBox->setEnabled(enabled);
    ui->readHorizontalSlider->setEnabled(enabled);
    ui->readSpinBox->setEnabled(enabled);
    ui->tabWidget->setEnabled(enabled);
}
