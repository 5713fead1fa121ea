#include "readall.h"

#include "link/sensorlink.h"
#include "link/serialline.h"

void ReadAll::run(SensorLink &link)
{
    QVector<int> ids(readAllIds.cbegin(), readAllIds.cend());
    for (int i = 0; i < ids.size(); ++i) {
        const int id = ids.at(i);
        const ParameterReading reading = readParameter(link, address, id);
        if (reading.result != ResultOk) {
            failed = TransferFailure::from(reading.result, link);
            return;
        }
        read.append({ id, reading.value });
        if (id == IdFWVersion) {
            firmware = reading.value.output.toUInt();
            // ConstPerPulse exists only on newer sensors; it comes last.
            if (parameterDescriptor(IdConstPerPulse).isAvailable(firmware))
                ids.append(IdConstPerPulse);
        }
    }
}

bool ReadAll::hasRead(int id) const
{
    return output(id).isValid();
}

QVariant ReadAll::output(int id) const
{
    for (const Reading &reading : read) {
        if (reading.id == id)
            return reading.value.output;
    }
    return QVariant();
}

int ReadAll::unknownLineCodeId() const
{
    if (hasRead(IdBitRate) && !isValidBitRateCode(output(IdBitRate).toInt()))
        return IdBitRate;
    if (hasRead(IdSerialConf) && !isValidFramingCode(output(IdSerialConf).toInt()))
        return IdSerialConf;
    return -1;
}

ReadAll::Verdict ReadAll::verdict() const
{
    if (failed.failed())
        return Verdict::TransferFailed;
    if (!firmwareKnown(firmware))
        return Verdict::UnknownFirmware;
    // A line code without an item would leave its combo box empty; the
    // line must not take it.
    if (unknownLineCodeId() >= 0)
        return Verdict::UnknownLineCode;
    return Verdict::Success;
}

QString ReadAll::unknownParameter() const
{
    const int id = unknownLineCodeId();
    return id < 0 ? QString() : QLatin1String(parameterDescriptor(id).name);
}

int ReadAll::unknownCode() const
{
    const int id = unknownLineCodeId();
    return id < 0 ? 0 : output(id).toInt();
}
