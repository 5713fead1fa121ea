#ifndef MEASUREMENTLOG_H
#define MEASUREMENTLOG_H

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QVariant>

// The CSV log of a measurement run: a header when the run starts, then a
// row per tick. The file is opened and closed again for every row, so it is
// complete on disk between ticks and other programs can read it meanwhile.
// Every write is checked down to the disk.
// Fields end in ";"; numbers use "." whatever the locale.
class MeasurementLog
{
public:
    explicit MeasurementLog(const QString &fileName);

    // What names a sensor's files and feed topics: its serial number, or
    // <serial>_A<address> for a second sensor of the line known by the same
    // serial number, whose samples must never land in the first one's files.
    static QString sensorKey(quint32 serialNumber, int address = 0);
    // SN<key>_<start>.csv
    static QString fileNameFor(const QString &sensorKey, const QDateTime &start);
    static QString fileNameFor(quint32 serialNumber, const QDateTime &start);
    static QString headerLine(quint32 firmwareVersion);
    static QString timestampFields(const QDateTime &time);
    static QString valueField(int id, const QVariant &value, int temperaturePrecision, int speedPrecision);

    // Replaces any file of the same name and writes the header.
    bool create(quint32 firmwareVersion);
    // Appends one row (its fields, without the line end) in one write. A
    // row that cannot be written whole (a full disk, a removed folder, a
    // read-only mount) is taken back, so the file only ever holds whole
    // rows; false then, with errorString() telling why. A header given here
    // goes before the row when the file is new or empty, in the same write,
    // so a file that is started anew (a folder re-created after a failure)
    // begins with its header too.
    bool appendRow(const QString &fields, const QString &headerIfEmpty = QString());

    QString fileName() const { return file.fileName(); }
    QString errorString() const { return lastError; }

private:
    bool writeLine(const QByteArray &line, const QByteArray &headerIfEmpty = QByteArray());

    QFile file;
    QString lastError;
};

#endif // MEASUREMENTLOG_H
