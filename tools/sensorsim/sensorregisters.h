#ifndef SENSORREGISTERS_H
#define SENSORREGISTERS_H

#include "livevalues.h"
#include "sensorconfiguration.h"

#include <QString>
#include <QVector>

// Modbus exception codes the sensor answers with.
enum ModbusException : quint8 {
    NoException = 0,
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
    SlaveDeviceFailure = 4
};

// What never changes while the sensor runs.
struct SensorIdentity
{
    quint32 serialNumber = 9000;
    quint32 firmwareVersion = 0x80010000u;
    quint16 statusBits = 0x1B;      // bit 1 (parameters saved) is kept live
};

// Node, bit rate and framing in force on the line. They follow the
// configuration registers only once a transaction is complete, because the
// acknowledgement of a write still goes out at the old settings.
struct LinkSettings
{
    int node = 1;
    int bitRateCode = 1;
    int serialConfCode = 0;
};

// The sensor's holding registers: identity, status, configuration, the two
// commands and the live values. Knows nothing of frames or of the line.
class SensorRegisters
{
public:
    static constexpr int StatusRegister = 0x0102;
    static constexpr int NvSavedBit = 1;
    static constexpr int SaveCommandRegister = 0x8100;
    static constexpr int ResetCommandRegister = 0x8101;

    // saved is what the non-volatile memory held at power-up, if anything;
    // the sensor then starts from it. stateFile, when not empty, is where a
    // save command keeps the configuration.
    SensorRegisters(const SensorIdentity &identity, const SensorConfiguration &startup,
                    const std::optional<SensorConfiguration> &saved, const QString &stateFile,
                    LiveValues *liveValues);

    // Function 3. Fills words with count registers from address, or returns
    // the exception. secondsSinceStart times the live values.
    ModbusException read(int address, int count, double secondsSinceStart, QVector<quint16> *words);
    // Function 16. All values are checked before any is applied.
    ModbusException write(int address, const QVector<quint16> &words);

    // Applies what waits for the end of the transaction: a pending reset and
    // new link settings. Call after the reply has gone out (or when no reply
    // goes out at all).
    void finishTransaction();

    const SensorConfiguration &configuration() const { return current; }
    const LinkSettings &link() const { return activeLink; }
    quint16 statusRegister() const;
    bool hasRegister(int address) const;

private:
    bool isReadable(int address) const;
    bool isWritable(int address) const;
    bool hasSpeedAndPulseConstant() const;
    ModbusException save();

    SensorIdentity identity;
    SensorConfiguration current;
    SensorConfiguration saved;      // what a reset brings back
    QString stateFile;
    LiveValues *liveValues;
    LinkSettings activeLink;
    bool startupNvSaved;
    bool nvSaved;
    bool everSaved;
    bool resetPending = false;
};

#endif // SENSORREGISTERS_H
