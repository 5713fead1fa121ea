#include "recordlog.h"

#include "acq/measurementlog.h"
#include "device/parametertable.h"

#include <QDir>
#include <QFile>
#include <QLocale>

namespace {

constexpr qint64 DayMs = 86400 * 1000LL;

// The end of the interval (end - length, end] that holds timeMs; the
// division rounds up, before 1970 as well.
qint64 intervalEndHolding(qint64 timeMs, qint64 lengthMs)
{
    qint64 intervals = timeMs / lengthMs;
    if (timeMs % lengthMs > 0)
        ++intervals;
    return intervals * lengthMs;
}

int decimalsOf(int id, RecordLog::Statistic which)
{
    switch (id) {
    case IdTemp:
        return 2;   // the sensor reports quarter degrees
    case IdSpeed:
        return 3;
    default:
        // Whole W/m^2 are read, so the extremes are whole too.
        return which == RecordLog::Statistic::Mean || which == RecordLog::Statistic::StandardDeviation ? 1 : 0;
    }
}

// The stamp of the last row of a records file, in ms since the epoch; -1
// when the file has no row (or is not there). Only its tail is read.
qint64 lastRowEnd(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    constexpr qint64 Tail = 4096;
    if (file.size() > Tail)
        file.seek(file.size() - Tail);
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    const QDateTime end = QDateTime::fromString(QString::fromLatin1(lines.last().split(';').first()), Qt::ISODate);
    return end.isValid() ? end.toMSecsSinceEpoch() : -1;
}

} // namespace

RecordLog::RecordLog(const QString &directory, const QString &sensorKey, int intervalSeconds,
                     const QVector<int> &valueIds, int maxPendingRows)
    : directory(directory)
    , sensorKey(sensorKey)
    , intervalMs(intervalSeconds * 1000LL)
    , maxPendingRows(qMax(1, maxPendingRows))
{
    Q_ASSERT(isValidInterval(intervalSeconds));
    current.intervalSeconds = intervalSeconds;
    for (int id : valueIds)
        current.values.append(ValueStatistics { id, {} });
}

bool RecordLog::isValidInterval(int seconds)
{
    // Intervals then meet at midnight, so none spans two day files.
    return seconds > 0 && DayMs % (seconds * 1000LL) == 0;
}

QString RecordLog::fileNameFor(const QString &sensorKey, const QDate &day)
{
    return QStringLiteral("SN%0_%1_records.csv").arg(sensorKey, QLocale::c().toString(day, QStringLiteral("yyyyMMdd")));
}

QString RecordLog::headerLine() const
{
    // The first column's name says which end of the interval the stamp marks.
    QString header = QStringLiteral("INTERVAL_END_UTC;");
    for (const ValueStatistics &value : current.values) {
        const QString name = value.id == IdTemp ? QStringLiteral("TEMP")
                           : value.id == IdSpeed ? QStringLiteral("SPEED") : QStringLiteral("IRRADIANCE");
        for (const char *statistic : { "MEAN", "MIN", "MAX", "STD", "COUNT" })
            header += QStringLiteral("%0_%1;").arg(name, QLatin1String(statistic));
    }
    return header;
}

QString RecordLog::statisticText(int id, Statistic which, const SampleStatistics &statistics)
{
    if (statistics.count() == 0)
        return QString();
    double value = 0;
    switch (which) {
    case Statistic::Mean: value = statistics.mean(); break;
    case Statistic::Minimum: value = statistics.minimum(); break;
    case Statistic::Maximum: value = statistics.maximum(); break;
    case Statistic::StandardDeviation: value = statistics.standardDeviation(); break;
    }
    return QString::number(value, 'f', decimalsOf(id, which));
}

void RecordLog::addSample(const LiveSample &sample)
{
    const qint64 endMs = intervalEndHolding(sample.time.toMSecsSinceEpoch(), intervalMs);
    if (!current.end.isValid())
        begin(endMs);
    if (endMs < current.end.toMSecsSinceEpoch())
        return;
    while (current.end.toMSecsSinceEpoch() < endMs)
        closeInterval();
    for (ValueStatistics &value : current.values) {
        const auto found = sample.values.constFind(value.id);
        if (found != sample.values.cend())
            value.statistics.add(found.value());
    }
}

bool RecordLog::advanceTo(const QDateTime &utcNow)
{
    const qint64 nowMs = utcNow.toMSecsSinceEpoch();
    // A start exactly on a boundary opens the interval that begins there.
    if (!current.end.isValid())
        begin(intervalEndHolding(nowMs + 1, intervalMs));
    while (current.end.toMSecsSinceEpoch() <= nowMs)
        closeInterval();
    return writePending();
}

void RecordLog::begin(qint64 endMs)
{
    // The last row written before: today's file's, or else yesterday's when
    // the logger was away over midnight. Older days are left as they are.
    const QDate today = QDateTime::fromMSecsSinceEpoch(endMs - intervalMs, Qt::UTC).date();
    const QDir folder(directory);
    qint64 lastEnd = lastRowEnd(folder.filePath(fileNameFor(sensorKey, today)));
    if (lastEnd < 0)
        lastEnd = lastRowEnd(folder.filePath(fileNameFor(sensorKey, today.addDays(-1))));
    // A row of another interval length, or of the future, is no start.
    if (lastEnd < 0 || lastEnd % intervalMs != 0 || lastEnd >= endMs) {
        openIntervalEndingAt(endMs);
        return;
    }
    // The intervals the logger was away for get their rows, with no sample.
    openIntervalEndingAt(lastEnd + intervalMs);
    while (current.end.toMSecsSinceEpoch() < endMs)
        closeInterval();
}

void RecordLog::openIntervalEndingAt(qint64 endMs)
{
    current.end = QDateTime::fromMSecsSinceEpoch(endMs, Qt::UTC);
    for (ValueStatistics &value : current.values)
        value.statistics.clear();
}

void RecordLog::closeInterval()
{
    if (onRecord)
        onRecord(current);
    // A long stretch of time passed at once must not drop rows a working
    // disk would take; only rows the disk refused are given up, oldest first.
    if (pending.size() >= maxPendingRows)
        writePending();
    if (pending.size() >= maxPendingRows) {
        pending.dequeue();
        ++dropped;
    }
    const qint64 endMs = current.end.toMSecsSinceEpoch();
    const QDate day = QDateTime::fromMSecsSinceEpoch(endMs - intervalMs, Qt::UTC).date();
    pending.enqueue(PendingRow { day, rowFields(current) });
    openIntervalEndingAt(endMs + intervalMs);
}

QString RecordLog::rowFields(const IntervalRecord &record) const
{
    QString row = record.end.toString(Qt::ISODate) + QLatin1Char(';');
    for (const ValueStatistics &value : record.values) {
        for (Statistic which : { Statistic::Mean, Statistic::Minimum, Statistic::Maximum, Statistic::StandardDeviation })
            row += statisticText(value.id, which, value.statistics) + QLatin1Char(';');
        row += QString::number(value.statistics.count()) + QLatin1Char(';');
    }
    return row;
}

bool RecordLog::writePending()
{
    const QString header = headerLine();
    while (!pending.isEmpty()) {
        MeasurementLog file(QDir(directory).filePath(fileNameFor(sensorKey, pending.head().day)));
        if (!file.appendRow(pending.head().fields, header)) {
            lastError = QStringLiteral("%0: %1").arg(file.fileName(), file.errorString());
            return false;
        }
        pending.dequeue();
    }
    return true;
}
