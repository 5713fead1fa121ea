#include "findsensordialog.h"
#include "ui_findsensordialog.h"

#include "device/conversions.h"
#include "link/networkline.h"
#include "link/serialline.h"
#include "link/seriallinesettings.h"

#include <QHeaderView>
#include <QTimer>

namespace {
// "12.3 s" below a minute, "2 min 47 s" above.
QString duration(qint64 ms)
{
    if (ms < 60000)
        return FindSensorDialog::tr("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    const qint64 seconds = (ms + 500) / 1000;
    return FindSensorDialog::tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QString lineText(int bitRateCode, int framingCode)
{
    return FindSensorDialog::tr("%1 bit/s %2").arg(baudForCode(bitRateCode)).arg(framingName(framingCode));
}

QString probeCount(int probes)
{
    return probes == 1 ? FindSensorDialog::tr("1 probe") : FindSensorDialog::tr("%1 probes").arg(probes);
}

}

FindSensorDialog::FindSensorDialog(LinkThread *linkThread, const QString &device,
                                   const SerialLineSettings &storedLine, const CommTiming &timing,
                                   QWidget *parent)
    : QDialog(parent), ui(new Ui::FindSensorDialog), search(linkThread), device(device),
      stored { storedLine.slave, storedLine.bitRateCode, storedLine.framingCode },
      timing(timing.forLine(NetworkLine::looksLikeUrl(device)))
{
    ui->setupUi(this);
    ui->deviceLabel->setText(tr("Sensors on %1:").arg(device));
    ui->sensorsTreeWidget->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int code = 0; code < BitRateCodeCount; ++code) {
        QCheckBox *box = findChild<QCheckBox *>(QStringLiteral("bitRateCheckBox%1").arg(code));
        box->setText(QString::number(baudForCode(code)));
        bitRateBoxes.append(box);
    }
    for (int code = 0; code < FramingCodeCount; ++code) {
        QCheckBox *box = findChild<QCheckBox *>(QStringLiteral("framingCheckBox%1").arg(code));
        box->setText(framingName(code));
        framingBoxes.append(box);
    }

    if (NetworkLine::looksLikeUrl(device)) {
        // A gateway's serial side sets the bit rate and framing: the search
        // goes over the addresses at the stored line only.
        const QString why = tr("The gateway's serial side sets the line of a network line.");
        for (QList<QCheckBox *> *boxes : { &bitRateBoxes, &framingBoxes }) {
            for (int code = 0; code < boxes->size(); ++code) {
                QCheckBox *box = boxes->at(code);
                box->setChecked(code == (boxes == &bitRateBoxes ? stored.bitRateCode : stored.framingCode));
                box->setEnabled(false);
                box->setToolTip(why);
            }
        }
    }

    connect(ui->searchPushButton, &QPushButton::clicked, this, &FindSensorDialog::startSearch);
    connect(ui->cancelPushButton, &QPushButton::clicked, &search, &SensorSearch::cancel);
    connect(ui->useSensorPushButton, &QPushButton::clicked, this, &FindSensorDialog::useSelectedSensor);
    connect(ui->addAllFoundPushButton, &QPushButton::clicked, this, [this] {
        addAll = true;
        accept();
    });
    connect(ui->closePushButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->sensorsTreeWidget, &QTreeWidget::itemSelectionChanged, this, &FindSensorDialog::updateUseButton);
    connect(ui->sensorsTreeWidget, &QTreeWidget::itemDoubleClicked, this, &FindSensorDialog::useSelectedSensor);
    connect(&search, &SensorSearch::probing, this, &FindSensorDialog::showProbe);
    connect(&search, &SensorSearch::sensorFound, this, &FindSensorDialog::addSensor);
    connect(&search, &SensorSearch::finished, this, &FindSensorDialog::showOutcome);

    QTimer::singleShot(0, this, &FindSensorDialog::startSearch);
}

FindSensorDialog::~FindSensorDialog()
{
    delete ui;
}

void FindSensorDialog::done(int result)
{
    if (search.isRunning()) {
        // The search ends after its current probe; the dialog closes then.
        closeWhenStopped = true;
        resultWhenStopped = result;
        search.cancel();
        return;
    }
    QDialog::done(result);
}

ScanRange FindSensorDialog::rangeFromForm() const
{
    ScanRange range;
    range.firstSlave = ui->firstAddressSpinBox->value();
    range.lastSlave = ui->lastAddressSpinBox->value();
    range.bitRateCodes.clear();
    for (int code = 0; code < bitRateBoxes.size(); ++code) {
        if (bitRateBoxes.at(code)->isChecked())
            range.bitRateCodes.append(code);
    }
    range.framingCodes.clear();
    for (int code = 0; code < framingBoxes.size(); ++code) {
        if (framingBoxes.at(code)->isChecked())
            range.framingCodes.append(code);
    }
    return range;
}

void FindSensorDialog::startSearch()
{
    if (search.isRunning())
        return;
    ui->sensorsTreeWidget->clear();
    listed.clear();
    ui->currentProbeLabel->clear();
    ui->timeLabel->clear();
    const ScanPlan plan(rangeFromForm(), stored, timing.requestTimeMs);
    if (plan.isEmpty()) {
        ui->scanProgressBar->setRange(0, 1);
        ui->scanProgressBar->setValue(0);
        ui->statusLabel->setText(tr("Nothing to search: choose an address range, at least one bit rate "
                                    "and at least one framing."));
        setSearching(false);
        return;
    }
    // No search runs here, so this starts one.
    search.start(device, plan, timing, ui->stopAtFirstCheckBox->isChecked());
    ui->scanProgressBar->setRange(0, plan.size());
    ui->scanProgressBar->setValue(0);
    ui->statusLabel->setText(tr("Searching..."));
    setSearching(true);
}

void FindSensorDialog::setSearching(bool searching)
{
    ui->rangeGroupBox->setEnabled(!searching);
    ui->searchPushButton->setEnabled(!searching);
    ui->cancelPushButton->setEnabled(searching);
    if (!searching && listed.isEmpty())
        ui->searchPushButton->setDefault(true);
    updateUseButton();
}

void FindSensorDialog::showTimes(int nextProbe)
{
    const qint64 left = search.plan().remainingTimeMs(nextProbe);
    ui->timeLabel->setText(tr("Elapsed %1, about %2 left").arg(duration(search.elapsedMs()), duration(left)));
}

void FindSensorDialog::showProbe(int index)
{
    const ScanProbe &probe = search.plan().at(index);
    ui->scanProgressBar->setValue(index);
    ui->currentProbeLabel->setText(tr("Address %1 at %2 (probe %3 of %4)")
                                   .arg(probe.slave).arg(lineText(probe.bitRateCode, probe.framingCode))
                                   .arg(index + 1).arg(search.plan().size()));
    showTimes(index);
}

void FindSensorDialog::addSensor(const FoundSensor &sensor)
{
    listed.append(sensor);
    auto *item = new QTreeWidgetItem(ui->sensorsTreeWidget, QStringList {
            QString::number(sensor.serialNumber), firmwareText(sensor.firmwareVersion),
            QString::number(sensor.slave), QString::number(baudForCode(sensor.bitRateCode)),
            framingName(sensor.framingCode) });
    if (listed.size() == 1) {
        ui->sensorsTreeWidget->setCurrentItem(item);
        ui->useSensorPushButton->setDefault(true);
    }
    updateUseButton();
}

void FindSensorDialog::showOutcome(SensorSearch::Outcome outcome)
{
    const int probes = search.probesDone();
    const QString took = duration(search.elapsedMs());
    ui->scanProgressBar->setValue(outcome == SensorSearch::Completed ? ui->scanProgressBar->maximum() : probes);
    ui->timeLabel->setText(tr("Elapsed %1").arg(took));
    QString status;
    switch (outcome) {
    case SensorSearch::PortFailed:
        status = tr("Could not open %1.\n%2").arg(device, search.failureReason());
        break;
    case SensorSearch::Cancelled:
        status = tr("Search cancelled after %1 and %2.").arg(probeCount(probes), took);
        break;
    case SensorSearch::StoppedAtSensor:
    case SensorSearch::Completed:
        if (listed.isEmpty())
            status = tr("No sensor answered (%1 in %2).").arg(probeCount(probes), took);
        else if (listed.size() == 1)
            status = tr("One sensor answered (%1 in %2).").arg(probeCount(probes), took);
        else
            status = tr("%1 sensors answered (%2 in %3).").arg(listed.size()).arg(probeCount(probes), took);
        break;
    }
    ui->statusLabel->setText(status);
    setSearching(false);
    if (closeWhenStopped) {
        closeWhenStopped = false;
        QDialog::done(resultWhenStopped);
    }
}

void FindSensorDialog::updateUseButton()
{
    const int row = ui->sensorsTreeWidget->indexOfTopLevelItem(ui->sensorsTreeWidget->currentItem());
    const bool selected = row >= 0 && row < listed.size() && ui->sensorsTreeWidget->currentItem()->isSelected();
    ui->useSensorPushButton->setEnabled(selected && !closeWhenStopped);
    ui->addAllFoundPushButton->setEnabled(!listed.isEmpty() && !closeWhenStopped && !search.isRunning());
}

void FindSensorDialog::useSelectedSensor()
{
    const int row = ui->sensorsTreeWidget->indexOfTopLevelItem(ui->sensorsTreeWidget->currentItem());
    if (row < 0 || row >= listed.size())
        return;
    chosen = listed.at(row);
    accept();
}
