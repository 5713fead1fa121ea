#ifndef SERIALLINE_H
#define SERIALLINE_H

#include <QString>

// The line settings of one bit-rate code and one framing code, as
// libmodbus takes them. The codes are those of the sensor's BitRate and
// SerialConf registers and of the two line combo boxes.
struct LineSettings
{
    int baud = 19200;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};

constexpr int BitRateCodeCount = 5;
constexpr int FramingCodeCount = 4;

bool isValidBitRateCode(int code);
bool isValidFramingCode(int code);
int baudForCode(int bitRateCode);            // 0 when the code is unknown
// Both codes must be valid.
LineSettings lineSettingsForCodes(int bitRateCode, int framingCode);
QString framingName(int framingCode);        // "8N1", "8E1", "8O1", "8N2"

#endif // SERIALLINE_H
