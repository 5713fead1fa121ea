#ifndef READINGPERIOD_H
#define READINGPERIOD_H

#include <QVector>
#include <QtGlobal>

struct CommTiming;

// Live values read at every tick: those the firmware has, or all three
// while no firmware version is known yet.
int liveReadsPerTick(quint32 firmwareVersion);

// The shortest reading period: every read of a tick may take its worst case.
int minimumReadingPeriodMs(const CommTiming &timing, quint32 firmwareVersion);
// The same for a tick that reads several sensors one after the other.
int minimumReadingPeriodMs(const CommTiming &timing, const QVector<quint32> &firmwareVersions);

// The indicator flashes green for a quarter of the period, one second at most.
int tickFlashMs(int periodMs);

#endif // READINGPERIOD_H
