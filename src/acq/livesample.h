#ifndef LIVESAMPLE_H
#define LIVESAMPLE_H

#include <QDateTime>
#include <QMap>

// One reading of a sensor's live values, stamped with the UTC time it was
// taken. Values are keyed by parameter id (IdIrradiance, IdTemp, IdSpeed);
// a value the sensor lacks, or one that failed to read this time, is absent.
struct LiveSample
{
    QDateTime time;
    QMap<int, double> values;
};

#endif // LIVESAMPLE_H
