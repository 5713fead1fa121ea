#include "useroptions.h"

#include <QSettings>
#include <QtGlobal>

UserOptions UserOptions::load()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("userConfig"));
    UserOptions options;
    options.readTimer = qMax(0, settings.value(QStringLiteral("readTimer"), 0).toInt());
    options.maxReadTime = qMax(int(MinMaxReadTime), settings.value(QStringLiteral("maxReadTime"), 60000).toInt());
    options.temperaturePrecision = qBound(0, settings.value(QStringLiteral("temperaturePrecision"), 1).toInt(),
                                          int(MaxTemperaturePrecision));
    options.speedPrecision = qBound(0, settings.value(QStringLiteral("speedPrecision"), 2).toInt(),
                                    int(MaxSpeedPrecision));
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
