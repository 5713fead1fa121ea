#include "measurementlog.h"

#include "device/parametertable.h"

#include <QLocale>

MeasurementLog::MeasurementLog(const QString &fileName)
    : file(fileName)
{
}

QString MeasurementLog::sensorKey(quint32 serialNumber, int address)
{
    return address > 0 ? QStringLiteral("%1_A%2").arg(serialNumber).arg(address) : QString::number(serialNumber);
}

QString MeasurementLog::fileNameFor(const QString &sensorKey, const QDateTime &start)
{
    return QStringLiteral("SN%0_%1.csv")
            .arg(sensorKey, QLocale::c().toString(start, QStringLiteral("yyyy_MM_dd@HH_mm_ss")));
}

QString MeasurementLog::fileNameFor(quint32 serialNumber, const QDateTime &start)
{
    return fileNameFor(sensorKey(serialNumber), start);
}

QString MeasurementLog::headerLine(quint32 firmwareVersion)
{
    QString header = QStringLiteral("TIMESTAMP;MS;");
    const char *const columns[] = { "IRRADIANCE;", "TEMP;", "SPEED;" };
    for (size_t i = 0; i < liveIds.size(); ++i) {
        if (parameterDescriptor(liveIds[i]).isAvailable(firmwareVersion))
            header += QLatin1String(columns[i]);
    }
    return header;
}

QString MeasurementLog::timestampFields(const QDateTime &time)
{
    const QLocale c = QLocale::c();
    return QStringLiteral("%0;%1;").arg(c.toString(time, QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                         c.toString(time, QStringLiteral("zzz")));
}

QString MeasurementLog::valueField(int id, const QVariant &value, int temperaturePrecision, int speedPrecision)
{
    switch (id) {
    case IdTemp:
        return QStringLiteral("%0;").arg(QString::number(value.toDouble(), 'f', temperaturePrecision));
    case IdSpeed:
        return QStringLiteral("%0;").arg(QString::number(value.toDouble(), 'f', speedPrecision));
    default:
        return QStringLiteral("%0;").arg(value.toULongLong());
    }
}

bool MeasurementLog::create(quint32 firmwareVersion)
{
    if (file.exists() && !file.remove())
        return false;
    return writeLine(headerLine(firmwareVersion).toLatin1());
}

bool MeasurementLog::appendRow(const QString &fields, const QString &headerIfEmpty)
{
    return writeLine(fields.toLatin1(), headerIfEmpty.toLatin1());
}

bool MeasurementLog::writeLine(const QByteArray &line, const QByteArray &headerIfEmpty)
{
    // Unbuffered, so that a failed write leaves nothing behind in a buffer
    // and the file can be cut back to its last whole row.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        lastError = file.errorString();
        return false;
    }
    const qint64 sizeBefore = file.isSequential() ? 0 : file.size();
    QByteArray whole = line + '\n';
    if (sizeBefore == 0 && !headerIfEmpty.isEmpty())
        whole.prepend(headerIfEmpty + '\n');
    if (file.write(whole) != whole.size()) {
        lastError = file.errorString();
        if (!file.isSequential())
            file.resize(sizeBefore);
        file.close();
        return false;
    }
    file.close();
    return true;
}
