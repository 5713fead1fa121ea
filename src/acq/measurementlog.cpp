#include "measurementlog.h"

#include "device/parametertable.h"

#include <QLocale>

MeasurementLog::MeasurementLog(const QString &fileName)
    : file(fileName)
{
}

QString MeasurementLog::fileNameFor(quint32 serialNumber, const QDateTime &start)
{
    return QStringLiteral("SN%0_%1.csv")
            .arg(serialNumber)
            .arg(QLocale::c().toString(start, QStringLiteral("yyyy_MM_dd@HH_mm_ss")));
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

bool MeasurementLog::openForAppend()
{
    return file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

bool MeasurementLog::create(quint32 firmwareVersion)
{
    if (file.exists())
        file.remove();
    if (!openForAppend())
        return false;
    file.write(headerLine(firmwareVersion).toLatin1());
    file.write("\n");
    file.close();
    return true;
}

bool MeasurementLog::beginRow(const QDateTime &time)
{
    if (!openForAppend())
        return false;
    appendField(timestampFields(time));
    return true;
}

void MeasurementLog::appendField(const QString &field)
{
    file.write(field.toLatin1());
}

void MeasurementLog::endRow()
{
    if (!file.isOpen())
        return;
    file.write("\n");
    file.close();
}
