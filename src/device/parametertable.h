#ifndef PARAMETERTABLE_H
#define PARAMETERTABLE_H

#include <QVector>
#include <QtGlobal>
#include <array>

// How register words become a display value and back.
enum ConversionKind {
    ConvInteger = 0,
    ConvFirmwareText = 2,
    ConvCalibrationStatus = 3,
    ConvNvStatus = 4,
    ConvDigitalInput = 5,
    ConvOkFail = 6,
    ConvWatchdog = 7,
    ConvSpeed = 8,
    ConvTemperature = 9,
    ConvConstPerPulse = 10
};

enum ParameterAccess {
    AccessReadOnly = 0,
    AccessCommand = 1,
    AccessReadWrite = 2
};

// The sensor's parameter ids, equal to the row of parameterTable.
enum ParameterId {
    IdSerialNumber = 0,
    IdFWVersion,
    IdFactoryCalConf,
    IdNotVolatilePars,
    IdDigInput,
    IdPT100Status,
    IdAnOutputStatus,
    IdWatchdog,
    IdNode,
    IdBitRate,
    IdSerialConf,
    IdDelay,
    IdAnOutputMode,
    IdAnOutputSelect,
    IdPT100Enable,
    IdConstPerPulse,
    IdNvParSave,
    IdSWReset,
    IdIrradiance,
    IdTemp,
    IdSpeed,
    ParameterCount
};

struct ParameterDescriptor
{
    qint32 id;
    const char *name;
    qint32 access;
    qint32 readAddress;
    qint32 writeAddress;
    quint16 bitWidth;
    qint16 bitIndex;
    qint32 presetValue;
    qint32 conversion;
    quint32 minFirmware;

    // Two registers for 32 bits, one for 16 bits and for a single bit.
    int registerCount() const { return bitWidth / 16 > 0 ? bitWidth / 16 : 1; }
    // firmwareVersion 0 (nothing read yet) makes every parameter unavailable.
    bool isAvailable(quint32 firmwareVersion) const { return firmwareVersion >= minFirmware; }
};

// Firmware from which all parameters but ConstPerPulse and Speed exist.
constexpr quint32 FirmwareBase = 0x80000000u;
// Firmware from which ConstPerPulse and Speed exist as well.
constexpr quint32 FirmwareWithSpeed = 0x80010000u;

extern const std::array<ParameterDescriptor, ParameterCount> parameterTable;

const ParameterDescriptor &parameterDescriptor(int id);

// A firmware version with its top bit set is a version read from a sensor.
inline bool firmwareKnown(quint32 firmwareVersion) { return firmwareVersion & 0x80000000u; }

// Fixed lists of ids that drive the operations.
extern const std::array<int, 15> readAllIds;      // ConstPerPulse follows separately
extern const std::array<int, 8> writeAllIds;
extern const std::array<int, 3> liveIds;          // position = plot tab index
extern const std::array<int, 15> clearedAtStartIds;

// The live values a sensor of this firmware has, in liveIds order.
QVector<int> availableLiveIds(quint32 firmwareVersion);

#endif // PARAMETERTABLE_H
