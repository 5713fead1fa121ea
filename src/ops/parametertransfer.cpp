#include "parametertransfer.h"

#include "link/sensorlink.h"

ParameterReading readParameter(SensorLink &link, int slave, int id)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    quint16 words[2] = { 0, 0 };
    ParameterReading reading;
    reading.result = link.readRegisters(slave, descriptor.readAddress, descriptor.registerCount(), words);
    if (reading.result == ResultOk)
        reading.value = convertRead(descriptor, words);
    return reading;
}

TransactionResult writeParameter(SensorLink &link, int slave, int id, const QVector<quint16> &words)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    return link.writeRegisters(slave, descriptor.writeAddress, descriptor.registerCount(), words.constData());
}

TransferFailure TransferFailure::from(TransactionResult result, const SensorLink &link)
{
    TransferFailure failure;
    failure.result = result;
    failure.error = link.lastError();
    failure.lineLost = link.isLineLost();
    return failure;
}
