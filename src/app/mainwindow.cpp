#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "acq/liveplots.h"
#include "acq/readingperiod.h"
#include "acq/timedreading.h"
#include "device/parameterform.h"
#include "device/projectfile.h"
#include "findsensordialog.h"
#include "networklinedialog.h"
#include "link/linkthread.h"
#include "link/openfailure.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "ops/readall.h"
#include "ops/writeparameters.h"
#include "optionsdialog.h"
#include "portlist.h"
#include "profileflows.h"
#include "ports/networklines.h"
#include "ports/serialportenumerator.h"
#include "session/lineconnection.h"
#include "session/linesession.h"
#include "session/settingsstore.h"
#include "sensorformbinding.h"
#include "sensortablemodel.h"
#include "statusdisplay.h"
#include "windowgeometry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>

#include <cerrno>
#include <memory>

MainWindow::MainWindow(const QString &preferredPort, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindowClass)
    , store(new SettingsStore)
    , preferredPort(NetworkLines::listedName(preferredPort))
{
    ui->setupUi(this);
    // The form is taller than a small laptop's screen: it scrolls there,
    // so that the window opens whole with every control in reach. The plots
    // stand beside it, so that they stay in view during a run however far
    // the form is scrolled; the sensor panel lies below both.
    ui->verticalLayout_4->removeWidget(ui->tabWidget);
    ui->verticalLayout_4->addStretch();
    auto *scrollArea = new QScrollArea;
    scrollArea->setObjectName(QStringLiteral("formScrollArea"));
    scrollArea->setWidgetResizable(true);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidget(takeCentralWidget());
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("formPlotsSplitter"));
    splitter->addWidget(scrollArea);
    splitter->addWidget(ui->tabWidget);
    // A plot's own minimum leaves no room for the form on a small screen.
    ui->tabWidget->setMinimumSize(280, 200);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    setCentralWidget(splitter);

    form.reset(new ParameterForm(this));
    form->clear();
    portList.reset(new PortList(ui->serialPortComboBox));
    session = new LineSession(store->line(), this);
    binding = new SensorFormBinding(form.get(), session, this);
    status = new StatusDisplay(statusBar());
    plots.reset(new LivePlots(ui->tabWidget, { ui->irradianceQwtPlot, ui->temperatureQwtPlot, ui->speedQwtPlot }));
    link = new LinkThread(this);
    link->setTiming(store->timing());
    connection = new LineConnection(link, session, this);
    reading = new TimedReading(link, session, this);
    plots->follow(reading, session);
    profiles = new ProfileFlows(this, link, session, reading, ui->openProfileLabel);
    session->replaceSensors(store->sensors());
    sensorModel = new SensorTableModel(session, this);
    ui->sensorsTableView->setModel(sensorModel);
    ui->sensorsTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->sensorsTableView->verticalHeader()->hide();
    // Wide enough for a sensor's address, serial number, firmware, label
    // and state without scrolling; the counts may need it.
    ui->sensorsTableView->setMinimumWidth(fontMetrics().averageCharWidth() * 64);

    placeWindow();
    // The sensor panel as high as a few rows need, the rest for the form
    // and the plots.
    const int rowHeight = ui->sensorsTableView->verticalHeader()->defaultSectionSize();
    resizeDocks({ ui->sensorsDockWidget },
                { ui->openProfileLabel->sizeHint().height() + rowHeight * (qBound(3, session->sensors().size(), 8) + 2)
                  + 2 * ui->sensorsTableView->frameWidth() + 32 },
                Qt::Vertical);
    rebuildPortList();
    applyTimingOptions();
    updateOpenCloseButtonStatus();

    portEnumerator = new SerialPortEnumerator(this);
    portEnumerator->setUpNotifications();
    connectSignals();
    setWindowTitle(tr("%0 - %1").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
}

