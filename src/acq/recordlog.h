#ifndef RECORDLOG_H
#define RECORDLOG_H

#include "acq/livesample.h"
#include "acq/samplestatistics.h"

#include <QDate>
#include <QDateTime>
#include <QQueue>
#include <QString>
#include <QVector>
#include <functional>

// The statistics of one live value over an interval.
struct ValueStatistics
{
    int id = 0;
    SampleStatistics statistics;
};

// One closed interval of a sensor: (end - intervalSeconds, end], in UTC.
struct IntervalRecord
{
    QDateTime end;
    int intervalSeconds = 0;
    QVector<ValueStatistics> values;    // the sensor's live values, in column order
};

// The interval records of one sensor: for every interval of a fixed length,
// aligned to the UTC clock, the mean, minimum, maximum, standard deviation
// and number of samples of each live value the sensor has, one CSV row per
// interval, one file per UTC day beside the raw log.
//
// A row is stamped with the end of its interval, and a sample exactly on a
// boundary belongs to the interval that ends there: with 60 s the row
// stamped 14:06:00Z holds the samples of (14:05:00, 14:06:00]. A day's file
// holds the intervals that lie within that day, so its last row is stamped
// 00:00:00Z of the next day.
//
// It keeps no timer: the caller drives time with advanceTo(), so an interval
// without a sample (a sensor that stopped answering, an unplugged adapter)
// still gets its row, with a count of 0 and empty statistics. So do the
// intervals a stopped logger missed: at its first sample or advanceTo(), the
// intervals between the last row of the day's file (or of the day before's,
// when there is none yet) and the first interval get rows of count 0. Memory stays
// constant: a running sum per value, and at most maxPendingRows rows waiting
// for a disk that refused them.
class RecordLog
{
public:
    enum class Statistic { Mean, Minimum, Maximum, StandardDeviation };

    // intervalSeconds must divide a day (isValidInterval()); valueIds are the
    // live values the sensor has, in the order of their columns.
    // sensorKey names the files (MeasurementLog::sensorKey).
    RecordLog(const QString &directory, const QString &sensorKey, int intervalSeconds,
              const QVector<int> &valueIds, int maxPendingRows = 1440);

    static bool isValidInterval(int seconds);
    // SN<key>_<yyyyMMdd>_records.csv
    static QString fileNameFor(const QString &sensorKey, const QDate &day);
    QString headerLine() const;
    // A statistic as records carry it, "." for decimals whatever the locale:
    // irradiance mean and deviation with 1 decimal, its minimum and maximum
    // whole; temperature with 2 decimals, speed with 3. Empty for no sample.
    static QString statisticText(int id, Statistic which, const SampleStatistics &statistics);

    // Counts the sample in the interval its time falls in. Intervals that
    // ended before it are closed first (their rows are written at the next
    // advanceTo()); a sample of an interval already closed is left out, as
    // its row is written. So add the samples taken up to a time before
    // advancing to it.
    void addSample(const LiveSample &sample);
    // Closes every interval that ended at or before utcNow and writes the
    // rows not yet on disk, in order. false when a row could not be written:
    // errorString() tells why and the rows are written at the next call.
    bool advanceTo(const QDateTime &utcNow);

    // Called with every interval as it closes, before its row is written.
    void setRecordHandler(std::function<void(const IntervalRecord &)> handler) { onRecord = std::move(handler); }

    QString errorString() const { return lastError; }
    int pendingRows() const { return pending.size(); }
    // Rows given up because the disk refused more than maxPendingRows.
    qint64 droppedRows() const { return dropped; }

private:
    struct PendingRow
    {
        QDate day;
        QString fields;
    };

    void begin(qint64 endMs);
    void openIntervalEndingAt(qint64 endMs);
    void closeInterval();
    QString rowFields(const IntervalRecord &record) const;
    bool writePending();

    QString directory;
    QString sensorKey;
    qint64 intervalMs;
    int maxPendingRows;
    IntervalRecord current;     // current.end is invalid until the first sample or advanceTo()
    QQueue<PendingRow> pending;
    qint64 dropped = 0;
    QString lastError;
    std::function<void(const IntervalRecord &)> onRecord;
};

#endif // RECORDLOG_H
