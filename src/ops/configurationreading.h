#ifndef CONFIGURATIONREADING_H
#define CONFIGURATIONREADING_H

#include "parametertransfer.h"

#include <QMap>
#include <QVariant>
#include <QVector>

#include <functional>

class SensorLink;

// Reads chosen parameters of one sensor without the form: the profile's
// configuration for a comparison or a verification, or all a commissioning
// report records. Parameters the firmware lacks are skipped; when the
// firmware is not given, FWVersion is read first to know which those are.
// Runs on the link's thread and touches no widget.
class ConfigurationReading
{
public:
    // Called on the link's thread before each parameter is read.
    using Progress = std::function<void(int id)>;

    ConfigurationReading(int slave, const QVector<int> &ids, quint32 firmwareVersion = 0);
    void setProgress(const Progress &progress) { reportProgress = progress; }

    // Stops at the first failed transfer, keeping what was read before it.
    void run(SensorLink &link);

    bool failed() const { return transferFailure.failed(); }
    const TransferFailure &failure() const { return transferFailure; }
    // The one given, or the one read; 0 when it could not be read.
    quint32 firmwareVersion() const { return firmware; }
    // What convertRead gave, by parameter id: display text and number form.
    const QMap<int, ReadValue> &readings() const { return read; }
    // The number form of each reading, as SensorProfile::compare takes it.
    QMap<int, QVariant> values() const { return numbersOf(read); }
    static QMap<int, QVariant> numbersOf(const QMap<int, ReadValue> &readings);

private:
    bool readOne(SensorLink &link, int id);

    int slave;
    QVector<int> ids;
    quint32 firmware;
    Progress reportProgress;
    QMap<int, ReadValue> read;
    TransferFailure transferFailure;
};

#endif // CONFIGURATIONREADING_H