MainWindow::~MainWindow()
{
    // The line's thread ends after the attempt under way; the timed reading
    // and the link go before the form they report to.
    delete reading;
    delete connection;
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
    connect(ui->serialPortComboBox, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        if (portList->isNetworkLineItem(index))
            addNetworkLine();
    });
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

    connect(ui->actionOpenProject, SIGNAL(triggered()), this, SLOT(openProjectSlot()));
    connect(ui->actionSaveProfile, &QAction::triggered, profiles, &ProfileFlows::saveProfileSlot);
    connect(ui->actionOpenProfile, &QAction::triggered, profiles, &ProfileFlows::openProfileSlot);
    connect(ui->actionCompareProfile, &QAction::triggered, profiles, &ProfileFlows::compare);
    connect(ui->actionApplyProfile, &QAction::triggered, profiles, &ProfileFlows::apply);
    connect(ui->actionCommissioningReport, &QAction::triggered, profiles, &ProfileFlows::reportSlot);
    connect(profiles, &ProfileFlows::lineUsed, this, &MainWindow::refreshSensorCounts);
    connect(ui->actionSaveProject, SIGNAL(triggered()), this, SLOT(saveProjectSlot()));
    connect(ui->actionAddSensor, SIGNAL(triggered()), this, SLOT(addSensorSlot()));
    connect(ui->actionRemoveSensor, SIGNAL(triggered()), this, SLOT(removeSensorSlot()));
    ui->sensorsTableView->installEventFilter(this);
    connect(ui->sensorsTableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &MainWindow::sensorSelected);
    connect(sensorModel, &QAbstractItemModel::modelReset, this, &MainWindow::updateSensorActions);
    connect(session, &LineSession::sensorsChanged, this, [this] {
        store->saveSensors(session->sensors());
        applyTimingOptions();
        // Listed sensors are read who they are when a run starts.
        if (session->isOpen())
            setAcquisitionControlsEnabled(timedReadingReady() || reading->isActive());
    });
    connect(session, &LineSession::sensorChanged, this, [this] { store->saveSensors(session->sensors()); });
    connect(session, &LineSession::identityChanged, this, &MainWindow::updateSensorActions);
    connect(session, &LineSession::slaveChanged, this, &MainWindow::updateSensorActions);
    connect(session, &LineSession::connectionChanged, this, &MainWindow::updateSensorActions);

    connect(binding, &SensorFormBinding::notShown, this, &MainWindow::warnUnmanagedWidget);
    connect(session, &LineSession::answeredLineChanged, this, [this](const SerialLineSettings &line) {
        store->saveLine(line);
    });
    // The open port stays the one selected, whatever arrives meanwhile.
    connect(session, &LineSession::lineChanged, this, [this] {
        if (session->connection() != LineSession::Connection::Closed)
            rebuildPortList();
    });
    connect(session, &LineSession::identityChanged, this, &MainWindow::applyTimingOptions);
    connect(session, &LineSession::connectionChanged, this, &MainWindow::followConnection);

    connect(connection, &LineConnection::opened, this, [this] {
        endOperation();
        form->resetColours();
        if (pendingReadAll) {
            pendingReadAll = false;
            readAllSlot();
        }
    });
    connect(connection, &LineConnection::openFailed, this, [this](int error, const QString &device) {
        endOperation();
        pendingReadAll = false;
        setClosedState();
        form->resetColours();
        QString text = tr("Could not connect serial port!");
        if (error != 0)
            text += QStringLiteral("\n\n") + openFailureReason(error, device);
        QMessageBox::critical(this, tr("Connection failed"), text, QMessageBox::Ok);
    });

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
    connect(reading, &TimedReading::lineLost, connection, &LineConnection::lineLost);
    connect(reading, &TimedReading::runStarting, this, [this] {
        quint32 newest = session->firmwareVersion();
        for (quint32 firmware : polledFirmwares())
            newest = qMax(newest, firmware);
        plots->showTabsFor(newest);
    });
    // A sensor of several that stops answering is told once, in its row and
    // here; the others go on.
    connect(reading, &TimedReading::sensorLost, this, [this](int sensorId, const QString &reason) {
        status->show(StatusDisplay::Colour::Bad, tr("%0 does not answer: %1").arg(sensorName(sensorId), reason));
        status->schedulePartialReset(5000);
    });
    connect(reading, &TimedReading::sensorBack, this, [this](int sensorId) {
        status->show(StatusDisplay::Colour::Good, tr("%0 answers again.").arg(sensorName(sensorId)));
        status->schedulePartialReset(2000);
    });
}

