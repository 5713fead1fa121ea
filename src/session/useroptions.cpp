#include "useroptions.h"

#include "link/storedsetting.h"

#include <QtGlobal>

#include <limits>

QVector<StoredIntField> UserOptions::fields()
{
    return { { "readTimer", &readTimer, 0, std::numeric_limits<int>::max() },
             { "maxReadTime", &maxReadTime, MinMaxReadTime, std::numeric_limits<int>::max() },
             { "temperaturePrecision", &temperaturePrecision, 0, MaxTemperaturePrecision },
             { "speedPrecision", &speedPrecision, 0, MaxSpeedPrecision } };
}

UserOptions UserOptions::load()
{
    UserOptions options;
    loadIntFields(QStringLiteral("userConfig"), options.fields());
    return options;
}

void UserOptions::save() const
{
    UserOptions copy = *this;
    saveIntFields(QStringLiteral("userConfig"), copy.fields());
}
