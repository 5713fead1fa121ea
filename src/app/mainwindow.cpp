#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "acq/liveplots.h"
#include "acq/readingperiod.h"
#include "acq/timedreading.h"
#include "acq/useroptions.h"
#include "device/parameterform.h"
#include "link/commtiming.h"
#include "link/linkthread.h"
#include "link/openfailure.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
#include "link/seriallinesettings.h"
#include "link/transactionerror.h"
#include "ops/readall.h"
#include "ops/writeparameters.h"
#include "findsensordialog.h"
#include "optionsdialog.h"
#include "portlist.h"
#include "ports/serialportenumerator.h"
#include "statusdisplay.h"
#include "windowgeometry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>

#include <memory>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindowClass)
{
    ui->setupUi(this);
    form.reset(new ParameterForm(this));
    portList.reset(new PortList(ui->serialPortComboBox));
    loadSettings();
    form->clear();
    updateOpenCloseButtonStatus();

    portEnumerator = new SerialPortEnumerator(this);
    portEnumerator->setUpNotifications();

    status = new StatusDisplay(statusBar());
    plots.reset(new LivePlots(ui->tabWidget, { ui->irradianceQwtPlot, ui->temperatureQwtPlot, ui->speedQwtPlot }));
    link = new LinkThread(this);
    reading = new TimedReading(link, plots.get(), this);

    connectSignals();
    setWindowTitle(tr("%0 - %1").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
}

MainWindow::~MainWindow()
{
    // The line's thread ends after the attempt under way; the timed reading
    // and the link go before the form they report to.
    delete reading;
    delete link;
    if (operationRunning)
        QApplication::restoreOverrideCursor();
    delete ui;
}

void MainWindow::connectSignals()
{
    connect(ui->actionFindSensor, SIGNAL(triggered()), this, SLOT(findSensorSlot()));
    connect(ui->actionOptions, SIGNAL(triggered()), this, SLOT(optionsSlot()));
    connect(ui->actionExit, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui->actionAbout, SIGNAL(triggered()), this, SLOT(aboutSlot()));
    connect(portEnumerator, SIGNAL(deviceDiscovered(SerialPortInfo)), this, SLOT(onDeviceDiscoveredSlot(SerialPortInfo)));
    connect(portEnumerator, SIGNAL(deviceRemoved(SerialPortInfo)), this, SLOT(onDeviceRemovedSlot(SerialPortInfo)));
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

    connect(reading, &TimedReading::startFailed, this, [this](const TransferFailure &failure) {
        ui->readCheckBox->setChecked(false);
        reportTransferFailure(failure);
    });
    connect(reading, &TimedReading::logFailed, this, [this](const QString &fileName) {
        ui->readCheckBox->setChecked(false);
        QMessageBox::critical(this, tr("Output file error"), tr("It's impossible to write to %0").arg(fileName),
                              QMessageBox::Ok);
    });
    connect(reading, &TimedReading::tickFailed, this, [this](const TransferFailure &failure) {
        reportTransferFailure(failure);
    });
    connect(reading, &TimedReading::ticked, this, [this](int periodMs) {
        status->setColour(StatusDisplay::Colour::Good);
        status->schedulePartialReset(tickFlashMs(periodMs));
    });
    connect(reading, &TimedReading::lineLost, this, &MainWindow::pauseForLostPort);
}

bool MainWindow::isTimedReadingActive() const
{
    return reading->isActive();
}

bool MainWindow::isBusy() const
{
    return link->isBusy();
}

QString MainWindow::currentLogFileName() const
{
    return reading->isActive() ? reading->logFileName() : QString();
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

void MainWindow::findSensorSlot()
{
    SerialPortInfo port;
    if (!portList->selectedPort(&port) || operationRunning)
        return;
    // The search needs the line to itself: an open port is closed first,
    // which also stops a timed reading.
    const bool wasOpen = connectionOpen;
    const SerialPortInfo previousPort = openPortInfo;
    if (wasOpen) {
        closePort();
        form->resetColours();
    }
    FindSensorDialog dialog(link, port.device(), SerialLineSettings::load(), CommTiming::load(), this);
    if (dialog.exec() != QDialog::Accepted) {
        // Left as it was: a port open before the search is open again.
        if (wasOpen) {
            ui->openClosePushButton->setChecked(true);
            openPort(previousPort, openBitRateCode, openFramingCode);
        }
        return;
    }
    const FoundSensor &found = dialog.chosenSensor();
    useFoundSensor(port, found.slave, found.bitRateCode, found.framingCode);
}

void MainWindow::useFoundSensor(const SerialPortInfo &port, int slave, int bitRateCode, int framingCode)
{
    ui->slaveSpinBox->setValue(slave);
    ui->bitRateComboBox->setCurrentIndex(bitRateCode);
    ui->databitParityStopComboBox->setCurrentIndex(framingCode);
    updateOpenCloseButtonStatus();
    SerialLineSettings line = SerialLineSettings::load();
    line.port = port.friendName;
    line.slave = slave;
    line.bitRateCode = bitRateCode;
    line.framingCode = framingCode;
    line.save();
    ui->openClosePushButton->setChecked(true);
    // Read all follows once the port is open.
    pendingReadAll = true;
    openPort(port, bitRateCode, framingCode);
}

void MainWindow::aboutSlot()
{
    AboutDialog dialog(this);
    dialog.exec();
}

// ---- Settings

void MainWindow::loadSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("window"));
    const QRect stored = settings.value(QStringLiteral("geometry"), QRect()).toRect();
    settings.endGroup();
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    // The window grows to what its layout needs when it is shown; it is
    // centred at that size, or its lower part would run off a small screen.
    setGeometry(startGeometry(stored, size().expandedTo(minimumSizeHint()),
                              QGuiApplication::primaryScreen()->geometry(), areas));

    const SerialLineSettings line = SerialLineSettings::load();
    rebuildPortList();
    ui->slaveSpinBox->setValue(line.slave);
    ui->bitRateComboBox->setCurrentIndex(line.bitRateCode);
    ui->delaySpinBox->setValue(line.delay);
    ui->databitParityStopComboBox->setCurrentIndex(line.framingCode);

    applyTimingOptions();
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("window"));
    settings.setValue(QStringLiteral("geometry"), geometry());
    settings.endGroup();

    // With no port present the stored line is kept for the next run.
    if (!portList->isEmpty()) {
        SerialLineSettings line = SerialLineSettings::load();
        SerialPortInfo port;
        if (portList->selectedPort(&port))
            line.port = port.friendName;
        line.slave = ui->slaveSpinBox->value();
        if (isValidBitRateCode(ui->bitRateComboBox->currentIndex()))
            line.bitRateCode = ui->bitRateComboBox->currentIndex();
        line.delay = ui->delaySpinBox->value();
        if (isValidFramingCode(ui->databitParityStopComboBox->currentIndex()))
            line.framingCode = ui->databitParityStopComboBox->currentIndex();
        line.save();
    }

    settings.beginGroup(QStringLiteral("userConfig"));
    settings.setValue(QStringLiteral("readTimer"), ui->readSpinBox->value());
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        reportSettingsNotWritten();
}