QString MainWindow::sensorName(int sensorId) const
{
    const LineSensor *sensor = session->sensor(sensorId);
    if (!sensor)
        return tr("The sensor at address %0").arg(session->slave());
    return tr("%0 (address %1)").arg(sensor->displayName()).arg(sensor->address);
}

bool MainWindow::isTimedReadingActive() const
{
    return reading->isActive();
}

bool MainWindow::isBusy() const
{
    // A tick of the timed reading is no operation of the user's: what the
    // user starts meanwhile queues behind it on the line.
    return operationRunning;
}

QString MainWindow::currentLogFileName() const
{
    return reading->isActive() ? reading->logFileName() : QString();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The Delete key in the sensor list removes the sensor picked.
    if (watched == ui->sensorsTableView && event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Delete)) {
        removeSensorSlot();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    store->saveOnClose(geometry(), ui->readSpinBox->value());
    if (store->writeFailed()) {
        QMessageBox::warning(this, tr("Settings not saved"),
                             tr("The settings could not be written to %0.\nThe line settings and options of "
                                "this session will be lost when the program ends.").arg(store->fileName()),
                             QMessageBox::Ok);
    }
    event->accept();
}

void MainWindow::placeWindow()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // The window is centred at the size its form needs, within the screen's
    // available area (less the desktop's panels): the form scrolls where
    // the screen is too small for it. The frame around the window needs
    // room too.
    const QSize frame(16, 48);
    const auto *scrollArea = centralWidget()->findChild<const QScrollArea *>(QStringLiteral("formScrollArea"));
    QSize natural = scrollArea->widget()->sizeHint();
    natural.rwidth() += ui->tabWidget->sizeHint().width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    natural.rwidth() = qMax(natural.width(), ui->sensorsDockWidget->sizeHint().width());
    natural.rheight() += ui->sensorsDockWidget->sizeHint().height() + menuBar()->sizeHint().height()
            + statusBar()->sizeHint().height() + 8;
    natural = natural.expandedTo(minimumSizeHint()).boundedTo(available.size() - frame);
    QRect placed = startGeometry(store->geometry(), natural, available, areas);
    if (!available.contains(placed) && !store->geometry().isValid())
        placed.moveTopLeft(available.topLeft() + QPoint(frame.width() / 2, frame.height() - frame.width() / 2));
    setGeometry(placed);
}

void MainWindow::optionsSlot()
{
    {
        OptionsDialog dialog(store.get(), qMax(1, session->sensors().size()), this);
        dialog.exec();
    }
    link->setTiming(store->timing());
    applyTimingOptions();
}

void MainWindow::findSensorSlot()
{
    SerialPortInfo port;
    if (!portList->selectedPort(&port) || isBusy())
        return;
    // The search needs the line to itself: an open port is closed first,
    // which also stops a timed reading.
    const bool wasOpen = session->isOpen();
    const SerialPortInfo previousPort = session->port();
    if (wasOpen) {
        connection->close();
        form->resetColours();
    }
    FindSensorDialog dialog(link, port.device(), store->line(), store->timing(), this);
    if (dialog.exec() != QDialog::Accepted) {
        // Left as it was: a port open before the search is open again, at
        // the line the session holds.
        if (wasOpen)
            openPort(previousPort);
        return;
    }
    if (dialog.addAllChosen()) {
        addFoundSensors(port, dialog.foundSensors());
        return;
    }
    const FoundSensor &found = dialog.chosenSensor();
    session->useFoundSensor(port, found.slave, found.bitRateCode, found.framingCode);
    // Read all follows once the port is open.
    pendingReadAll = true;
    openPort(port);
}

