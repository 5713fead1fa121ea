#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "device/parametertable.h"
#include "link/commtiming.h"
#include "link/transactionerror.h"
#include "livecurve.h"
#include "measurementlog.h"
#include "readingperiod.h"
#include "useroptions.h"

#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTimerEvent>

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

void MainWindow::timedReading(bool start)
{
    if (start) {
        if (!startTimedReading()) {
            // The check box tells whether a run is going on.
            ui->readCheckBox->setChecked(false);
        }
        return;
    }
    logFileName.clear();
    samplesPendingClear = true;
    readingTimer.stop();
}

bool MainWindow::startTimedReading()
{
    QVariant serialNumber;
    const TransactionResult result = readParameter(IdSerialNumber, serialNumber);
    if (isTransactionFailure(result)) {
        reportTransactionError(this, result);
        return false;
    }
    elapsedClock.restart();
    logFileName = MeasurementLog::fileNameFor(serialNumber.toUInt(), QDateTime::currentDateTime());
    if (!MeasurementLog(logFileName).create(firmwareVersion)) {
        QMessageBox::critical(this, tr("Output file error"), tr("It's impossible to write to %0").arg(logFileName),
                              QMessageBox::Ok);
        return false;
    }
    readCurrentValues();
    readingTimer.start(ui->readSpinBox->value(), this);
    return true;
}

void MainWindow::updateTimingReading()
{
    readingTimer.stop();
    if (ui->readCheckBox->isChecked()) {
        readCurrentValues();
        readingTimer.start(ui->readSpinBox->value(), this);
    }
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    // While a tick's message box is open its event loop keeps delivering
    // the timer; those ticks are skipped, and the run goes on afterwards.
    if (event->timerId() == readingTimer.timerId() && !tickInProgress)
        readCurrentValues();
    QMainWindow::timerEvent(event);
}

void MainWindow::readCurrentValues()
{
    const QScopedValueRollback<bool> busy(tickInProgress, true);

    MeasurementLog log(logFileName);
    if (!log.beginRow(QDateTime::currentDateTime())) {
        QMessageBox::critical(this, tr("Output file error"), tr("It's impossible to write to %0").arg(logFileName),
                              QMessageBox::Ok);
        return;
    }
    const double x = double(elapsedClock.elapsed() / 1000);
    const UserOptions options = UserOptions::load();

    if (samplesPendingClear) {
        irradianceCurve->clearSamples();
        temperatureCurve->clearSamples();
        speedCurve->clearSamples();
        samplesPendingClear = false;
    }
    LiveCurve *const curves[] = { irradianceCurve, temperatureCurve, speedCurve };
    for (size_t i = 0; i < liveIds.size(); ++i) {
        const int id = liveIds[i];
        if (!parameterDescriptor(id).isAvailable(firmwareVersion))
            continue;
        QVariant value;
        const TransactionResult result = readParameter(id, value);
        if (isTransactionFailure(result)) {
            log.endRow();
            reportTransactionError(this, result);
            return;
        }
        curves[i]->appendSample(QPointF(x, value.toDouble()));
        log.appendField(MeasurementLog::valueField(id, value, options.temperaturePrecision, options.speedPrecision));
    }
    log.endRow();

    setStatusIndicator(StatusColour::Good);
    schedulePartialReset(tickFlashMs(ui->readSpinBox->value()));
}
