#include "serialportinfo.h"

#include "link/serialline.h"

QString SerialPortInfo::device() const
{
#ifdef Q_OS_WIN
    return deviceNameFromFriendlyName(friendName);
#else
    return physName;
#endif
}
