#include "serialportinfo.h"

#include "link/networkline.h"

namespace {
const QLatin1String NetworkEnumName("network");
}

QString SerialPortInfo::device() const
{
    return physName;
}

bool SerialPortInfo::isNetworkLine() const
{
    return enumName == NetworkEnumName;
}

SerialPortInfo SerialPortInfo::networkLine(const QString &url, const QString &name)
{
    NetworkLine line;
    SerialPortInfo port;
    // The URL as the link writes it, so one line has one identity however
    // it was typed.
    const QString canonical = NetworkLine::parse(url, &line) ? line.url() : url;
    port.portName = name.isEmpty() ? canonical : name;
    port.physName = canonical;
    port.friendName = port.portName;
    port.enumName = NetworkEnumName;
    port.identity = canonical;
    return port;
}
