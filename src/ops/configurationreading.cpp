#include "configurationreading.h"

#include "link/sensorlink.h"

ConfigurationReading::ConfigurationReading(int slave, const QVector<int> &ids, quint32 firmwareVersion)
    : slave(slave), ids(ids), firmware(firmwareVersion)
{
}

void ConfigurationReading::run(SensorLink &link)
{
    if (firmware == 0) {
        if (!readOne(link, IdFWVersion))
            return;
        firmware = read.value(IdFWVersion).output.toUInt();
    }
    for (int id : qAsConst(ids)) {
        if (read.contains(id) || !parameterDescriptor(id).isAvailable(firmware))
            continue;
        if (!readOne(link, id))
            return;
    }
}

bool ConfigurationReading::readOne(SensorLink &link, int id)
{
    if (reportProgress)
        reportProgress(id);
    const ParameterReading reading = readParameter(link, slave, id);
    if (reading.result != ResultOk) {
        transferFailure = TransferFailure::from(reading.result, link);
        return false;
    }
    read.insert(id, reading.value);
    return true;
}

QMap<int, QVariant> ConfigurationReading::numbersOf(const QMap<int, ReadValue> &readings)
{
    QMap<int, QVariant> numbers;
    for (auto reading = readings.constBegin(); reading != readings.constEnd(); ++reading)
        numbers.insert(reading.key(), reading.value().output);
    return numbers;
}
