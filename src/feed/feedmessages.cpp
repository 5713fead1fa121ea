#include "feedmessages.h"

#include "device/parametertable.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

struct ValueName
{
    int id;
    const char *key;
    const char *unit;
};

constexpr ValueName valueNames[] = {
    { IdIrradiance, "irradiance", "W/m^2" },
    { IdTemp, "temperature", "degC" },
    { IdSpeed, "speed", "1" },
};

const ValueName *nameOf(int id)
{
    for (const ValueName &name : valueNames) {
        if (name.id == id)
            return &name;
    }
    return nullptr;
}

// A JSON string with Qt's escaping (quotes, backslashes, control characters).
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray sensorFields(const SensorIdentity &sensor)
{
    return "\"serial\":" + QByteArray::number(sensor.serialNumber)
            + ",\"address\":" + QByteArray::number(sensor.address)
            + ",\"label\":" + jsonString(sensor.label);
}

QByteArray statisticField(const char *key, int id, RecordLog::Statistic which, const SampleStatistics &statistics)
{
    const QString text = RecordLog::statisticText(id, which, statistics);
    return '"' + QByteArray(key) + "\":" + (text.isEmpty() ? QByteArray("null") : text.toLatin1()) + ',';
}

} // namespace

QString sampleTopic(const QString &sensorKey)
{
    return QStringLiteral("kelvaset/%0/sample").arg(sensorKey);
}

QString recordTopic(const QString &sensorKey)
{
    return QStringLiteral("kelvaset/%0/record").arg(sensorKey);
}

QString statusTopic(const QString &sensorKey)
{
    return QStringLiteral("kelvaset/%0/status").arg(sensorKey);
}

QString loggerStatusTopic(const QString &clientId)
{
    return QStringLiteral("kelvaset/logger/%0/status").arg(clientId);
}

QByteArray sampleMessage(const SensorIdentity &sensor, const LiveSample &sample)
{
    QByteArray values;
    for (const ValueName &name : valueNames) {
        const auto found = sample.values.constFind(name.id);
        if (found == sample.values.cend())
            continue;
        if (!values.isEmpty())
            values += ',';
        values += '"' + QByteArray(name.key) + "\":{\"value\":"
                + QByteArray::number(found.value(), 'g', QLocale::FloatingPointShortest)
                + ",\"unit\":\"" + name.unit + "\"}";
    }
    return "{\"time\":" + jsonString(sample.time.toUTC().toString(Qt::ISODateWithMs))
            + ',' + sensorFields(sensor) + ",\"values\":{" + values + "}}";
}

QByteArray recordMessage(const SensorIdentity &sensor, const IntervalRecord &record)
{
    using Statistic = RecordLog::Statistic;
    QByteArray values;
    for (const ValueStatistics &value : record.values) {
        const ValueName *name = nameOf(value.id);
        if (!name)
            continue;
        if (!values.isEmpty())
            values += ',';
        values += '"' + QByteArray(name->key) + "\":{"
                + statisticField("mean", value.id, Statistic::Mean, value.statistics)
                + statisticField("min", value.id, Statistic::Minimum, value.statistics)
                + statisticField("max", value.id, Statistic::Maximum, value.statistics)
                + statisticField("std", value.id, Statistic::StandardDeviation, value.statistics)
                + "\"count\":" + QByteArray::number(value.statistics.count())
                + ",\"unit\":\"" + name->unit + "\"}";
    }
    return "{\"time\":" + jsonString(record.end.toUTC().toString(Qt::ISODate))
            + ",\"interval_s\":" + QByteArray::number(record.intervalSeconds)
            + ',' + sensorFields(sensor) + ",\"values\":{" + values + "}}";
}