void MainWindow::aboutSlot()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::applyTimingOptions()
{
    const CommTiming timing = store->timing().forLine(session->port().isNetworkLine());
    const UserOptions &options = store->options();
    reading->setOptions(options);
    const quint32 firmwareVersion = session->firmwareVersion();
    if (firmwareKnown(firmwareVersion)) {
        if (parameterDescriptor(IdTemp).isAvailable(firmwareVersion))
            ui->PT100TempDoubleSpinBox->setDecimals(options.temperaturePrecision);
        if (parameterDescriptor(IdSpeed).isAvailable(firmwareVersion))
            ui->speedDoubleSpinBox->setDecimals(options.speedPrecision);
    }

    // The period the user chose (at start, the stored one), within the
    // range this sensor allows.
    if (chosenPeriodMs < 0)
        chosenPeriodMs = options.readTimer;
    const int period = chosenPeriodMs;
    // A tick reads every sensor of the line, one after the other.
    const QVector<quint32> firmwares = polledFirmwares();
    const int minimumReadingPeriod = minimumReadingPeriodMs(timing, firmwares);
    const QString why = tr("At least %0 ms: the worst case of reading the live values of %n sensor(s), one after "
                           "the other.", nullptr, firmwares.size()).arg(minimumReadingPeriod);
    ui->readSpinBox->setToolTip(why);
    ui->readHorizontalSlider->setToolTip(why);
    ui->readSpinBox->setRange(minimumReadingPeriod, options.maxReadTime);
    ui->readSpinBox->setValue(period);
    ui->readHorizontalSlider->setRange(minimumReadingPeriod, options.maxReadTime);
    ui->readHorizontalSlider->setValue(period);
}

// ---- Ports

int MainWindow::rebuildPortList()
{
    // While a line is open its port stays the selected one: an adapter
    // plugged in meanwhile must not take its place.
    const bool inUse = session->connection() != LineSession::Connection::Closed;
    const QString keep = inUse ? session->port().identity : QString();
    const QString preferred = preferredPort.isEmpty() ? store->line().port : preferredPort;
    const int count = portList->rebuild(keep, preferred);
    ui->actionFindSensor->setEnabled(count > 0);
    return count;
}

void MainWindow::addNetworkLine()
{
    NetworkLineDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        store->keepNetworkLine(dialog.url(), dialog.name());
        preferredPort = dialog.url();
    }
    // The new line selected, or the port selected before.
    rebuildPortList();
}

void MainWindow::onDeviceDiscoveredSlot(const SerialPortInfo &portInfo)
{
    rebuildPortList();
    status->show(StatusDisplay::Colour::Good, tr("Discovered device ") + portInfo.portName);
    status->schedulePartialReset(2000);
    connection->portArrived(portInfo);
}

void MainWindow::onDeviceRemovedSlot(const SerialPortInfo &portInfo)
{
    if (rebuildPortList() >= 1)
        status->show(StatusDisplay::Colour::Good, tr("Removed device ") + portInfo.portName);
    else
        status->show(StatusDisplay::Colour::Bad, tr("No device found"));
    status->schedulePartialReset(2000);
    connection->portRemoved(portInfo);
}

// ---- Connection

