#include "serialline.h"

namespace {
const int bauds[BitRateCodeCount] = { 9600, 19200, 38400, 57600, 115200 };
const LineSettings framings[FramingCodeCount] = {
    { 0, 'N', 8, 1 }, { 0, 'E', 8, 1 }, { 0, 'O', 8, 1 }, { 0, 'N', 8, 2 } };
const char *const framingNames[FramingCodeCount] = { "8N1", "8E1", "8O1", "8N2" };
}

bool isValidBitRateCode(int code) { return code >= 0 && code < BitRateCodeCount; }
bool isValidFramingCode(int code) { return code >= 0 && code < FramingCodeCount; }

int baudForCode(int bitRateCode)
{
    return isValidBitRateCode(bitRateCode) ? bauds[bitRateCode] : 0;
}

LineSettings lineSettingsForCodes(int bitRateCode, int framingCode)
{
    Q_ASSERT(isValidBitRateCode(bitRateCode) && isValidFramingCode(framingCode));
    LineSettings settings = framings[framingCode];
    settings.baud = bauds[bitRateCode];
    return settings;
}

QString framingName(int framingCode)
{
    return isValidFramingCode(framingCode) ? QString::fromLatin1(framingNames[framingCode]) : QString();
}
