#include "profileflows.h"

#include "acq/commissioningreport.h"
#include "acq/timedreading.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "link/transactionerror.h"
#include "ops/configurationreading.h"
#include "ops/profileapplication.h"
#include "ops/sensorsweep.h"
#include "session/linesession.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

QString sensorName(const LineSensor &sensor)
{
    return ProfileFlows::tr("%1 (address %2)").arg(sensor.displayName()).arg(sensor.address);
}

QStringList sensorNames(const QVector<LineSensor> &sensors)
{
    QStringList names;
    for (const LineSensor &sensor : sensors)
        names << sensorName(sensor);
    return names;
}

QString valueText(const QVariant &value)
{
    return value.isValid() ? value.toString() : ProfileFlows::tr("none");
}

QString stepText(ProfileApplication::Step step)
{
    switch (step) {
    case ProfileApplication::Step::Write:
        return ProfileFlows::tr("writing");
    case ProfileApplication::Step::Save:
        return ProfileFlows::tr("saving");
    case ProfileApplication::Step::ReadBack:
        return ProfileFlows::tr("reading back");
    case ProfileApplication::Step::Verify:
        return ProfileFlows::tr("verifying");
    }
    return QString();
}

QString failureText(const TransferFailure &failure)
{
    return transactionErrorMessage(failure.result, failure.error).text;
}

// One line of the summary of an application.
QString summaryLine(const LineSensor &sensor, const ProfileApplication::Outcome &outcome)
{
    const QString name = sensorName(sensor);
    const QString written = outcome.written.isEmpty() ? ProfileFlows::tr("nothing")
                                                      : outcome.written.join(QStringLiteral(", "));
    switch (outcome.verdict) {
    case ProfileApplication::Verdict::Verified:
        return ProfileFlows::tr("%1: applied and verified.").arg(name);
    case ProfileApplication::Verdict::VerificationFailed: {
        QStringList differences;
        for (const SensorProfile::Comparison &row : outcome.differences())
            differences << ProfileFlows::tr("%1 is %2, not %3").arg(row.name, valueText(row.sensorValue),
                                                                  valueText(row.profileValue));
        return ProfileFlows::tr("%1: written and saved, but the check failed: %2.")
                .arg(name, differences.join(QStringLiteral("; ")));
    }
    case ProfileApplication::Verdict::TransferFailed:
        return ProfileFlows::tr("%1: failed while %2 (%3). Written before: %4.")
                .arg(name, stepText(outcome.step), failureText(outcome.failure), written);
    case ProfileApplication::Verdict::Cancelled:
        return ProfileFlows::tr("%1: cancelled. Written before: %2.").arg(name, written);
    case ProfileApplication::Verdict::UnknownFirmware:
        return ProfileFlows::tr("%1: not applied: its firmware is not known (read it first).").arg(name);
    }
    return name;
}

} // namespace

ProfileFlows::ProfileFlows(QWidget *window, LinkThread *link, LineSession *session, const TimedReading *reading,
                           QLabel *openProfileLabel)
    : QObject(window)
    , window(window)
    , link(link)
    , session(session)
    , reading(reading)
    , openProfileLabel(openProfileLabel)
{
}

bool ProfileFlows::lineFree()
{
    if (reading->isActive()) {
        QMessageBox::warning(window, tr("Timed reading running"),
                             tr("The timed reading has the line. Stop it first: this reads and writes every "
                                "sensor and must not come between its ticks."),
                             QMessageBox::Ok);
        return false;
    }
    if (!session->isOpen()) {
        QMessageBox::warning(window, tr("Port closed"), tr("Open the port of the sensors first."), QMessageBox::Ok);
        return false;
    }
    return !link->isBusy();
}

bool ProfileFlows::needProfile()
{
    if (profile)
        return true;
    QMessageBox::warning(window, tr("No profile open"), tr("Open a profile first."), QMessageBox::Ok);
    return false;
}

bool ProfileFlows::saveProfile(const QString &fileName, const QString &name, const QString &note)
{
    // Only values read from the sensor or set by the user make a profile,
    // as only those are ever written.
    QMap<int, QVariant> values;
    for (int id : SensorProfile::parameterIds()) {
        const SensorValue &value = session->value(id);
        if (value.isKnown() && parameterDescriptor(id).isAvailable(session->firmwareVersion()))
            values.insert(id, value.value.output);
    }
    SensorProfile saved;
    QString error;
    if (!SensorProfile::fromValues(name, note, values, &saved, &error) || !saved.save(fileName, &error)) {
        QMessageBox::critical(window, tr("Profile not saved"), error, QMessageBox::Ok);
        return false;
    }
    // As a document saved in an editor, the profile saved is the open one.
    setOpenProfile(saved);
    return true;
}

void ProfileFlows::setOpenProfile(const SensorProfile &opened)
{
    profile = opened;
    openProfileLabel->setText(tr("Profile: %1").arg(opened.name()));
}

