#ifndef FEEDMESSAGES_H
#define FEEDMESSAGES_H

#include "acq/livesample.h"
#include "acq/recordlog.h"

#include <QByteArray>
#include <QString>

// Who a message is about: the sensor's serial number, its address on the
// bus and the name the plant gave it.
struct SensorIdentity
{
    quint32 serialNumber = 0;
    int address = 0;
    QString label;
};

// Topics: kelvaset/<key>/sample, .../record and .../status for a sensor,
// kelvaset/logger/<client id>/status for the logger's own connection. The
// key is the sensor's serial number, or <serial>_A<address> for a second
// sensor of the line known by the same one (MeasurementLog::sensorKey).
QString sampleTopic(const QString &sensorKey);
QString recordTopic(const QString &sensorKey);
QString statusTopic(const QString &sensorKey);
inline QString sampleTopic(quint32 serialNumber) { return sampleTopic(QString::number(serialNumber)); }
inline QString recordTopic(quint32 serialNumber) { return recordTopic(QString::number(serialNumber)); }
inline QString statusTopic(quint32 serialNumber) { return statusTopic(QString::number(serialNumber)); }
QString loggerStatusTopic(const QString &clientId);

// Compact UTF-8 JSON, keys in a fixed order so that a person reading the
// feed finds the time first. Values a sensor lacks are left out; a value
// without samples in an interval has null statistics and a count of 0.
//   {"time":"2026-03-03T14:05:09.047Z","serial":9001,"address":1,"label":"POA east",
//    "values":{"irradiance":{"value":812,"unit":"W/m^2"},"temperature":{...},"speed":{...}}}
QByteArray sampleMessage(const SensorIdentity &sensor, const LiveSample &sample);
//   {"time":"<end of interval>","interval_s":60,"serial":9001,"address":1,"label":"POA east",
//    "values":{"irradiance":{"mean":..,"min":..,"max":..,"std":..,"count":..,"unit":"W/m^2"},...}}
QByteArray recordMessage(const SensorIdentity &sensor, const IntervalRecord &record);

#endif // FEEDMESSAGES_H
