#ifndef MEASUREMENTLOG_H
#define MEASUREMENTLOG_H

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QVariant>

// The CSV log of a measurement run: a header when the run starts, then a
// row per tick. The file is opened and closed again for every row, so it is
// complete on disk between ticks and other programs can read it meanwhile.
// Fields end in ";"; numbers use "." whatever the locale.
class MeasurementLog
{
public:
    explicit MeasurementLog(const QString &fileName);

    static QString fileNameFor(quint32 serialNumber, const QDateTime &start);
    static QString headerLine(quint32 firmwareVersion);
    static QString timestampFields(const QDateTime &time);
    static QString valueField(int id, const QVariant &value, int temperaturePrecision, int speedPrecision);

    // Replaces any file of the same name and writes the header.
    bool create(quint32 firmwareVersion);
    // Opens the file and writes the row's timestamp fields.
    bool beginRow(const QDateTime &time);
    void appendField(const QString &field);
    // Ends the row and closes the file; a row cut short by a failed read is
    // ended too, so the next row starts on a line of its own.
    void endRow();

    QString fileName() const { return file.fileName(); }

private:
    bool openForAppend();

    QFile file;
};

#endif // MEASUREMENTLOG_H
