#include "profileapplication.h"

#include "configurationreading.h"
#include "link/sensorlink.h"

ProfileApplication::ProfileApplication(const SensorProfile &profile, int slave, quint32 firmwareVersion)
    : profile(profile), slave(slave), firmwareVersion(firmwareVersion)
{
}

void ProfileApplication::run(SensorLink &link)
{
    // Without a firmware read from the sensor there is no telling which of
    // the profile's registers it has.
    if (!firmwareKnown(firmwareVersion)) {
        result.verdict = Verdict::UnknownFirmware;
        return;
    }
    if (!writeValues(link))
        return;

    if (!proceed(Step::Save))
        return;
    const ParameterDescriptor &save = parameterDescriptor(IdNvParSave);
    if (!transferDone(link, writeParameter(link, slave, IdNvParSave, { quint16(save.presetValue) })))
        return;
    result.saved = true;

    if (!proceed(Step::ReadBack))
        return;
    ConfigurationReading reading(slave, profile.values().keys().toVector(), firmwareVersion);
    if (reportProgress)
        reading.setProgress([this](int id) { reportProgress(Step::ReadBack, id); });
    reading.run(link);
    if (reading.failed()) {
        result.verdict = Verdict::TransferFailed;
        result.failure = reading.failure();
        return;
    }

    if (!proceed(Step::Verify))
        return;
    result.comparison = profile.compare(reading.values(), firmwareVersion);
    result.verdict = result.differences().isEmpty() ? Verdict::Verified : Verdict::VerificationFailed;
}

bool ProfileApplication::writeValues(SensorLink &link)
{
    const QMap<int, QVariant> &values = profile.values();
    for (auto value = values.constBegin(); value != values.constEnd(); ++value) {
        const int id = value.key();
        if (!parameterDescriptor(id).isAvailable(firmwareVersion))
            continue;
        if (!proceed(Step::Write, id))
            return false;
        QVector<quint16> words;
        convertWrite(parameterDescriptor(id), value.value(), words);
        if (!transferDone(link, writeParameter(link, slave, id, words)))
            return false;
        result.written << QLatin1String(parameterDescriptor(id).name);
    }
    return true;
}

bool ProfileApplication::proceed(Step step, int id)
{
    result.step = step;
    if (cancelRequested) {
        result.verdict = Verdict::Cancelled;
        return false;
    }
    if (reportProgress)
        reportProgress(step, id);
    return true;
}

bool ProfileApplication::transferDone(SensorLink &link, TransactionResult transfer)
{
    if (transfer == ResultOk)
        return true;
    result.verdict = Verdict::TransferFailed;
    result.failure = TransferFailure::from(transfer, link);
    return false;
}

ProfileApplication::Outcome applyProfile(SensorLink &link, const SensorProfile &profile, int slave,
                                         quint32 firmwareVersion, const ProfileApplication::Progress &progress)
{
    if (!firmwareVersion) {
        ConfigurationReading firmware(slave, {});
        firmware.run(link);
        firmwareVersion = firmware.firmwareVersion();
    }
    ProfileApplication application(profile, slave, firmwareVersion);
    application.setProgress(progress);
    application.run(link);
    return application.outcome();
}

SensorSweep::Job profileSweepJob(const SensorProfile &profile, const QVector<QPair<int, quint32>> &targets,
                                 std::shared_ptr<QVector<ProfileApplication::Outcome>> outcomes,
                                 std::function<QString(ProfileApplication::Step step, int id)> stepText)
{
    return [profile, targets, outcomes, stepText](SensorLink &link, int index, const SensorSweep::Progress &progress) {
        const auto tell = [&](ProfileApplication::Step step, int id) { progress(stepText(step, id)); };
        (*outcomes)[index] = applyProfile(link, profile, targets.at(index).first, targets.at(index).second, tell);
    };
}
