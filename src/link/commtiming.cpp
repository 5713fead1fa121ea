#include "commtiming.h"

#include <QSettings>
#include <QtGlobal>

#include <limits>

CommTiming CommTiming::load()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("comConfig"));
    CommTiming timing;
    timing.requestTimeMs = settings.value(QStringLiteral("requestTimeMs"), 25).toInt();
    timing.responseTimeMs = settings.value(QStringLiteral("responseTimeMs"), 25).toInt();
    timing.maxRetries = settings.value(QStringLiteral("maxRetries"), 3).toInt();
    timing.incrementalTimeMs = settings.value(QStringLiteral("incrementalTimeMs"), 5).toInt();
    settings.endGroup();
    return timing.bounded();
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
