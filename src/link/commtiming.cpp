#include "commtiming.h"
#include "storedsetting.h"

#include <QSettings>
#include <QtGlobal>

#include <limits>

CommTiming CommTiming::load()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("comConfig"));
    CommTiming timing;
    timing.requestTimeMs = storedInt(settings, QStringLiteral("requestTimeMs"), timing.requestTimeMs,
                                     MinTimeMs, MaxTimeMs);
    timing.responseTimeMs = storedInt(settings, QStringLiteral("responseTimeMs"), timing.responseTimeMs,
                                      MinTimeMs, MaxTimeMs);
    timing.maxRetries = storedInt(settings, QStringLiteral("maxRetries"), timing.maxRetries, MinRetries, MaxRetries);
    timing.incrementalTimeMs = storedInt(settings, QStringLiteral("incrementalTimeMs"), timing.incrementalTimeMs,
                                         MinIncrementMs, MaxIncrementMs);
    settings.endGroup();
    return timing;
}

void CommTiming::save() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("comConfig"));
    settings.setValue(QStringLiteral("requestTimeMs"), requestTimeMs);
    settings.setValue(QStringLiteral("responseTimeMs"), responseTimeMs);
    settings.setValue(QStringLiteral("maxRetries"), maxRetries);
    settings.setValue(QStringLiteral("incrementalTimeMs"), incrementalTimeMs);
    settings.endGroup();
}

CommTiming CommTiming::bounded() const
{
    CommTiming timing;
    timing.requestTimeMs = qBound(MinTimeMs, requestTimeMs, MaxTimeMs);
    timing.responseTimeMs = qBound(MinTimeMs, responseTimeMs, MaxTimeMs);
    timing.maxRetries = qBound(MinRetries, maxRetries, MaxRetries);
    timing.incrementalTimeMs = qBound(MinIncrementMs, incrementalTimeMs, MaxIncrementMs);
    return timing;
}

int CommTiming::worstCaseReadTimeMs() const
{
    if (maxRetries <= 0)
        return 0;
    // Each attempt waits for both timeouts, each grown by the increment once
    // per failed attempt before it. Within the bounded ranges this stays far
    // below the int range (10 x 10000 + 500 x 10 x 9).
    const qint64 retries = maxRetries;
    const qint64 total = retries * (qint64(requestTimeMs) + responseTimeMs)
            + qint64(incrementalTimeMs) * retries * (retries - 1);
    return int(qMin<qint64>(total, std::numeric_limits<int>::max()));
}