void MainWindow::followConnection()
{
    switch (session->connection()) {
    case LineSession::Connection::Open:
        setOpenedState();
        if (wasWaitingForPort) {
            status->setLastingMessage(QString());
            status->show(StatusDisplay::Colour::Good, reading->isActive()
                         ? tr("%0 is back: the reading goes on.").arg(session->port().portName)
                         : tr("%0 is back.").arg(session->port().portName));
            status->schedulePartialReset(2000);
        }
        wasWaitingForPort = false;
        break;
    case LineSession::Connection::WaitingForPort:
        wasWaitingForPort = true;
        // Nothing can go over the line until the adapter (or the gateway's
        // connection) is back; it is opened again by itself then.
        setCommandButtonsEnabled(false);
        if (session->port().isNetworkLine()) {
            status->setLastingMessage(reading->isActive()
                    ? tr("The connection to %0 was lost: the reading is paused until it is back.")
                              .arg(session->port().portName)
                    : tr("The connection to %0 was lost: it is made again when the gateway answers.")
                              .arg(session->port().portName));
        } else {
            status->setLastingMessage(reading->isActive()
                    ? tr("%0 was unplugged: the reading is paused until it is back.").arg(session->port().portName)
                    : tr("%0 was unplugged: it is opened again when it is back.").arg(session->port().portName));
        }
        break;
    case LineSession::Connection::Closed:
        if (wasWaitingForPort)
            status->setLastingMessage(QString());
        wasWaitingForPort = false;
        setClosedState();
        return;
    }
    rebuildPortList();
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

void MainWindow::openCloseSlot(bool open)
{
    if (!open) {
        connection->close();
        form->resetColours();
        return;
    }
    SerialPortInfo port;
    QString failureTitle;
    QString failureText;
    if (portList->isEmpty()) {
        failureTitle = tr("No serial port found");
        failureText = tr("Could not find any serial port on this computer!");
    } else if (!portList->selectedPort(&port) || !isValidBitRateCode(session->bitRateCode())
               || !isValidFramingCode(session->framingCode())) {
        failureTitle = tr("Connection failed");
        failureText = tr("Choose a serial port, a bit rate and a serial configuration before opening the port.");
    }
    if (!failureTitle.isEmpty()) {
        setClosedState();
        form->resetColours();
        QMessageBox::critical(this, failureTitle, failureText, QMessageBox::Ok);
        return;
    }
    openPort(port);
}

void MainWindow::openPort(const SerialPortInfo &port)
{
    if (!beginOperation()) {
        ui->openClosePushButton->setChecked(session->isOpen());
        pendingReadAll = false;
        return;
    }
    ui->openClosePushButton->setChecked(true);
    connection->open(port);
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
    setAcquisitionControlsEnabled(timedReadingReady());
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
    if (isBusy())
        return false;
    operationRunning = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    return true;
}

void MainWindow::endOperation()
{
    refreshSensorCounts();
    if (!operationRunning)
        return;
    operationRunning = false;
    QApplication::restoreOverrideCursor();
}

void MainWindow::refreshSensorCounts()
{
    // The link's counts may be read while no job runs on it.
    if (link->isBusy())
        return;
    for (const LineSensor &sensor : session->sensors())
        session->applySensorCounts(sensor.id, link->link().counts(sensor.address));
}

void MainWindow::reportTransferFailure(const TransferFailure &failure, const QString &detail)
{
    // A port that went away is no exception of the sensor's.
    if (failure.lineLost) {
        QMessageBox::critical(this, tr("Connection failed"),
                              openFailureReason(ENODEV, session->port().device()) + detail, QMessageBox::Ok);
        return;
    }
    const TransactionErrorMessage message = transactionErrorMessage(failure.result, failure.error);
    QMessageBox::critical(this, message.title, message.text + detail, QMessageBox::Ok);
}

void MainWindow::warnUnmanagedWidget(int id)
{
    QMessageBox::warning(this, tr("Unmanaged case"),
                         tr("%0 parameter has not been read for widget class %1")
                                 .arg(QLatin1String(parameterDescriptor(id).name),
                                      QLatin1String(form->widget(id)->metaObject()->className())),
                         QMessageBox::Ok);
}

void MainWindow::readAllSlot()
{
    if (!beginOperation())
        return;
    auto operation = std::make_shared<ReadAll>(session->readAllAddress());
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation] {
        endOperation();
        if (!session->isOpen())
            return;
        session->applyReadAll(*operation);
        const ReadAll::Verdict verdict = operation->verdict();
        form->enableFor(session->firmwareVersion());
        if (verdict == ReadAll::Verdict::TransferFailed) {
            reportTransferFailure(operation->failure());
            return;
        }
        plots->showTabsFor(session->firmwareVersion());
        const bool success = verdict == ReadAll::Verdict::Success;
        setAcquisitionControlsEnabled(success || !session->sensors().isEmpty() || reading->isActive());
        ui->writeAllPushButton->setEnabled(success);
        status->show(success ? StatusDisplay::Colour::Good : StatusDisplay::Colour::Bad,
                     success ? tr("Values successfully retrieved") : tr("Cannot retrieve correct values"));
        status->scheduleTotalReset(2000);
        if (verdict == ReadAll::Verdict::UnknownFirmware) {
            QMessageBox::warning(this, tr("Unknown sensor"),
                                 tr("The sensor reports firmware version 0x%0, older than any this program "
                                    "knows. Its values are shown, but none can be written or logged.")
                                         .arg(operation->firmwareVersion(), 8, 16, QLatin1Char('0')),
                                 QMessageBox::Ok);
        } else if (verdict == ReadAll::Verdict::UnknownLineCode) {
            QMessageBox::warning(this, tr("Unknown line setting"),
                                 tr("The sensor reports %0 code %1, which this program does not know. The stored "
                                    "line settings are kept.")
                                         .arg(operation->unknownParameter()).arg(operation->unknownCode()),
                                 QMessageBox::Ok);
        }
    });
}

