#include "useroptions.h"

#include "link/storedsetting.h"

#include <QSettings>
#include <QtGlobal>

#include <limits>

UserOptions UserOptions::load()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("userConfig"));
    UserOptions options;
    options.readTimer = storedInt(settings, QStringLiteral("readTimer"), options.readTimer, 0,
                                  std::numeric_limits<int>::max());
    options.maxReadTime = storedInt(settings, QStringLiteral("maxReadTime"), options.maxReadTime,
                                    MinMaxReadTime, std::numeric_limits<int>::max());
    options.temperaturePrecision = storedInt(settings, QStringLiteral("temperaturePrecision"),
                                             options.temperaturePrecision, 0, MaxTemperaturePrecision);
    options.speedPrecision = storedInt(settings, QStringLiteral("speedPrecision"), options.speedPrecision, 0,
                                       MaxSpeedPrecision);
    settings.endGroup();
    return options;
}

void UserOptions::saveDialogOptions() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("userConfig"));
    settings.setValue(QStringLiteral("speedPrecision"), speedPrecision);
    settings.setValue(QStringLiteral("temperaturePrecision"), temperaturePrecision);
    settings.setValue(QStringLiteral("maxReadTime"), maxReadTime);
    settings.endGroup();
}
