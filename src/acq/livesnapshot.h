#ifndef LIVESNAPSHOT_H
#define LIVESNAPSHOT_H

#include "acq/samplestatistics.h"

#include <QMap>
#include <QtGlobal>

class SensorLink;

// The live values of one sensor sampled for a short while: statistics of
// each live value the firmware has, by id (IdIrradiance, IdTemp, IdSpeed),
// and how many samples could not be read.
struct LiveSnapshot
{
    QMap<int, SampleStatistics> statistics;
    qint64 failedSamples = 0;

    void add(int id, double value) { statistics[id].add(value); }

    // Reads the live values the firmware has of the sensor at slave, back to
    // back, in rounds begun within milliseconds, each value that could not
    // be read counted as a failed sample; stops early once the link is
    // cancelled. Runs on the link's thread and touches no widget.
    static LiveSnapshot sample(SensorLink &link, int slave, quint32 firmwareVersion, int milliseconds);
};

#endif // LIVESNAPSHOT_H
