#ifndef SENSORVALUE_H
#define SENSORVALUE_H

#include "conversions.h"

// Where a value of the sensor came from. Only a value read from this sensor
// or set by the user since is ever written to it: a field that merely
// still shows the form's default, or another sensor's value, is not.
enum class ValueSource {
    Unknown,
    ReadFromSensor,
    SetByUser
};

struct SensorValue
{
    ReadValue value;      // display is invalid when there is nothing to show
    ValueSource source = ValueSource::Unknown;

    bool isKnown() const { return source != ValueSource::Unknown; }
};

#endif // SENSORVALUE_H
