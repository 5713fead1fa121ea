#ifndef SENSORADDRESS_H
#define SENSORADDRESS_H

// Where a sensor answers: its slave address and the line's bit-rate and
// framing codes (those of its BitRate and SerialConf registers).
struct SensorAddress
{
    int slave = 1;
    int bitRateCode = 1;
    int framingCode = 0;

    bool operator==(const SensorAddress &other) const
    {
        return slave == other.slave && bitRateCode == other.bitRateCode && framingCode == other.framingCode;
    }
    bool operator!=(const SensorAddress &other) const { return !(*this == other); }
};

#endif // SENSORADDRESS_H