void MainWindow::reportSettingsNotWritten()
{
    if (settingsErrorReported)
        return;
    settingsErrorReported = true;
    QMessageBox::warning(this, tr("Settings not saved"),
                         tr("The settings could not be written to %0.\nThe line settings and options of this "
                            "session will be lost when the program ends.").arg(QSettings().fileName()),
                         QMessageBox::Ok);
}

void MainWindow::applyTimingOptions()
{
    const CommTiming timing = CommTiming::load();
    const UserOptions options = UserOptions::load();

    if (firmwareKnown(firmwareVersion)) {
        if (parameterDescriptor(IdTemp).isAvailable(firmwareVersion))
            ui->PT100TempDoubleSpinBox->setDecimals(options.temperaturePrecision);
        if (parameterDescriptor(IdSpeed).isAvailable(firmwareVersion))
            ui->speedDoubleSpinBox->setDecimals(options.speedPrecision);
    }

    const int minimumReadingPeriod = minimumReadingPeriodMs(timing, firmwareVersion);
    ui->readSpinBox->setRange(minimumReadingPeriod, options.maxReadTime);
    ui->readSpinBox->setValue(options.readTimer);
    ui->readHorizontalSlider->setRange(minimumReadingPeriod, options.maxReadTime);
    ui->readHorizontalSlider->setValue(options.readTimer);
}

