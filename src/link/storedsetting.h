#ifndef STOREDSETTING_H
#define STOREDSETTING_H

#include <QString>
#include <QVector>

class QSettings;

// A number from the settings store, or defaultValue when it is missing, not
// a number or outside [minimum, maximum]: a damaged settings file falls
// back to the defaults, never to the edge of a range.
int storedInt(const QSettings &settings, const QString &key, int defaultValue, int minimum, int maximum);

// One whole-number setting of a group, bound to the member that holds it.
struct StoredIntField
{
    const char *key;
    int *value;
    int minimum;
    int maximum;
};

// Every group of whole numbers is loaded and saved the same way from the
// list of its fields: a field missing or damaged in the store keeps the
// value it holds (its default).
void loadIntFields(const QString &group, const QVector<StoredIntField> &fields);
void saveIntFields(const QString &group, const QVector<StoredIntField> &fields);

#endif // STOREDSETTING_H
