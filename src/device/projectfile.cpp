#include "projectfile.h"

#include "link/serialline.h"
#include "versionedjson.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {
const VersionedJsonKind projectKind = { "kelvaset-project", 1, QT_TRANSLATE_NOOP("VersionedJson", "project") };

constexpr int LowestAddress = 1;
constexpr int HighestAddress = 247;
constexpr int LongestPeriodMs = 60000;

QString tr(const char *text)
{
    return QCoreApplication::translate("ProjectFile", text);
}

// A whole number from lowest to highest under key, or a message naming it.
bool takeWhole(const QJsonObject &object, const char *key, double lowest, double highest, double *number,
               QString *error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    const double read = value.toDouble();
    if (!value.isDouble() || read != std::floor(read) || read < lowest || read > highest) {
        *error = tr("%1 must be a whole number from %2 to %3.").arg(QLatin1String(key)).arg(lowest).arg(highest);
        return false;
    }
    *number = read;
    return true;
}

bool takeInt(const QJsonObject &object, const char *key, int lowest, int highest, int *number, QString *error)
{
    double read = 0;
    if (!takeWhole(object, key, lowest, highest, &read, error))
        return false;
    *number = int(read);
    return true;
}

bool takeSensors(const QJsonValue &list, QVector<ProjectSensor> *sensors, QString *error)
{
    if (!list.isArray()) {
        *error = tr("sensors must be a list.");
        return false;
    }
    QSet<int> addresses;
    for (const QJsonValue &entry : list.toArray()) {
        const QJsonObject object = entry.toObject();
        ProjectSensor sensor;
        double serial = 0;
        QString refusal;
        if (!takeInt(object, "address", LowestAddress, HighestAddress, &sensor.address, &refusal)
                || !takeWhole(object, "serialNumber", 0, 4294967295.0, &serial, &refusal)) {
            *error = tr("sensor %1: %2").arg(sensors->size() + 1).arg(refusal);
            return false;
        }
        if (addresses.contains(sensor.address)) {
            *error = tr("two sensors have the address %1.").arg(sensor.address);
            return false;
        }
        addresses.insert(sensor.address);
        sensor.serialNumber = quint32(serial);
        sensor.label = object.value(QStringLiteral("label")).toString();
        sensors->append(sensor);
    }
    return true;
}
}

bool ProjectFile::load(const QString &path, QString *error)
{
    QJsonObject object;
    if (!loadVersionedJson(path, projectKind, &object, error))
        return false;
    ProjectFile loaded;
    const QJsonObject port = object.value(QStringLiteral("port")).toObject();
    loaded.portName = port.value(QStringLiteral("name")).toString();
    loaded.portIdentity = port.value(QStringLiteral("identity")).toString();
    QString refusal;
    if (!takeInt(object, "bitRateCode", 0, BitRateCodeCount - 1, &loaded.bitRateCode, &refusal)
            || !takeInt(object, "framingCode", 0, FramingCodeCount - 1, &loaded.framingCode, &refusal)
            || !takeInt(object, "periodMs", 1, LongestPeriodMs, &loaded.periodMs, &refusal)
            || !takeSensors(object.value(QStringLiteral("sensors")), &loaded.sensors, &refusal)) {
        *error = tr("%1: %2").arg(path, refusal);
        return false;
    }
    loaded.hasTiming = object.contains(QStringLiteral("timing"));
    const QJsonObject timing = object.value(QStringLiteral("timing")).toObject();
    for (const StoredIntField &field : loaded.hasTiming ? loaded.timing.fields() : QVector<StoredIntField>()) {
        // A field left out keeps its default.
        if (timing.contains(QLatin1String(field.key))
                && !takeInt(timing, field.key, field.minimum, field.maximum, field.value, &refusal)) {
            *error = tr("%1: %2").arg(path, refusal);
            return false;
        }
    }
    *this = loaded;
    return true;
}

bool ProjectFile::save(const QString &path, QString *error) const
{
    QJsonArray sensorList;
    for (const ProjectSensor &sensor : sensors) {
        sensorList.append(QJsonObject{ { QStringLiteral("address"), sensor.address },
                                       { QStringLiteral("serialNumber"), double(sensor.serialNumber) },
                                       { QStringLiteral("label"), sensor.label } });
    }
    QJsonObject timingObject;
    CommTiming kept = timing;
    for (const StoredIntField &field : kept.fields())
        timingObject.insert(QLatin1String(field.key), *field.value);
    QJsonObject content{
        { QStringLiteral("port"), QJsonObject{ { QStringLiteral("name"), portName },
                                               { QStringLiteral("identity"), portIdentity } } },
        { QStringLiteral("bitRateCode"), bitRateCode },
        { QStringLiteral("bitRate"), QString::number(baudForCode(bitRateCode)) },
        { QStringLiteral("framingCode"), framingCode },
        { QStringLiteral("framing"), framingName(framingCode) },
        { QStringLiteral("periodMs"), periodMs },
        { QStringLiteral("sensors"), sensorList },
    };
    if (hasTiming)
        content.insert(QStringLiteral("timing"), timingObject);
    return saveVersionedJson(path, projectKind, content, error);
}
