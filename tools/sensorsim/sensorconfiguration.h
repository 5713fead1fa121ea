#ifndef SENSORCONFIGURATION_H
#define SENSORCONFIGURATION_H

#include <QString>
#include <QtGlobal>

// The sensor's configuration registers (0x8004 to 0x800A and 0x8030): what
// a write changes, a save keeps and a reset brings back.
struct SensorConfiguration
{
    quint16 node = 1;
    quint16 bitRate = 1;        // code of the bit-rate table, 1 = 19200
    quint16 serialConf = 0;     // framing code, 0 = 8N1
    quint16 delay = 1;
    quint16 anOutputMode = 1;
    quint16 anOutputSelect = 0;
    quint16 pt100Enable = 1;
    quint16 constPerPulse = 2949;

    bool operator==(const SensorConfiguration &other) const;
    bool operator!=(const SensorConfiguration &other) const { return !(*this == other); }

    // The configuration register at address, or false when the address is
    // not one of them.
    bool registerValue(int address, quint16 *value) const;
    bool setRegisterValue(int address, quint16 value);

    // A real sensor refuses these values with "Illegal data value".
    static bool isAcceptable(int address, quint16 value);
    bool isValid() const;

    // Keeps the configuration in, and takes it back from, a small text file
    // of "key=value" lines (the sensor's non-volatile memory).
    bool saveToFile(const QString &path, QString *error) const;
    static bool loadFromFile(const QString &path, SensorConfiguration *configuration, QString *error);
};

#endif // SENSORCONFIGURATION_H