// ---- Ports

int MainWindow::rebuildPortList()
{
    // While a line is open its port stays the selected one: a Write all
    // that changes the line re-opens that port, and an adapter plugged in
    // meanwhile must not take its place.
    const QString keep = connectionOpen || waitingForPort ? openPortInfo.identity : QString();
    const int count = portList->rebuild(keep, SerialLineSettings::load().port);
    ui->actionFindSensor->setEnabled(count > 0);
    return count;
}

void MainWindow::onDeviceDiscoveredSlot(const SerialPortInfo &portInfo)
{
    rebuildPortList();
    status->show(StatusDisplay::Colour::Good, tr("Discovered device ") + portInfo.portName);
    status->schedulePartialReset(2000);
    if (waitingForPort && portInfo.identity == openPortInfo.identity)
        reopenReturningPort(portInfo);
}

void MainWindow::onDeviceRemovedSlot(const SerialPortInfo &portInfo)
{
    if (rebuildPortList() >= 1)
        status->show(StatusDisplay::Colour::Good, tr("Removed device ") + portInfo.portName);
    else
        status->show(StatusDisplay::Colour::Bad, tr("No device found"));
    status->schedulePartialReset(2000);
    // Without a run the connection stays as it is; the next transfer tells.
    if (connectionOpen && reading->state() == TimedReading::State::Running
            && portInfo.identity == openPortInfo.identity)
        pauseForLostPort();
}

void MainWindow::pauseForLostPort()
{
    if (waitingForPort)
        return;
    waitingForPort = true;
    reading->pause();
    link->cancel();
    link->run([](SensorLink &line) { line.close(); });
    status->setLastingMessage(tr("%0 was unplugged: the reading is paused until it is back.")
                                      .arg(openPortInfo.portName));
}

void MainWindow::reopenReturningPort(const SerialPortInfo &port)
{
    const QString device = port.device();
    const int bitRateCode = openBitRateCode;
    const int framingCode = openFramingCode;
    auto opened = std::make_shared<bool>(false);
    link->run([device, bitRateCode, framingCode, opened](SensorLink &line) {
        *opened = line.open(device, bitRateCode, framingCode);
    }, [this, port, opened] {
        if (!waitingForPort || !*opened)
            return;
        waitingForPort = false;
        openPortInfo = port;
        status->setLastingMessage(QString());
        status->show(StatusDisplay::Colour::Good, tr("%0 is back: the reading goes on.").arg(port.portName));
        status->schedulePartialReset(2000);
        reading->resume();
    });
}

// ---- Connection

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

void MainWindow::openCloseSlot(bool open)
{
    if (!open) {
        closePort();
        form->resetColours();
        return;
    }
    SerialPortInfo port;
    const int bitRateCode = ui->bitRateComboBox->currentIndex();
    const int framingCode = ui->databitParityStopComboBox->currentIndex();
    QString failureTitle;
    QString failureText;
    if (portList->isEmpty()) {
        failureTitle = tr("No serial port found");
        failureText = tr("Could not find any serial port on this computer!");
    } else if (!portList->selectedPort(&port) || !isValidBitRateCode(bitRateCode)
               || !isValidFramingCode(framingCode)) {
        failureTitle = tr("Connection failed");
        failureText = tr("Choose a serial port, a bit rate and a serial configuration before opening the port.");
    }
    if (!failureTitle.isEmpty()) {
        setClosedState();
        form->resetColours();
        QMessageBox::critical(this, failureTitle, failureText, QMessageBox::Ok);
        return;
    }
    openPort(port, bitRateCode, framingCode);
}

