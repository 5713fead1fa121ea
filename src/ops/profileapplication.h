#ifndef PROFILEAPPLICATION_H
#define PROFILEAPPLICATION_H

#include "device/sensorprofile.h"
#include "parametertransfer.h"
#include "sensorsweep.h"

#include <QPair>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class SensorLink;

// Puts a profile on one sensor and proves it took: the profile's values
// the firmware has are written, Save keeps them, they are read back and
// compared with the profile. Runs on the link's thread and touches no
// widget; progress goes out through a callback the caller forwards to
// the GUI thread.
class ProfileApplication
{
public:
    enum class Step { Write, Save, ReadBack, Verify };

    enum class Verdict {
        Verified,             // written, saved, read back and equal to the profile
        TransferFailed,       // a transfer of `step` failed
        VerificationFailed,   // read back, but some values differ
        Cancelled,            // stopped before `step`
        UnknownFirmware       // the firmware given is not one read from a sensor; nothing sent
    };

    struct Outcome
    {
        Verdict verdict = Verdict::Cancelled;
        Step step = Step::Write;                       // where it ended
        TransferFailure failure;
        QStringList written;                           // acknowledged, in order
        bool saved = false;
        QVector<SensorProfile::Comparison> comparison; // after the read-back: every compared value

        // The rows of comparison that do not match: expected and read.
        QVector<SensorProfile::Comparison> differences() const { return SensorProfile::differences(comparison); }
    };

    // Called on the link's thread as each step starts, and for Write and
    // ReadBack before each parameter (id -1 otherwise).
    using Progress = std::function<void(Step step, int id)>;

    ProfileApplication(const SensorProfile &profile, int slave, quint32 firmwareVersion);
    void setProgress(const Progress &progress) { reportProgress = progress; }

    // Safe from any thread: the run stops before its next step or parameter.
    // A transfer already under way ends first (SensorLink::cancel cuts it short).
    void cancel() { cancelRequested = true; }

    void run(SensorLink &link);
    const Outcome &outcome() const { return result; }

private:
    bool proceed(Step step, int id = -1);
    bool writeValues(SensorLink &link);
    bool transferDone(SensorLink &link, TransactionResult transfer);

    SensorProfile profile;
    int slave;
    quint32 firmwareVersion;
    Progress reportProgress;
    std::atomic<bool> cancelRequested { false };
    Outcome result;
};

// Applies profile to the sensor at slave as ProfileApplication does. A
// sensor listed from a project has not told its firmware yet
// (firmwareVersion 0): FWVersion is read from it first, and when that
// fails nothing is written and the verdict is UnknownFirmware.
ProfileApplication::Outcome applyProfile(SensorLink &link, const SensorProfile &profile, int slave,
                                         quint32 firmwareVersion, const ProfileApplication::Progress &progress = {});

// The job of a sweep that applies profile to each target (its address and
// the firmware known of it, 0 if none) in turn with applyProfile: the i-th
// outcome goes to (*outcomes)[i], and each step is told to the sweep's
// progress in the words of stepText.
SensorSweep::Job profileSweepJob(const SensorProfile &profile, const QVector<QPair<int, quint32>> &targets,
                                 std::shared_ptr<QVector<ProfileApplication::Outcome>> outcomes,
                                 std::function<QString(ProfileApplication::Step step, int id)> stepText);

#endif // PROFILEAPPLICATION_H
