#include "observedline.h"

#include "link/serialline.h"

bool lineMatches(const ObservedLine &line, int bitRateCode, int serialConfCode)
{
    if (!isValidBitRateCode(bitRateCode) || !isValidFramingCode(serialConfCode))
        return false;
    const LineSettings expected = lineSettingsForCodes(bitRateCode, serialConfCode);
    return line.baud == expected.baud
            && line.stopBits == expected.stopBits
            && line.oddParity == (expected.parity == 'O');
}
