#include "seriallinesettings.h"

#include "serialline.h"
#include "storedsetting.h"

#include <QSettings>

SerialLineSettings SerialLineSettings::load()
{
    return load(SerialLineSettings());
}

SerialLineSettings SerialLineSettings::load(const SerialLineSettings &defaults)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("serialConfig"));
    SerialLineSettings line = defaults;
    line.port = settings.value(QStringLiteral("serialInterface"), defaults.port).toString();
    line.slave = storedInt(settings, QStringLiteral("slave"), line.slave, MinSlave, MaxSlave);
    line.bitRateCode = storedInt(settings, QStringLiteral("serialBitRate"), line.bitRateCode, 0,
                                 BitRateCodeCount - 1);
    line.delay = storedInt(settings, QStringLiteral("serialDelay"), line.delay, MinDelay, MaxDelay);
    line.framingCode = storedInt(settings, QStringLiteral("serialDataBitStopParity"), line.framingCode, 0,
                                 FramingCodeCount - 1);
    settings.endGroup();
    return line;
}

void SerialLineSettings::save() const
{
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("serialConfig"));
        settings.setValue(QStringLiteral("serialInterface"), port);
        settings.setValue(QStringLiteral("serialDelay"), delay);
        settings.endGroup();
    }
    saveSensorLine();
}

void SerialLineSettings::saveSensorLine() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("serialConfig"));
    settings.setValue(QStringLiteral("slave"), slave);
    settings.setValue(QStringLiteral("serialBitRate"), bitRateCode);
    settings.setValue(QStringLiteral("serialDataBitStopParity"), framingCode);
    settings.endGroup();
}
