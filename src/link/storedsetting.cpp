#include "storedsetting.h"

#include <QSettings>

int storedInt(const QSettings &settings, const QString &key, int defaultValue, int minimum, int maximum)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= minimum && value <= maximum ? value : defaultValue;
}