void MainWindow::openPort(const SerialPortInfo &port, int bitRateCode, int framingCode)
{
    if (!beginOperation()) {
        ui->openClosePushButton->setChecked(connectionOpen);
        pendingReadAll = false;
        return;
    }
    const QString device = port.device();
    auto opened = std::make_shared<bool>(false);
    auto error = std::make_shared<int>(0);
    link->run([device, bitRateCode, framingCode, opened, error](SensorLink &line) {
        *opened = line.open(device, bitRateCode, framingCode);
        *error = line.openError();
    }, [this, port, device, bitRateCode, framingCode, opened, error] {
        endOperation();
        const bool readNext = pendingReadAll;
        pendingReadAll = false;
        if (*opened) {
            connectionOpen = true;
            openPortInfo = port;
            openBitRateCode = bitRateCode;
            openFramingCode = framingCode;
            setOpenedState();
            form->resetColours();
            if (readNext)
                readAllSlot();
            return;
        }
        setClosedState();
        form->resetColours();
        QString text = tr("Could not connect serial port!");
        if (*error != 0)
            text += QStringLiteral("\n\n") + openFailureReason(*error, device);
        QMessageBox::critical(this, tr("Connection failed"), text, QMessageBox::Ok);
    });
}

void MainWindow::closePort()
{
    connectionOpen = false;
    waitingForPort = false;
    status->setLastingMessage(QString());
    reading->stop();
    // A transfer under way gives up after its current attempt; its outcome
    // is not shown, as the port is closed.
    link->cancel();
    link->run([](SensorLink &line) { line.close(); });
    setClosedState();
}

void MainWindow::setOpenedState()
{
    ui->openClosePushButton->setChecked(true);
    ui->openClosePushButton->setText(tr("Close COM Port"));
    ui->readAllPushButton->setEnabled(true);
    ui->writeAllPushButton->setEnabled(ui->bitRateComboBox->currentIndex() >= 0
                                       && ui->databitParityStopComboBox->currentIndex() >= 0);
    ui->savePushButton->setEnabled(true);
    ui->resetParamsPushButton->setEnabled(true);
    setAcquisitionControlsEnabled(firmwareKnown(firmwareVersion));
    ui->openClosePushButton->setIcon(QIcon(QStringLiteral(":/Images/closecom.png")));
}

void MainWindow::setClosedState()
{
    ui->openClosePushButton->setChecked(false);
    setCommandButtonsEnabled(false);
    // Unchecking ends a timed reading that is still on.
    ui->readCheckBox->setChecked(false);
    setAcquisitionControlsEnabled(false);
    ui->openClosePushButton->setText(tr("Open COM Port"));
    ui->openClosePushButton->setIcon(QIcon(QStringLiteral(":/Images/opencom.png")));
}

// ---- Operations

bool MainWindow::beginOperation()
{
    if (link->isBusy() || operationRunning)
        return false;
    operationRunning = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    return true;
}

void MainWindow::endOperation()
{
    operationRunning = false;
    QApplication::restoreOverrideCursor();
}

void MainWindow::reportTransferFailure(const TransferFailure &failure, const QString &detail)
{
    const TransactionErrorMessage message = transactionErrorMessage(failure.result, failure.error);
    QMessageBox::critical(this, message.title, message.text + detail, QMessageBox::Ok);
}

void MainWindow::warnUnmanagedWidget(int id, bool reading)
{
    const QString text = reading ? tr("%0 parameter has not been read for widget class %1")
                                 : tr("%0 parameter has not been written for widget class %1");
    QMessageBox::warning(this, tr("Unmanaged case"),
                         text.arg(QLatin1String(parameterDescriptor(id).name),
                                  QLatin1String(form->widget(id)->metaObject()->className())),
                         QMessageBox::Ok);
}

