#ifndef COMMTIMING_H
#define COMMTIMING_H

#include "storedsetting.h"

// Timeouts and retries of every parameter transfer, the "comConfig" group
// of the settings. The link holds the timing in force; a change made in the
// options reaches it for the next transfer, without reconnecting.
struct CommTiming
{
    int requestTimeMs = 25;      // response timeout of the first attempt
    int responseTimeMs = 25;     // byte timeout of the first attempt
    int maxRetries = 3;          // attempts per transfer
    int incrementalTimeMs = 5;   // added to both timeouts after a failed attempt
    // The two timeouts of the first attempt over a network line: a gateway
    // waits for the sensor on its serial side before it answers, and the
    // plant's network adds its own delay.
    int networkRequestTimeMs = 300;
    int networkResponseTimeMs = 100;

    // The ranges the options dialog allows. A stored value outside them, or
    // not a number, reads as its default, so that a damaged settings file
    // cannot freeze the program with a million retries or break the timing.
    static constexpr int MinTimeMs = 1;
    static constexpr int MaxTimeMs = 5000;
    static constexpr int MinRetries = 1;
    static constexpr int MaxRetries = 10;
    static constexpr int MinIncrementMs = 0;
    static constexpr int MaxIncrementMs = 500;

    static CommTiming load();
    QVector<StoredIntField> fields();
    void save() const;
    CommTiming bounded() const;
    // The timing of a transfer over a serial or a network line: over a
    // network line, its two timeouts in place of the serial ones.
    CommTiming forLine(bool network) const;

    // The longest one parameter read can take over all its attempts.
    int worstCaseReadTimeMs() const;
};

#endif // COMMTIMING_H
