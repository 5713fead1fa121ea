#include "settingsstore.h"

#include <QSettings>

namespace {
const QString windowGroup = QStringLiteral("window");
const QString geometryKey = QStringLiteral("geometry");
}

SettingsStore::SettingsStore()
    : storedLine(SerialLineSettings::load())
{
    loadOptions();
    QSettings settings;
    settings.beginGroup(windowGroup);
    storedGeometry = settings.value(geometryKey, QRect()).toRect();
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
