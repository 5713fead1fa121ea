#include "samplestatistics.h"

#include <cmath>

void SampleStatistics::add(double value)
{
    ++samples;
    if (samples == 1) {
        lowest = highest = value;
    } else {
        lowest = qMin(lowest, value);
        highest = qMax(highest, value);
    }
    const double delta = value - runningMean;
    runningMean += delta / double(samples);
    squaredDeviations += delta * (value - runningMean);
}

double SampleStatistics::standardDeviation() const
{
    return samples > 0 ? std::sqrt(squaredDeviations / double(samples)) : 0.0;
}
