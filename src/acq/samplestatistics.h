#ifndef SAMPLESTATISTICS_H
#define SAMPLESTATISTICS_H

#include <QtGlobal>

// Mean, minimum, maximum and standard deviation of a stream of samples,
// kept in constant memory however long the stream (Welford's running sums,
// which stay accurate where a plain sum of squares would cancel out).
class SampleStatistics
{
public:
    void add(double value);
    void clear() { *this = SampleStatistics(); }

    qint64 count() const { return samples; }
    // Meaningless while count() is 0.
    double mean() const { return runningMean; }
    double minimum() const { return lowest; }
    double maximum() const { return highest; }
    // The population standard deviation of the samples; 0 for one sample.
    double standardDeviation() const;

private:
    qint64 samples = 0;
    double runningMean = 0;
    double squaredDeviations = 0;
    double lowest = 0;
    double highest = 0;
};

#endif // SAMPLESTATISTICS_H
