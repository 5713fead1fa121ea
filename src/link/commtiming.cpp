#include "commtiming.h"
#include "storedsetting.h"

#include <QtGlobal>

#include <limits>

QVector<StoredIntField> CommTiming::fields()
{
    return { { "requestTimeMs", &requestTimeMs, MinTimeMs, MaxTimeMs },
             { "responseTimeMs", &responseTimeMs, MinTimeMs, MaxTimeMs },
             { "maxRetries", &maxRetries, MinRetries, MaxRetries },
             { "incrementalTimeMs", &incrementalTimeMs, MinIncrementMs, MaxIncrementMs },
             { "networkRequestTimeMs", &networkRequestTimeMs, MinTimeMs, MaxTimeMs },
             { "networkResponseTimeMs", &networkResponseTimeMs, MinTimeMs, MaxTimeMs } };
}

CommTiming CommTiming::load()
{
    CommTiming timing;
    loadIntFields(QStringLiteral("comConfig"), timing.fields());
    return timing;
}

void CommTiming::save() const
{
    CommTiming copy = *this;
    saveIntFields(QStringLiteral("comConfig"), copy.fields());
}

CommTiming CommTiming::bounded() const
{
    CommTiming timing;
    timing.requestTimeMs = qBound(MinTimeMs, requestTimeMs, MaxTimeMs);
    timing.responseTimeMs = qBound(MinTimeMs, responseTimeMs, MaxTimeMs);
    timing.maxRetries = qBound(MinRetries, maxRetries, MaxRetries);
    timing.incrementalTimeMs = qBound(MinIncrementMs, incrementalTimeMs, MaxIncrementMs);
    timing.networkRequestTimeMs = qBound(MinTimeMs, networkRequestTimeMs, MaxTimeMs);
    timing.networkResponseTimeMs = qBound(MinTimeMs, networkResponseTimeMs, MaxTimeMs);
    return timing;
}

CommTiming CommTiming::forLine(bool network) const
{
    CommTiming timing = *this;
    if (network) {
        timing.requestTimeMs = networkRequestTimeMs;
        timing.responseTimeMs = networkResponseTimeMs;
    }
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
