#include "optionsdialog.h"
#include "ui_optionsdialog.h"

#include "session/useroptions.h"
#include "link/commtiming.h"
#include "session/settingsstore.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QShowEvent>
#include <QSpinBox>

#include <limits>

namespace {
// Each tick of the timed reading reads the three live values, each of which
// may take the worst-case time of one parameter read. The dialog assumes all
// three, whatever the connected sensor's firmware offers.
constexpr int LiveValuesPerTick = 3;
}

OptionsDialog::OptionsDialog(SettingsStore *store, int sensorsPerTick, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::OptionsDialog)
    , store(store)
    , sensorsPerTick(qMax(1, sensorsPerTick))
{
    ui->setupUi(this);
    // The timeouts over a network line, below the serial ones: a gateway
    // waits for the sensor on its serial side, and the network adds its own
    // delay. The retries and their increment are those of every line.
    auto *network = new QGroupBox(tr("Over a network line (through a gateway)"), this);
    auto *networkLayout = new QFormLayout(network);
    for (QSpinBox **box : { &networkRequestTimeSpinBox, &networkResponseTimeSpinBox }) {
        *box = new QSpinBox(network);
        (*box)->setRange(CommTiming::MinTimeMs, CommTiming::MaxTimeMs);
        (*box)->setSuffix(QStringLiteral(" ms"));
        connect(*box, &QSpinBox::editingFinished, this, &OptionsDialog::updateMinimumReadingTimeSlot);
    }
    networkRequestTimeSpinBox->setObjectName(QStringLiteral("networkRequestTimeSpinBox"));
    networkResponseTimeSpinBox->setObjectName(QStringLiteral("networkResponseTimeSpinBox"));
    networkLayout->addRow(tr("Response timeout:"), networkRequestTimeSpinBox);
    networkLayout->addRow(tr("Byte timeout:"), networkResponseTimeSpinBox);
    auto *grid = qobject_cast<QGridLayout *>(layout());
    grid->addWidget(ui->closePushButton, 2, 0, 1, 2);
    grid->addWidget(network, 1, 0, 1, 2);

    connect(ui->closePushButton, SIGNAL(clicked()), this, SLOT(close()));
    connect(ui->requestTimeSpinBox, SIGNAL(editingFinished()), this, SLOT(updateMinimumReadingTimeSlot()));
    connect(ui->responseTimeSpinBox, SIGNAL(editingFinished()), this, SLOT(updateMinimumReadingTimeSlot()));
    connect(ui->maxRetriesSpinBox, SIGNAL(editingFinished()), this, SLOT(updateMinimumReadingTimeSlot()));
    connect(ui->incrementalTimeSpinBox, SIGNAL(editingFinished()), this, SLOT(updateMinimumReadingTimeSlot()));
}

OptionsDialog::~OptionsDialog()
{
    delete ui;
}

void OptionsDialog::showEvent(QShowEvent *event)
{
    Q_UNUSED(event)

    // The loaded values are already within the spin boxes' ranges, so the
    // minimum below is computed from exactly what the user sees; a damaged
    // store cannot push it out of range.
    const CommTiming timing = store->timing();
    ui->requestTimeSpinBox->setValue(timing.requestTimeMs);
    ui->responseTimeSpinBox->setValue(timing.responseTimeMs);
    ui->maxRetriesSpinBox->setValue(timing.maxRetries);
    ui->incrementalTimeSpinBox->setValue(timing.incrementalTimeMs);
    networkRequestTimeSpinBox->setValue(timing.networkRequestTimeMs);
    networkResponseTimeSpinBox->setValue(timing.networkResponseTimeMs);

    const UserOptions &options = store->options();
    ui->speedPrecisionSpinBox->setValue(options.speedPrecision);
    ui->temperaturePrecisionSpinBox->setValue(options.temperaturePrecision);

    // The minimum comes first, so a stored value that the timings no longer
    // allow shows (and is later stored) as the minimum.
    setMinimumReadingTime(timing);
    ui->maxReadTimeSpinBox->setValue(options.maxReadTime);
}

void OptionsDialog::closeEvent(QCloseEvent *event)
{
    // A timing typed in just before closing has not finished editing yet;
    // bring the maximum read time in line with it before storing both.
    updateMinimumReadingTimeSlot();

    UserOptions options = store->options();
    options.speedPrecision = ui->speedPrecisionSpinBox->value();
    options.temperaturePrecision = ui->temperaturePrecisionSpinBox->value();
    options.maxReadTime = ui->maxReadTimeSpinBox->value();
    store->saveOptions(timingFromForm(), options);

    event->accept();
}

void OptionsDialog::updateMinimumReadingTimeSlot()
{
    setMinimumReadingTime(timingFromForm());
}

CommTiming OptionsDialog::timingFromForm() const
{
    CommTiming timing;
    timing.requestTimeMs = ui->requestTimeSpinBox->value();
    timing.responseTimeMs = ui->responseTimeSpinBox->value();
    timing.maxRetries = ui->maxRetriesSpinBox->value();
    timing.incrementalTimeMs = ui->incrementalTimeSpinBox->value();
    timing.networkRequestTimeMs = networkRequestTimeSpinBox->value();
    timing.networkResponseTimeMs = networkResponseTimeSpinBox->value();
    return timing;
}

void OptionsDialog::setMinimumReadingTime(const CommTiming &timing)
{
    // Very short timings would give a minimum below the smallest maximum
    // read time the program accepts; keep that floor.
    const qint64 ticked = qint64(LiveValuesPerTick) * sensorsPerTick * timing.worstCaseReadTimeMs();
    const int minimum = int(qBound<qint64>(UserOptions::MinMaxReadTime, ticked, std::numeric_limits<int>::max()));
    ui->maxReadTimeSpinBox->setToolTip(tr("At least %0 ms: the worst case of a tick that reads %n sensor(s).",
                                          nullptr, sensorsPerTick).arg(minimum));
    // QSpinBox raises a value below the new minimum to it.
    ui->maxReadTimeSpinBox->setMinimum(minimum);
}