void ProfileFlows::saveProfileSlot()
{
    QString fileName = QFileDialog::getSaveFileName(window, tr("Save profile"), QString(),
                                                    tr("Sensor profiles (*.kelvaprofile)"));
    if (fileName.isEmpty())
        return;
    if (!fileName.endsWith(QStringLiteral(".kelvaprofile")))
        fileName += QStringLiteral(".kelvaprofile");
    bool ok = false;
    const QString name = QInputDialog::getText(window, tr("Save profile"), tr("Name of the profile:"),
                                               QLineEdit::Normal, QFileInfo(fileName).completeBaseName(), &ok);
    if (!ok)
        return;
    const QString note = QInputDialog::getMultiLineText(window, tr("Save profile"), tr("Note:"), QString(), &ok);
    if (ok)
        saveProfile(fileName, name, note);
}

bool ProfileFlows::openProfile(const QString &fileName)
{
    SensorProfile opened;
    QString error;
    if (!opened.load(fileName, &error)) {
        QMessageBox::critical(window, tr("Profile not opened"), error, QMessageBox::Ok);
        return false;
    }
    setOpenProfile(opened);
    // The profile's values go into the form as the user's; nothing is
    // written to a sensor.
    for (auto value = opened.values().cbegin(); value != opened.values().cend(); ++value)
        session->setUserValue(value.key(), value.value());
    return true;
}

void ProfileFlows::openProfileSlot()
{
    const QString fileName = QFileDialog::getOpenFileName(window, tr("Open profile"), QString(),
                                                          tr("Sensor profiles (*.kelvaprofile)"));
    if (!fileName.isEmpty())
        openProfile(fileName);
}

void ProfileFlows::runWithProgress(SensorSweep &sweep, const QString &title, const QStringList &names)
{
    QProgressDialog progress(title, tr("Cancel"), 0, names.size(), window);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    connect(&progress, &QProgressDialog::canceled, &sweep, &SensorSweep::cancel);
    connect(&sweep, &SensorSweep::sensorStarted, &progress, [&](int index) {
        progress.setValue(index);
        progress.setLabelText(tr("%1 of %2: %3").arg(index + 1).arg(names.size()).arg(names.at(index)));
    });
    connect(&sweep, &SensorSweep::progress, &progress, [&](int index, const QString &step) {
        progress.setLabelText(tr("%1 of %2: %3, %4").arg(index + 1).arg(names.size()).arg(names.at(index), step));
    });
    QEventLoop loop;
    connect(&sweep, &SensorSweep::finished, &loop, &QEventLoop::quit);
    sweep.start();
    if (sweep.isRunning())
        loop.exec();
    progress.setValue(names.size());
    emit lineUsed();
}

void ProfileFlows::compare()
{
    if (!needProfile() || !lineFree())
        return;
    const QVector<LineSensor> targets = session->commandTargets();
    const QStringList names = sensorNames(targets);
    auto readings = std::make_shared<QVector<ConfigurationReading>>();
    for (const LineSensor &sensor : targets)
        readings->append(ConfigurationReading(sensor.address, SensorProfile::parameterIds(), sensor.firmwareVersion));
    SensorSweep sweep(link, targets.size(), [readings](SensorLink &line, int index, const SensorSweep::Progress &) {
        (*readings)[index].run(line);
    });
    runWithProgress(sweep, tr("Compare with profile"), names);

    QDialog dialog(window);
    dialog.setObjectName(QStringLiteral("profileComparisonDialog"));
    dialog.setWindowTitle(tr("Compare with profile %1").arg(profile->name()));
    auto *table = new QTableWidget(0, 5, &dialog);
    table->setObjectName(QStringLiteral("profileComparisonTableWidget"));
    table->setHorizontalHeaderLabels({ tr("Sensor"), tr("Parameter"), tr("Profile"), tr("Sensor value"),
                                       tr("Match") });
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const auto addRow = [table](const QStringList &cells) {
        const int row = table->rowCount();
        table->insertRow(row);
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    };
    for (int i = 0; i < sweep.sensorsDone(); ++i) {
        const ConfigurationReading &read = readings->at(i);
        if (read.failed()) {
            addRow({ names.at(i), QString(), QString(), failureText(read.failure()), tr("not answering") });
            continue;
        }
        bool allMatch = true;
        for (const SensorProfile::Comparison &row : profile->compare(read.values(), read.firmwareVersion())) {
            allMatch = allMatch && row.matches;
            addRow({ names.at(i), row.name, valueText(row.profileValue), valueText(row.sensorValue),
                     row.matches ? tr("yes") : tr("NO") });
        }
        session->setProfileMatch(targets.at(i).id, allMatch);
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 360);
    dialog.exec();
}

