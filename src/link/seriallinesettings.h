#ifndef SERIALLINESETTINGS_H
#define SERIALLINESETTINGS_H

#include "storedsetting.h"

#include <QString>

// The serial line the sensor last answered at, as the "serialConfig" group
// of the settings keeps it between runs. A value that is missing, not a
// number or out of its range reads as its default, so a damaged settings
// file never leaves the line unusable.
struct SerialLineSettings
{
    QString port;             // name of the port to preselect, as the list shows it
    int slave = 1;            // Modbus address, 1 to 247
    int bitRateCode = 1;      // 0 to 4: 9600 to 115200, 19200 by default
    int delay = 1;            // the sensor's Delay register, 1 to 100
    int framingCode = 0;      // 0 to 3: 8N1, 8E1, 8O1, 8N2

    static constexpr int MinSlave = 1;
    static constexpr int MaxSlave = 247;
    static constexpr int MinDelay = 1;
    static constexpr int MaxDelay = 100;

    static SerialLineSettings load();
    void save() const;
    QVector<StoredIntField> fields();

    bool operator==(const SerialLineSettings &other) const;
    bool operator!=(const SerialLineSettings &other) const { return !(*this == other); }
};

#endif // SERIALLINESETTINGS_H
