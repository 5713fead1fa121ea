#ifndef STOREDSETTING_H
#define STOREDSETTING_H

#include <QString>

class QSettings;

// A number from the settings store, or defaultValue when it is missing, not
// a number or outside [minimum, maximum]: a damaged settings file falls
// back to the defaults, never to the edge of a range.
int storedInt(const QSettings &settings, const QString &key, int defaultValue, int minimum, int maximum);

#endif // STOREDSETTING_H
