#ifndef USEROPTIONS_H
#define USEROPTIONS_H

#include "link/storedsetting.h"

// The reading options of the "userConfig" group, kept within the ranges
// the options dialog allows.
struct UserOptions
{
    int readTimer = 0;              // reading period (ms), clamped by the controls
    int maxReadTime = 60000;        // upper bound of the reading period (ms)
    int temperaturePrecision = 1;   // decimals of the temperature
    int speedPrecision = 2;         // decimals of the speed

    static constexpr int MinMaxReadTime = 100;
    static constexpr int MaxTemperaturePrecision = 2;
    static constexpr int MaxSpeedPrecision = 6;

    static UserOptions load();
    void save() const;
    QVector<StoredIntField> fields();
};

#endif // USEROPTIONS_H