void ProfileFlows::apply()
{
    if (!needProfile() || !lineFree())
        return;
    const QVector<LineSensor> targets = session->commandTargets();
    const QStringList names = sensorNames(targets);
    if (QMessageBox::question(window, tr("Apply profile"),
                              tr("Write profile %1 to these sensors, save it in each and check what each kept?\n\n%2")
                                      .arg(profile->name(), names.join(QLatin1Char('\n'))),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return;
    auto outcomes = std::make_shared<QVector<ProfileApplication::Outcome>>(targets.size());
    const SensorProfile applied = *profile;
    QVector<QPair<int, quint32>> addresses;
    for (const LineSensor &sensor : targets)
        addresses.append({ sensor.address, sensor.firmwareVersion });
    SensorSweep sweep(link, targets.size(), profileSweepJob(applied, addresses, outcomes,
                                                            [](ProfileApplication::Step step, int id) {
        return id >= 0 ? QStringLiteral("%1 %2").arg(stepText(step), QLatin1String(parameterDescriptor(id).name))
                       : stepText(step);
    }));
    runWithProgress(sweep, tr("Apply profile"), names);

    QStringList summary;
    for (int i = 0; i < targets.size(); ++i) {
        if (i >= sweep.sensorsDone()) {
            summary << tr("%1: not started (cancelled).").arg(names.at(i));
            continue;
        }
        const ProfileApplication::Outcome &outcome = outcomes->at(i);
        summary << summaryLine(targets.at(i), outcome);
        if (outcome.verdict == ProfileApplication::Verdict::Verified
                || outcome.verdict == ProfileApplication::Verdict::VerificationFailed)
            session->setProfileMatch(targets.at(i).id,
                                     outcome.verdict == ProfileApplication::Verdict::Verified);
    }
    const bool allVerified = std::all_of(outcomes->cbegin(), outcomes->cend(), [](const auto &outcome) {
        return outcome.verdict == ProfileApplication::Verdict::Verified;
    }) && sweep.sensorsDone() == targets.size();
    QMessageBox box(allVerified ? QMessageBox::Information : QMessageBox::Warning, tr("Profile applied"),
                    summary.join(QLatin1Char('\n')), QMessageBox::Ok, window);
    box.exec();
}

bool ProfileFlows::writeReport(const QString &site, const QString &technician, const QString &note,
                               int snapshotSeconds, const QString &directory)
{
    if (!lineFree())
        return false;
    const QVector<LineSensor> targets = session->commandTargets();
    const QStringList names = sensorNames(targets);
    auto sensors = std::make_shared<QVector<CommissionedSensor>>();
    for (const LineSensor &sensor : targets) {
        CommissionedSensor commissioned;
        commissioned.address = sensor.address;
        commissioned.bitRateCode = session->bitRateCode();
        commissioned.framingCode = session->framingCode();
        commissioned.label = sensor.label;
        commissioned.serialNumber = sensor.listedSerial();
        sensors->append(commissioned);
    }
    SensorSweep sweep(link, targets.size(), CommissioningReport::sweepJob(sensors, snapshotSeconds * 1000,
                                                                          [snapshotSeconds](CommissionedSensor::Step step) {
        return step == CommissionedSensor::Step::ReadingConfiguration
                ? tr("reading its configuration") : tr("sampling its live values for %1 s").arg(snapshotSeconds);
    }));
    runWithProgress(sweep, tr("Commissioning report"), names);
    if (sweep.wasCancelled())
        return false;

    CommissioningReport report;
    report.site = site;
    report.technician = technician;
    report.note = note;
    report.profile = profile;
    report.sensors = *sensors;
    const QString base = QDir(directory).filePath(report.baseFileName());
    QString error;
    if (!report.writePdf(base + QStringLiteral(".pdf"), &error)
            || !report.writeJson(base + QStringLiteral(".json"), &error)) {
        QMessageBox::critical(window, tr("Report not written"), error, QMessageBox::Ok);
        return false;
    }
    QMessageBox::information(window, tr("Commissioning report"),
                             tr("The report is written:\n%1.pdf\n%1.json").arg(base), QMessageBox::Ok);
    return true;
}

void ProfileFlows::reportSlot()
{
    if (!lineFree())
        return;
    QDialog form(window);
    form.setWindowTitle(tr("Commissioning report"));
    auto *layout = new QFormLayout(&form);
    auto *site = new QLineEdit(&form);
    auto *technician = new QLineEdit(&form);
    auto *note = new QPlainTextEdit(&form);
    auto *seconds = new QSpinBox(&form);
    seconds->setRange(1, 600);
    seconds->setValue(10);
    seconds->setSuffix(tr(" s"));
    layout->addRow(tr("Site:"), site);
    layout->addRow(tr("Technician:"), technician);
    layout->addRow(tr("Note:"), note);
    layout->addRow(tr("Live snapshot:"), seconds);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &form);
    connect(buttons, &QDialogButtonBox::accepted, &form, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &form, &QDialog::reject);
    layout->addRow(buttons);
    if (form.exec() != QDialog::Accepted)
        return;
    if (site->text().trimmed().isEmpty()) {
        QMessageBox::warning(window, tr("Commissioning report"), tr("Name the site: the report is named after it."),
                             QMessageBox::Ok);
        return;
    }
    const QString directory = QFileDialog::getExistingDirectory(window, tr("Folder of the report"), QDir::currentPath());
    if (!directory.isEmpty())
        writeReport(site->text().trimmed(), technician->text().trimmed(), note->toPlainText(), seconds->value(),
                    directory);
}