void MainWindow::writeAllSlot()
{
    if (isBusy())
        return;
    const LineSession *known = session;
    auto operation = std::make_shared<WriteParameters>(WriteParameters::writeAll(
            [known](int id) { return known->value(id); }, session->firmwareVersion(),
            { session->slave(), session->bitRateCode(), session->framingCode() }));
    if (!operation->unknownParameters().isEmpty()) {
        QMessageBox::critical(this, tr("Nothing sent"),
                              tr("These parameters hold no value read from this sensor: %0.\nRead all or fill "
                                 "them in, then write again.")
                                      .arg(operation->unknownParameters().join(QStringLiteral(", "))),
                              QMessageBox::Ok);
        return;
    }
    if (operation->hasNothingToSend()) {
        QMessageBox::critical(this, tr("Nothing sent"),
                              tr("There is nothing to send: read all from a sensor this program knows first."),
                              QMessageBox::Ok);
        return;
    }
    if (session->port().isNetworkLine() && !confirmLineChangeBehindGateway())
        return;
    if (!beginOperation())
        return;
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation] {
        endOperation();
        if (!session->isOpen())
            return;
        session->applyWrite(*operation);
        const QString lostAcknowledgement = operation->lostAcknowledgement().isEmpty()
                ? QString() : QStringLiteral("\n\n") + operation->lostAcknowledgement();
        if (operation->failure().failed()) {
            QString detail;
            if (!operation->written().isEmpty()) {
                detail = tr("\n\nWritten: %0.\nNot written: %1.")
                                 .arg(operation->written().join(QStringLiteral(", ")),
                                      operation->notWritten().join(QStringLiteral(", ")));
            }
            reportTransferFailure(operation->failure(), lostAcknowledgement + detail);
            return;
        }
        if (!lostAcknowledgement.isEmpty()) {
            QMessageBox::warning(this, tr("Acknowledgement lost"), operation->lostAcknowledgement(),
                                 QMessageBox::Ok);
        }
        status->show(StatusDisplay::Colour::Good, tr("Values successfully sent"));
        form->resetColours();
        status->scheduleTotalReset(2000);
    });
}

