#include "serialportinfo.h"

QString SerialPortInfo::device() const
{
    return physName;
}
