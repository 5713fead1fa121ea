#include "seriallinesettings.h"

#include "serialline.h"

#include <QSettings>

namespace {
const QString group = QStringLiteral("serialConfig");
const QString portKey = QStringLiteral("serialInterface");
}

QVector<StoredIntField> SerialLineSettings::fields()
{
    return { { "slave", &slave, MinSlave, MaxSlave },
             { "serialBitRate", &bitRateCode, 0, BitRateCodeCount - 1 },
             { "serialDelay", &delay, MinDelay, MaxDelay },
             { "serialDataBitStopParity", &framingCode, 0, FramingCodeCount - 1 } };
}

SerialLineSettings SerialLineSettings::load()
{
    SerialLineSettings line;
    loadIntFields(group, line.fields());
    QSettings settings;
    settings.beginGroup(group);
    line.port = settings.value(portKey).toString();
    return line;
}

void SerialLineSettings::save() const
{
    SerialLineSettings copy = *this;
    saveIntFields(group, copy.fields());
    QSettings settings;
    settings.beginGroup(group);
    settings.setValue(portKey, port);
}

bool SerialLineSettings::operator==(const SerialLineSettings &other) const
{
    return port == other.port && slave == other.slave && bitRateCode == other.bitRateCode
            && delay == other.delay && framingCode == other.framingCode;
}
