#include "livevalues.h"

#include <QtMath>
#include <algorithm>

namespace {
const double DaySeconds = 1200.0;
const double StartPhase = 0.3;      // fraction of the day at start: mid-morning
const double PeakIrradiance = 1150.0;
}

LiveValues::LiveValues(std::optional<double> forcedTemperature, quint32 seed)
    : forcedTemperature(forcedTemperature), generator(seed)
{
}

LiveValues LiveValues::forSensor(int index, std::optional<double> forcedTemperature)
{
    LiveValues values(forcedTemperature, quint32(index) + 1);
    values.irradianceOffset = index * IrradianceStep;
    values.temperatureOffset = index * TemperatureStep;
    return values;
}

quint16 LiveValues::temperatureRegister(double celsius)
{
    return static_cast<quint16>(static_cast<qint16>(qRound(celsius * 4.0)));
}

LiveSample LiveValues::sampleAt(double secondsSinceStart)
{
    std::normal_distribution<double> noise(0.0, 1.0);

    // Clouds come and go slowly: a bounded random walk, advanced by the time
    // since the last sample so that polling faster does not make it jumpier.
    const double step = std::max(0.0, secondsSinceStart - lastCloudTime);
    lastCloudTime = secondsSinceStart;
    cloudCover = std::clamp(cloudCover + noise(generator) * 0.02 * std::sqrt(step), 0.0, 0.6);

    const double dayPhase = secondsSinceStart / DaySeconds + StartPhase;
    // Sun above the horizon during the first half of each day.
    const double elevation = std::sin(2.0 * M_PI * (dayPhase - std::floor(dayPhase)));
    double irradiance = elevation > 0.0 ? PeakIrradiance * std::pow(elevation, 1.2) * (1.0 - cloudCover) : 0.0;
    if (irradiance > 0.0)
        irradiance += noise(generator) * 4.0;

    double celsius = 25.0 + 4.0 * std::sin(2.0 * M_PI * (dayPhase - 0.1)) + noise(generator) * 0.1;
    if (forcedTemperature)
        celsius = *forcedTemperature;
    // Even at night, when the sun gives nothing, the sensors stay apart.
    irradiance += irradianceOffset;
    celsius += temperatureOffset;

    const double speed = 3.0 + 1.5 * std::sin(2.0 * M_PI * secondsSinceStart / 97.0) + noise(generator) * 0.05;

    LiveSample sample;
    sample.irradiance = static_cast<quint16>(std::clamp(qRound(irradiance), 0, 1400));
    sample.temperature = temperatureRegister(celsius);
    sample.speed = static_cast<quint16>(std::clamp(qRound(speed * 64.0), 0, 0xFFFF));
    return sample;
}
