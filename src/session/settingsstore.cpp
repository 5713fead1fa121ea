#include "settingsstore.h"

#include "ports/networklines.h"

#include <QSettings>

namespace {
const QString windowGroup = QStringLiteral("window");
const QString geometryKey = QStringLiteral("geometry");
const QString sensorsKey = QStringLiteral("sensors/list");
}

SettingsStore::SettingsStore()
    : storedLine(SerialLineSettings::load())
{
    loadOptions();
    QSettings settings;
    settings.beginGroup(windowGroup);
    storedGeometry = settings.value(geometryKey, QRect()).toRect();
    settings.endGroup();
    storedSensors = settings.value(sensorsKey).toList();
    NetworkLines::loadKept();
}

void SettingsStore::keepNetworkLine(const QString &url, const QString &name)
{
    NetworkLines::add(url, name, true);
    checkWritten();
}

QVector<LineSensor> SettingsStore::sensors() const
{
    QVector<LineSensor> sensors;
    for (const QVariant &entry : storedSensors) {
        const QVariantMap fields = entry.toMap();
        bool ok = false;
        LineSensor sensor;
        sensor.address = fields.value(QStringLiteral("address")).toInt(&ok);
        if (!ok || sensor.address < SerialLineSettings::MinSlave || sensor.address > SerialLineSettings::MaxSlave)
            continue;
        sensor.expectedSerial = fields.value(QStringLiteral("serialNumber")).toUInt();
        sensor.label = fields.value(QStringLiteral("label")).toString();
        sensors.append(sensor);
    }
    return sensors;
}

void SettingsStore::saveSensors(const QVector<LineSensor> &sensors)
{
    QVariantList kept;
    for (const LineSensor &sensor : sensors) {
        kept << QVariantMap{ { QStringLiteral("address"), sensor.address },
                             { QStringLiteral("serialNumber"),
                               sensor.listedSerial() },
                             { QStringLiteral("label"), sensor.label } };
    }
    if (kept == storedSensors)
        return;
    storedSensors = kept;
    QSettings().setValue(sensorsKey, storedSensors);
    checkWritten();
}

void SettingsStore::saveLine(const SerialLineSettings &line)
{
    storedLine = line;
    storedLine.save();
    checkWritten();
}

void SettingsStore::loadOptions()
{
    storedTiming = CommTiming::load();
    storedOptions = UserOptions::load();
}

void SettingsStore::saveOptions(const CommTiming &timing, const UserOptions &options)
{
    storedTiming = timing;
    storedOptions = options;
    storedTiming.save();
    storedOptions.save();
    checkWritten();
}

void SettingsStore::saveOnClose(const QRect &geometry, int readingPeriodMs)
{
    {
        QSettings settings;
        settings.beginGroup(windowGroup);
        settings.setValue(geometryKey, geometry);
    }
    storedOptions.readTimer = readingPeriodMs;
    storedOptions.save();
    checkWritten();
}

void SettingsStore::checkWritten()
{
    QSettings settings;
    settings.sync();
    if (settings.status() != QSettings::NoError)
        failed = true;
}

QString SettingsStore::fileName() const
{
    return QSettings().fileName();
}
