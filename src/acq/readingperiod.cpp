#include "readingperiod.h"

#include "device/parametertable.h"
#include "link/commtiming.h"

#include <limits>

int liveReadsPerTick(quint32 firmwareVersion)
{
    if (!firmwareKnown(firmwareVersion))
        return int(liveIds.size());
    return availableLiveIds(firmwareVersion).size();
}

int minimumReadingPeriodMs(const CommTiming &timing, quint32 firmwareVersion)
{
    const qint64 period = qint64(timing.worstCaseReadTimeMs()) * liveReadsPerTick(firmwareVersion);
    return int(qMin<qint64>(period, std::numeric_limits<int>::max()));
}

int minimumReadingPeriodMs(const CommTiming &timing, const QVector<quint32> &firmwareVersions)
{
    qint64 period = 0;
    for (quint32 firmwareVersion : firmwareVersions)
        period += minimumReadingPeriodMs(timing, firmwareVersion);
    return int(qMin<qint64>(period, std::numeric_limits<int>::max()));
}

int tickFlashMs(int periodMs)
{
    return qMin(periodMs / 4, 1000);
}
