#ifndef COMMISSIONINGREPORT_H
#define COMMISSIONINGREPORT_H

#include "acq/livesnapshot.h"
#include "device/conversions.h"
#include "device/sensorprofile.h"
#include "ops/sensorsweep.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class ConfigurationReading;

// One sensor as the commissioning found it.
class SensorLink;

struct CommissionedSensor
{
    int address = 1;
    int bitRateCode = 1;
    int framingCode = 0;
    QString label;                   // the project's name for it, if any
    quint32 serialNumber = 0;        // read, or the project's for one that did not answer
    bool answered = false;
    // What was read, as convertRead gave it: identity, status and
    // configuration (CommissioningReport::sensorIds()).
    QMap<int, ReadValue> readings;
    LiveSnapshot live;

    // Takes the readings (and the serial number, when read) of a finished
    // reading; a sensor answered when anything at all was read.
    void takeReading(const ConfigurationReading &reading);
    // Reads its configuration and, when it answers, samples its live
    // values back to back for snapshotMs, telling each step to progress.
    enum class Step { ReadingConfiguration, SamplingLiveValues };
    void commission(SensorLink &link, int snapshotMs, const std::function<void(Step)> &progress = {});
    quint32 firmwareVersion() const { return readings.value(IdFWVersion).output.toUInt(); }
};

// What a technician hands over after setting up a line: who, where, when,
// with which program and profile, and per sensor its identity, line,
// status, configuration (matched against the profile when one is open) and
// a snapshot of its live values. Written as JSON for machines (a versioned
// "kelvaset-report" document) and as an A4 PDF for people.
struct CommissioningReport
{
    QString site;
    QString technician;
    QString note;
    QString programName;             // QCoreApplication's, when the report is made
    QString programVersion;
    QDateTime time;                  // UTC
    std::optional<SensorProfile> profile;
    QVector<CommissionedSensor> sensors;

    CommissioningReport();

    // The parameters a report records of each sensor, for ConfigurationReading.
    static QVector<int> sensorIds();
    // The job of a sweep that commissions each of sensors in turn, telling
    // each step to the sweep's progress in the words of stepText.
    static SensorSweep::Job sweepJob(std::shared_ptr<QVector<CommissionedSensor>> sensors, int snapshotMs,
                                     std::function<QString(CommissionedSensor::Step)> stepText);

    // "<site>_<yyyy-MM-dd>", the site reduced to characters safe in a file
    // name and cut to a length every file system takes; add ".pdf" or ".json".
    QString baseFileName() const;

    // "Configuration matches the profile", "Configuration differs from the
    // profile: ...", "Not answering", or without a profile "No profile to
    // compare with".
    QString verdict(const CommissionedSensor &sensor) const;

    // False with a translated message in error when the file cannot be written.
    bool writeJson(const QString &path, QString *error) const;
    bool writePdf(const QString &path, QString *error) const;

private:
    QVector<SensorProfile::Comparison> comparison(const CommissionedSensor &sensor) const;
};

#endif // COMMISSIONINGREPORT_H
