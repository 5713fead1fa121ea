#ifndef LIVEVALUES_H
#define LIVEVALUES_H

#include <QtGlobal>
#include <optional>
#include <random>

// The three measured values, already in register units.
struct LiveSample
{
    quint16 irradiance = 0;     // W/m^2
    quint16 temperature = 0;    // signed, 0.25 degC per unit
    quint16 speed = 0;          // 1/64 per unit
};

// Makes measurements that move like a sensor outdoors: irradiance follows a
// compressed day (one day in twenty minutes, starting mid-morning) with
// passing clouds and a little noise, the temperature drifts between about
// 21 and 29 degC, and the speed wanders around a few units. A forced
// temperature stays put, for checking how negative readings are shown.
class LiveValues
{
public:
    explicit LiveValues(std::optional<double> forcedTemperature = std::nullopt, quint32 seed = 1);

    // The values of the sensor at this place on a line of several: each
    // has its own clouds and noise, and the irradiance and temperature of
    // the sensor at index i (from 0) lie i * IrradianceStep W/m^2 and
    // i * TemperatureStep degC above those of the first, so that a test can
    // tell whose reading it holds. The first is a lone sensor's.
    static LiveValues forSensor(int index, std::optional<double> forcedTemperature);
    static constexpr double IrradianceStep = 100.0;
    static constexpr double TemperatureStep = 1.0;

    LiveSample sampleAt(double secondsSinceStart);

    // Register units of a temperature in degC, rounded to the nearest quarter.
    static quint16 temperatureRegister(double celsius);

private:
    std::optional<double> forcedTemperature;
    std::mt19937 generator;
    double irradianceOffset = 0.0;
    double temperatureOffset = 0.0;
    double cloudCover = 0.0;
    double lastCloudTime = 0.0;
};

#endif // LIVEVALUES_H
