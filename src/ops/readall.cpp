#include "readall.h"

#include "device/parameterform.h"
#include "link/sensorlink.h"
#include "link/serialline.h"
#include "link/seriallinesettings.h"

#include <algorithm>

void ReadAll::run(SensorLink &link)
{
    QVector<int> ids(readAllIds.cbegin(), readAllIds.cend());
    for (int i = 0; i < ids.size(); ++i) {
        const int id = ids.at(i);
        const ParameterReading reading = readParameter(link, slave, id);
        if (reading.result != ResultOk) {
            failure = TransferFailure::from(reading.result, link);
            return;
        }
        readings.append({ id, reading.value });
        if (id == IdFWVersion) {
            firmwareVersion = reading.value.output.toUInt();
            // ConstPerPulse exists only on newer sensors; it comes last.
            if (parameterDescriptor(IdConstPerPulse).isAvailable(firmwareVersion))
                ids.append(IdConstPerPulse);
        }
    }
}

ReadAll::Outcome ReadAll::finish(ParameterForm &form) const
{
    Outcome outcome;
    outcome.firmwareVersion = firmwareVersion;
    outcome.firmwareRead = std::any_of(readings.cbegin(), readings.cend(),
                                       [](const Reading &reading) { return reading.id == IdFWVersion; });
    for (const Reading &reading : readings) {
        if (!form.show(reading.id, reading.value))
            outcome.unshownIds.append(reading.id);
    }
    if (failure.failed()) {
        outcome.failure = failure;
        outcome.verdict = Verdict::TransferFailed;
        return outcome;
    }

    form.enableFor(firmwareVersion);
    if (!firmwareKnown(firmwareVersion)) {
        outcome.verdict = Verdict::UnknownFirmware;
        return outcome;
    }

    // A line code without an item leaves its combo box empty; the stored
    // line, where later writes go, must not take it.
    for (const Reading &reading : readings) {
        const int code = reading.value.output.toInt();
        if ((reading.id == IdBitRate && !isValidBitRateCode(code))
                || (reading.id == IdSerialConf && !isValidFramingCode(code))) {
            outcome.verdict = Verdict::UnknownLineCode;
            outcome.unknownParameter = QLatin1String(parameterDescriptor(reading.id).name);
            outcome.unknownCode = code;
            return outcome;
        }
    }

    // The form now shows the sensor's own node, bit rate and framing, and
    // the sensor has just answered at them: later writes go there.
    SerialLineSettings line;
    line.slave = form.take(IdNode).value.toInt();
    line.bitRateCode = form.take(IdBitRate).value.toInt();
    line.framingCode = form.take(IdSerialConf).value.toInt();
    line.saveSensorLine();
    outcome.verdict = Verdict::Success;
    return outcome;
}