void MainWindow::readAllSlot()
{
    if (!beginOperation())
        return;
    auto operation = std::make_shared<ReadAll>(ui->slaveSpinBox->value());
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation] {
        endOperation();
        if (!connectionOpen)
            return;
        const ReadAll::Outcome outcome = operation->finish(*form);
        for (int id : outcome.unshownIds)
            warnUnmanagedWidget(id, true);
        // The firmware decides what Write all sends, also after a run that
        // failed later on.
        if (outcome.firmwareRead)
            firmwareVersion = outcome.firmwareVersion;
        if (outcome.verdict == ReadAll::Verdict::TransferFailed) {
            reportTransferFailure(outcome.failure);
            return;
        }
        plots->showTabsFor(firmwareVersion);
        const bool success = outcome.verdict == ReadAll::Verdict::Success;
        setAcquisitionControlsEnabled(success);
        ui->writeAllPushButton->setEnabled(success);
        status->show(success ? StatusDisplay::Colour::Good : StatusDisplay::Colour::Bad,
                     success ? tr("Values successfully retrieved") : tr("Cannot retrieve correct values"));
        status->scheduleTotalReset(2000);
        if (outcome.verdict == ReadAll::Verdict::UnknownFirmware) {
            QMessageBox::warning(this, tr("Unknown sensor"),
                                 tr("The sensor reports firmware version 0x%0, older than any this program "
                                    "knows. Its values are shown, but none can be written or logged.")
                                         .arg(outcome.firmwareVersion, 8, 16, QLatin1Char('0')),
                                 QMessageBox::Ok);
        } else if (outcome.verdict == ReadAll::Verdict::UnknownLineCode) {
            QMessageBox::warning(this, tr("Unknown line setting"),
                                 tr("The sensor reports %0 code %1, which this program does not know. The stored "
                                    "line settings are kept.").arg(outcome.unknownParameter).arg(outcome.unknownCode),
                                 QMessageBox::Ok);
        }
    });
}

void MainWindow::writeAllSlot()
{
    if (link->isBusy() || operationRunning)
        return;
    auto operation = std::make_shared<WriteParameters>(WriteParameters::writeAll(*form, firmwareVersion));
    for (int id : operation->unmanagedIds())
        warnUnmanagedWidget(id, false);
    if (!operation->emptyParameters().isEmpty()) {
        QMessageBox::critical(this, tr("Nothing sent"),
                              tr("These parameters hold no value: %0.\nRead all or fill them in, then write again.")
                                      .arg(operation->emptyParameters().join(QStringLiteral(", "))),
                              QMessageBox::Ok);
        return;
    }
    if (operation->hasNothingToSend()) {
        QMessageBox::critical(this, tr("Nothing sent"),
                              tr("There is nothing to send: read all from a sensor this program knows first."),
                              QMessageBox::Ok);
        return;
    }
    if (!beginOperation())
        return;
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation] {
        endOperation();
        if (!connectionOpen)
            return;
        if (operation->failure().failed()) {
            QString detail;
            if (!operation->written().isEmpty()) {
                detail = tr("\n\nWritten: %0.\nNot written: %1.")
                                 .arg(operation->written().join(QStringLiteral(", ")),
                                      operation->notWritten().join(QStringLiteral(", ")));
            }
            reportTransferFailure(operation->failure(), detail);
            return;
        }
        const bool ok = operation->unmanagedIds().isEmpty();
        status->show(ok ? StatusDisplay::Colour::Good : StatusDisplay::Colour::Bad,
                     ok ? tr("Values successfully sent") : tr("Sending values failed"));
        form->resetColours();
        status->scheduleTotalReset(2000);
    });
}

void MainWindow::saveSlot()
{
    form->resetColours();
    sendCommand(IdNvParSave, 2000);
}

void MainWindow::resetParamsSlot()
{
    form->resetColours();
    sendCommand(IdSWReset, 6000);
}

void MainWindow::sendCommand(int id, int statusResetMs)
{
    if (!beginOperation())
        return;
    auto operation = std::make_shared<WriteParameters>(WriteParameters::command(*form, id));
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation, statusResetMs] {
        endOperation();
        if (!connectionOpen)
            return;
        if (operation->failure().failed()) {
            reportTransferFailure(operation->failure());
            return;
        }
        status->show(StatusDisplay::Colour::Good, tr("Values successfully sent"));
        status->scheduleTotalReset(statusResetMs);
    });
}

// ---- Timed reading

void MainWindow::timedReading(bool start)
{
    if (!start) {
        reading->stop();
        return;
    }
    if (link->isBusy() || operationRunning) {
        // The check box tells whether a run is going on.
        ui->readCheckBox->setChecked(false);
        return;
    }
    reading->start(ui->slaveSpinBox->value(), firmwareVersion, ui->readSpinBox->value());
}

void MainWindow::updateTimingReading()
{
    if (ui->readCheckBox->isChecked())
        reading->setPeriod(ui->readSpinBox->value());
}
