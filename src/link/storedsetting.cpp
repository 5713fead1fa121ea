#include "storedsetting.h"

#include <QSettings>

int storedInt(const QSettings &settings, const QString &key, int defaultValue, int minimum, int maximum)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= minimum && value <= maximum ? value : defaultValue;
}

void loadIntFields(const QString &group, const QVector<StoredIntField> &fields)
{
    QSettings settings;
    settings.beginGroup(group);
    for (const StoredIntField &field : fields)
        *field.value = storedInt(settings, QLatin1String(field.key), *field.value, field.minimum, field.maximum);
}

void saveIntFields(const QString &group, const QVector<StoredIntField> &fields)
{
    QSettings settings;
    settings.beginGroup(group);
    for (const StoredIntField &field : fields)
        settings.setValue(QLatin1String(field.key), *field.value);
}
