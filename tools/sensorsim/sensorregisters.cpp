#include "sensorregisters.h"

namespace {
const int IrradianceRegister = 0x0100;
const int TemperatureRegister = 0x0101;
const int SpeedRegister = 0x0103;
const int SerialLowRegister = 0x8000;
const int SerialHighRegister = 0x8001;
const int FirmwareHighRegister = 0x8002;
const int FirmwareLowRegister = 0x8003;
const int FirstConfigurationRegister = 0x8004;
const int LastConfigurationRegister = 0x800A;
const int ConstPerPulseRegister = 0x8030;
const int MaxReadCount = 125;
const int MaxWriteCount = 123;
const quint32 FirmwareWithSpeedAndPulseConstant = 0x80010000u;
}

SensorRegisters::SensorRegisters(const SensorIdentity &identity, const SensorConfiguration &startup,
                                 const std::optional<SensorConfiguration> &savedAtPowerUp,
                                 const QString &stateFile, LiveValues *liveValues)
    : identity(identity),
      current(savedAtPowerUp.value_or(startup)),
      saved(current),
      stateFile(stateFile),
      liveValues(liveValues),
      startupNvSaved(savedAtPowerUp ? true : (identity.statusBits >> NvSavedBit) & 1),
      nvSaved(startupNvSaved),
      everSaved(savedAtPowerUp.has_value())
{
    finishTransaction();
}

bool SensorRegisters::hasSpeedAndPulseConstant() const
{
    // Older firmware has neither the speed input nor its pulse constant.
    return identity.firmwareVersion >= FirmwareWithSpeedAndPulseConstant;
}

bool SensorRegisters::isReadable(int address) const
{
    if (address == SpeedRegister || address == ConstPerPulseRegister)
        return hasSpeedAndPulseConstant();
    return (address >= IrradianceRegister && address <= StatusRegister)
            || (address >= SerialLowRegister && address <= LastConfigurationRegister);
}

bool SensorRegisters::isWritable(int address) const
{
    if (address == ConstPerPulseRegister)
        return hasSpeedAndPulseConstant();
    return (address >= FirstConfigurationRegister && address <= LastConfigurationRegister)
            || address == SaveCommandRegister || address == ResetCommandRegister;
}

bool SensorRegisters::hasRegister(int address) const
{
    return isReadable(address) || isWritable(address);
}

quint16 SensorRegisters::statusRegister() const
{
    quint16 status = identity.statusBits & 0x3F & ~(1u << NvSavedBit);
    if (nvSaved)
        status |= 1u << NvSavedBit;
    return status;
}

ModbusException SensorRegisters::read(int address, int count, double secondsSinceStart,
                                      QVector<quint16> *words)
{
    if (count < 1 || count > MaxReadCount)
        return IllegalDataValue;
    for (int a = address; a < address + count; ++a) {
        if (!isReadable(a))
            return IllegalDataAddress;
    }
    // One sample per request, so that a block read sees consistent values.
    const LiveSample live = liveValues->sampleAt(secondsSinceStart);
    words->clear();
    for (int a = address; a < address + count; ++a) {
        quint16 value = 0;
        switch (a) {
        case IrradianceRegister: value = live.irradiance; break;
        case TemperatureRegister: value = live.temperature; break;
        case StatusRegister: value = statusRegister(); break;
        case SpeedRegister: value = live.speed; break;
        // The serial number puts its low word first, the firmware version
        // its high word: that is how the sensor has always done it.
        case SerialLowRegister: value = identity.serialNumber & 0xFFFF; break;
        case SerialHighRegister: value = identity.serialNumber >> 16; break;
        case FirmwareHighRegister: value = identity.firmwareVersion >> 16; break;
        case FirmwareLowRegister: value = identity.firmwareVersion & 0xFFFF; break;
        default: current.registerValue(a, &value); break;
        }
        words->append(value);
    }
    return NoException;
}

ModbusException SensorRegisters::write(int address, const QVector<quint16> &words)
{
    if (words.isEmpty() || words.size() > MaxWriteCount)
        return IllegalDataValue;
    for (int i = 0; i < words.size(); ++i) {
        if (!isWritable(address + i))
            return IllegalDataAddress;
    }
    for (int i = 0; i < words.size(); ++i) {
        const int a = address + i;
        const bool command = a == SaveCommandRegister || a == ResetCommandRegister;
        if (command ? words.at(i) != 1 : !SensorConfiguration::isAcceptable(a, words.at(i)))
            return IllegalDataValue;
    }

    for (int i = 0; i < words.size(); ++i)
        current.setRegisterValue(address + i, words.at(i));
    if (current != saved)
        nvSaved = false;

    for (int i = 0; i < words.size(); ++i) {
        if (address + i == SaveCommandRegister) {
            const ModbusException result = save();
            if (result != NoException)
                return result;
        } else if (address + i == ResetCommandRegister) {
            resetPending = true;
        }
    }
    return NoException;
}

ModbusException SensorRegisters::save()
{
    if (!stateFile.isEmpty()) {
        QString error;
        if (!current.saveToFile(stateFile, &error)) {
            qWarning("kelvane-sim: cannot save the configuration to %s: %s",
                     qPrintable(stateFile), qPrintable(error));
            return SlaveDeviceFailure;
        }
    }
    saved = current;
    nvSaved = true;
    everSaved = true;
    return NoException;
}

void SensorRegisters::finishTransaction()
{
    if (resetPending) {
        resetPending = false;
        current = saved;
        nvSaved = everSaved || startupNvSaved;
    }
    activeLink.node = current.node;
    activeLink.bitRateCode = current.bitRate;
    activeLink.serialConfCode = current.serialConf;
}
