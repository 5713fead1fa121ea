#include "parametertable.h"

const std::array<ParameterDescriptor, ParameterCount> parameterTable = {{
    // id, name, access, read, write, bits, bit, preset, conversion, minFirmware
    { 0, "SerialNumber",    AccessReadOnly,  0x8000, 0x9001, 32, 0, 1,    ConvInteger,           FirmwareBase },
    { 1, "FWVersion",       AccessReadOnly,  0x8002, 0,      32, 0, 0,    ConvFirmwareText,      FirmwareBase },
    { 2, "FactoryCalConf",  AccessReadOnly,  0x0102, 0,      1,  0, 1,    ConvCalibrationStatus, FirmwareBase },
    { 3, "NotVolatilePars", AccessReadOnly,  0x0102, 0,      1,  1, 1,    ConvNvStatus,          FirmwareBase },
    { 4, "DigInput",        AccessReadOnly,  0x0102, 0,      1,  2, 1,    ConvDigitalInput,      FirmwareBase },
    { 5, "PT100Status",     AccessReadOnly,  0x0102, 0,      1,  3, 1,    ConvOkFail,            FirmwareBase },
    { 6, "AnOutputStatus",  AccessReadOnly,  0x0102, 0,      1,  4, 1,    ConvOkFail,            FirmwareBase },
    { 7, "Watchdog",        AccessReadOnly,  0x0102, 0,      1,  5, 0,    ConvWatchdog,          FirmwareBase },
    { 8, "Node",            AccessReadWrite, 0x8004, 0x8004, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 9, "BitRate",         AccessReadWrite, 0x8005, 0x8005, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 10, "SerialConf",     AccessReadWrite, 0x8006, 0x8006, 16, 0, 0,    ConvInteger,           FirmwareBase },
    { 11, "Delay",          AccessReadWrite, 0x8007, 0x8007, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 12, "AnOutputMode",   AccessReadWrite, 0x8008, 0x8008, 16, 0, 2,    ConvInteger,           FirmwareBase },
    { 13, "AnOutputSelect", AccessReadWrite, 0x8009, 0x8009, 16, 0, 2,    ConvInteger,           FirmwareBase },
    { 14, "PT100Enable",    AccessReadWrite, 0x800A, 0x800A, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 15, "ConstPerPulse",  AccessReadWrite, 0x8030, 0x8030, 16, 0, 2949, ConvConstPerPulse,     FirmwareWithSpeed },
    { 16, "NvParSave",      AccessCommand,   0,      0x8100, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 17, "SWReset",        AccessCommand,   0,      0x8101, 16, 0, 1,    ConvInteger,           FirmwareBase },
    { 18, "Irradiance",     AccessReadOnly,  0x0100, 0,      16, 0, 0,    ConvInteger,           FirmwareBase },
    { 19, "Temp",           AccessReadOnly,  0x0101, 0,      16, 0, 0,    ConvTemperature,       FirmwareBase },
    { 20, "Speed",          AccessReadOnly,  0x0103, 0,      16, 0, 0,    ConvSpeed,             FirmwareWithSpeed },
}};

const std::array<int, 15> readAllIds = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14 };
const std::array<int, 8> writeAllIds = { 8, 9, 10, 11, 12, 13, 14, 15 };
const std::array<int, 3> liveIds = { IdIrradiance, IdTemp, IdSpeed };
const std::array<int, 15> clearedAtStartIds = { 0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 18, 19, 20 };

QVector<int> availableLiveIds(quint32 firmwareVersion)
{
    QVector<int> ids;
    for (int id : liveIds) {
        if (parameterDescriptor(id).isAvailable(firmwareVersion))
            ids.append(id);
    }
    return ids;
}

const ParameterDescriptor &parameterDescriptor(int id)
{
    Q_ASSERT(id >= 0 && id < ParameterCount);
    return parameterTable[static_cast<size_t>(id)];
}
