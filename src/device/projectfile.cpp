#include "projectfile.h"

#include "link/serialline.h"
#include "versionedjson.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace {
const VersionedJsonKind projectKind = { "kelvaset-project", 1, QT_TRANSLATE_NOOP("VersionedJson", "project") };

constexpr int LowestAddress = 1;
constexpr int HighestAddress = 247;
constexpr int LongestPeriodMs = 60000;

QString tr(const char *text)
{
    return QCoreApplication::translate("ProjectFile", text);
}

bool takeInt(const QJsonValue &value, const QString &field, int lowest, int highest, int *number, QString *error)
{
    double read = 0;
    if (!takeJsonWhole(value, field, lowest, highest, &read, error))
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
    const QJsonArray entries = list.toArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QString field = QStringLiteral("sensors[%1]").arg(i);
        QJsonObject object;
        ProjectSensor sensor;
        double serial = 0;
        if (!takeJsonObject(entries.at(i), field, false, &object, error)
                || !takeInt(object.value(QStringLiteral("address")), field + QStringLiteral(".address"),
                            LowestAddress, HighestAddress, &sensor.address, error)
                || !takeJsonWhole(object.value(QStringLiteral("serialNumber")), field + QStringLiteral(".serialNumber"),
                                  0, 4294967295.0, &serial, error)
                || !takeJsonText(object.value(QStringLiteral("label")), field + QStringLiteral(".label"),
                                 ProjectFile::LongestLabel, &sensor.label, error))
            return false;
        if (addresses.contains(sensor.address)) {
            *error = tr("two sensors have the address %1.").arg(sensor.address);
            return false;
        }
        addresses.insert(sensor.address);
        sensor.serialNumber = quint32(serial);
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
    QJsonObject port;
    QString refusal;
    if (!takeJsonObject(object.value(QStringLiteral("port")), QStringLiteral("port"), true, &port, &refusal)
            || !takeJsonText(port.value(QStringLiteral("name")), QStringLiteral("port.name"), LongestPortName,
                             &loaded.portName, &refusal)
            || !takeJsonText(port.value(QStringLiteral("identity")), QStringLiteral("port.identity"),
                             LongestPortIdentity, &loaded.portIdentity, &refusal)
            || !takeInt(object.value(QStringLiteral("bitRateCode")), QStringLiteral("bitRateCode"), 0,
                        BitRateCodeCount - 1, &loaded.bitRateCode, &refusal)
            || !takeInt(object.value(QStringLiteral("framingCode")), QStringLiteral("framingCode"), 0,
                        FramingCodeCount - 1, &loaded.framingCode, &refusal)
            || !takeInt(object.value(QStringLiteral("periodMs")), QStringLiteral("periodMs"), 1, LongestPeriodMs,
                        &loaded.periodMs, &refusal)
            || !takeSensors(object.value(QStringLiteral("sensors")), &loaded.sensors, &refusal)) {
        *error = tr("%1: %2").arg(path, refusal);
        return false;
    }
    loaded.hasTiming = object.contains(QStringLiteral("timing"));
    QJsonObject timing;
    if (!takeJsonObject(object.value(QStringLiteral("timing")), QStringLiteral("timing"), true, &timing, &refusal)) {
        *error = tr("%1: %2").arg(path, refusal);
        return false;
    }
    for (const StoredIntField &field : loaded.hasTiming ? loaded.timing.fields() : QVector<StoredIntField>()) {
        // A field left out keeps its default.
        if (timing.contains(QLatin1String(field.key))
                && !takeInt(timing.value(QLatin1String(field.key)), QStringLiteral("timing.") + QLatin1String(field.key),
                            field.minimum, field.maximum, field.value, &refusal)) {
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