bool MainWindow::confirmLineChangeBehindGateway()
{
    const auto changes = [this](int id, int current) {
        const SensorValue &value = session->value(id);
        return value.isKnown() && value.value.output.toInt() != current;
    };
    if (!changes(IdBitRate, session->bitRateCode()) && !changes(IdSerialConf, session->framingCode()))
        return true;
    return QMessageBox::question(
                   this, tr("Change the line behind the gateway?"),
                   tr("The sensor is reached through the gateway %0, whose serial side stays at the line it is "
                      "set to. Once the sensor takes the new bit rate or framing, it answers only after the "
                      "gateway's serial side has been set to the new line too.\n\nWrite all the same?")
                           .arg(session->port().device()),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
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
    auto operation = std::make_shared<WriteParameters>(WriteParameters::command(
            id, { session->slave(), session->bitRateCode(), session->framingCode() }));
    link->run([operation](SensorLink &line) { operation->run(line); }, [this, operation, statusResetMs] {
        endOperation();
        if (!session->isOpen())
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
    if (isBusy()) {
        // The check box tells whether a run is going on.
        ui->readCheckBox->setChecked(false);
        return;
    }
    reading->start(ui->readSpinBox->value());
}

void MainWindow::updateTimingReading()
{
    chosenPeriodMs = ui->readSpinBox->value();
    if (ui->readCheckBox->isChecked())
        reading->setPeriod(ui->readSpinBox->value());
}

// ---- Sensors of the line

QVector<quint32> MainWindow::polledFirmwares() const
{
    QVector<quint32> firmwares;
    for (const LineSensor &sensor : session->sensors())
        firmwares << sensor.firmwareVersion;
    if (firmwares.isEmpty())
        firmwares << session->firmwareVersion();
    return firmwares;
}

bool MainWindow::timedReadingReady() const
{
    // The form's sensor once Read all has told its firmware; listed sensors
    // are asked theirs when the run starts.
    return session->isOpen() && (!session->sensors().isEmpty() || firmwareKnown(session->firmwareVersion()));
}

bool MainWindow::keepSameSerial(const LineSensor &added, const QVector<int> &others)
{
    QStringList addresses;
    for (int other : others)
        addresses << QString::number(session->sensor(other)->address);
    const quint32 serialNumber = added.serialNumber ? added.serialNumber : added.expectedSerial;
    return QMessageBox::warning(this, tr("Same serial number"),
                                tr("The sensor at address %0 answers with serial number %1, as the sensor at "
                                   "address %2 does: a replacement cloned from it, or a factory mistake.\n\nKeep "
                                   "both? Their logs stay apart: the second one's files have its address in "
                                   "their name.").arg(added.address).arg(serialNumber)
                                        .arg(addresses.join(QStringLiteral(", "))),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void MainWindow::addFoundSensors(const SerialPortInfo &port, const QList<FoundSensor> &found)
{
    if (found.isEmpty())
        return;
    // The sensors of one line answer at one bit rate and framing: the first
    // found gives it, and the port is opened there.
    const FoundSensor &first = found.first();
    QStringList skipped;
    for (const FoundSensor &sensor : found) {
        LineSensor listed;
        listed.address = sensor.slave;
        listed.serialNumber = sensor.serialNumber;
        listed.firmwareVersion = sensor.firmwareVersion;
        if (sensor.bitRateCode != first.bitRateCode || sensor.framingCode != first.framingCode) {
            skipped << QString::number(sensor.serialNumber);
            continue;
        }
        const int id = session->addSensor(listed);
        if (id == 0) {
            skipped << QString::number(sensor.serialNumber);
            continue;
        }
        const QVector<int> same = session->sameSerialAs(id);
        if (!same.isEmpty() && !keepSameSerial(listed, same))
            session->removeSensor(id);
    }
    session->useFoundSensor(port, first.slave, first.bitRateCode, first.framingCode);
    // The first one is read into the form once the port is open.
    pendingReadAll = true;
    openPort(port);
    if (!skipped.isEmpty()) {
        QMessageBox::warning(this, tr("Sensors not added"),
                             tr("These sensors answered at another line or at an address already listed, and "
                                "were not added: %0.").arg(skipped.join(QStringLiteral(", "))),
                             QMessageBox::Ok);
    }
}

void MainWindow::updateSensorActions()
{
    ui->actionAddSensor->setEnabled(session->isOpen() && firmwareKnown(session->firmwareVersion())
                                    && session->indexOf(session->slave()) < 0);
    ui->actionRemoveSensor->setEnabled(ui->sensorsTableView->selectionModel()->currentIndex().isValid());
}

void MainWindow::addSensorSlot()
{
    if (!firmwareKnown(session->firmwareVersion()))
        return;
    LineSensor sensor;
    sensor.address = session->slave();
    sensor.serialNumber = session->serialNumber();
    sensor.firmwareVersion = session->firmwareVersion();
    const int id = session->addSensor(sensor);
    if (id == 0) {
        QMessageBox::warning(this, tr("Sensor not added"),
                             tr("Another sensor of the list has address %0.").arg(sensor.address), QMessageBox::Ok);
    } else {
        const QVector<int> same = session->sameSerialAs(id);
        if (!same.isEmpty() && !keepSameSerial(sensor, same))
            session->removeSensor(id);
    }
    updateSensorActions();
}

void MainWindow::removeSensorSlot()
{
    const QModelIndex current = ui->sensorsTableView->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= session->sensors().size())
        return;
    session->removeSensor(session->sensors().at(current.row()).id);
}

void MainWindow::sensorSelected(const QModelIndex &current)
{
    updateSensorActions();
    if (!current.isValid() || current.row() >= session->sensors().size())
        return;
    // The form shows the sensor picked, read at its address; no sensor of
    // the line moves, and a timed reading goes on as it was.
    session->showSensor(session->sensors().at(current.row()).id);
    if (session->isOpen() && !isBusy())
        readAllSlot();
}

void MainWindow::saveProjectSlot()
{
    QString fileName = QFileDialog::getSaveFileName(this, tr("Save project"), QString(),
                                                    tr("Kelvaset projects (*.kelvaset)"));
    if (fileName.isEmpty())
        return;
    if (!fileName.endsWith(QStringLiteral(".kelvaset")))
        fileName += QStringLiteral(".kelvaset");
    saveProject(fileName);
}

bool MainWindow::saveProject(const QString &fileName)
{
    ProjectFile project;
    SerialPortInfo port = session->port();
    if (session->connection() == LineSession::Connection::Closed)
        portList->selectedPort(&port);
    project.portName = port.friendName;
    project.portIdentity = port.identity;
    project.bitRateCode = session->bitRateCode();
    project.framingCode = session->framingCode();
    project.periodMs = ui->readSpinBox->value();
    project.hasTiming = true;
    project.timing = store->timing();
    for (const LineSensor &sensor : session->sensors())
        project.sensors.append({ sensor.address, sensor.listedSerial(),
                                 sensor.label });
    QString error;
    if (project.save(fileName, &error))
        return true;
    QMessageBox::critical(this, tr("Project not saved"), error, QMessageBox::Ok);
    return false;
}

void MainWindow::openProjectSlot()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open project"), QString(),
                                                          tr("Kelvaset projects (*.kelvaset)"));
    if (!fileName.isEmpty())
        openProject(fileName);
}

bool MainWindow::openProject(const QString &fileName)
{
    ProjectFile project;
    QString error;
    if (!project.load(fileName, &error)) {
        QMessageBox::critical(this, tr("Project not opened"), error, QMessageBox::Ok);
        return false;
    }
    if (isBusy())
        return false;
    if (session->connection() != LineSession::Connection::Closed)
        connection->close();
    session->replaceSensors(project.sensors);
    session->selectLine(project.bitRateCode, project.framingCode);
    session->setUserValue(IdBitRate, project.bitRateCode);
    session->setUserValue(IdSerialConf, project.framingCode);
    if (!project.sensors.isEmpty())
        session->selectSlave(project.sensors.first().address);
    chosenPeriodMs = project.periodMs;
    if (project.hasTiming) {
        store->saveOptions(project.timing, store->options());
        link->setTiming(store->timing());
    }
    applyTimingOptions();

    // The project's port by its identity (an adapter may come back under
    // another device node), else by its name. A network line is always there.
    NetworkLines::add(project.portIdentity, project.portName);
    SerialPortInfo port;
    bool present = false;
    for (const SerialPortInfo &candidate : SerialPortEnumerator::getPorts()) {
        if ((!project.portIdentity.isEmpty() && candidate.identity == project.portIdentity)
                || (!present && candidate.friendName == project.portName)) {
            port = candidate;
            present = true;
        }
    }
    if (!present) {
        QMessageBox::warning(this, tr("Port missing"),
                             tr("The project's port %0 is not present. Plug it in, choose it in the port list and "
                                "open it.").arg(project.portName.isEmpty() ? project.portIdentity : project.portName),
                             QMessageBox::Ok);
        return true;
    }
    const int index = ui->serialPortComboBox->findText(port.friendName);
    if (index >= 0)
        ui->serialPortComboBox->setCurrentIndex(index);
    // The project's first sensor is read into the form once the port is
    // open, which also makes the timed reading ready.
    pendingReadAll = !project.sensors.isEmpty();
    openPort(port);
    return true;
}
