#include "sensorconfiguration.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <array>

namespace {
struct ConfigurationField
{
    int address;
    const char *key;
    quint16 SensorConfiguration::*member;
    quint16 minimum;
    quint16 maximum;
};

const std::array<ConfigurationField, 8> fields = {{
    { 0x8004, "node",           &SensorConfiguration::node,           1, 247 },
    { 0x8005, "bitRate",        &SensorConfiguration::bitRate,        0, 4 },
    { 0x8006, "serialConf",     &SensorConfiguration::serialConf,     0, 3 },
    { 0x8007, "delay",          &SensorConfiguration::delay,          1, 100 },
    { 0x8008, "anOutputMode",   &SensorConfiguration::anOutputMode,   0, 4 },
    { 0x8009, "anOutputSelect", &SensorConfiguration::anOutputSelect, 0, 3 },
    { 0x800A, "pt100Enable",    &SensorConfiguration::pt100Enable,    0, 1 },
    { 0x8030, "constPerPulse",  &SensorConfiguration::constPerPulse,  1, 0xFFFF },
}};

const ConfigurationField *fieldAt(int address)
{
    for (const ConfigurationField &field : fields) {
        if (field.address == address)
            return &field;
    }
    return nullptr;
}
}

bool SensorConfiguration::operator==(const SensorConfiguration &other) const
{
    for (const ConfigurationField &field : fields) {
        if (this->*field.member != other.*field.member)
            return false;
    }
    return true;
}

bool SensorConfiguration::registerValue(int address, quint16 *value) const
{
    const ConfigurationField *field = fieldAt(address);
    if (!field)
        return false;
    *value = this->*field->member;
    return true;
}

bool SensorConfiguration::setRegisterValue(int address, quint16 value)
{
    const ConfigurationField *field = fieldAt(address);
    if (!field)
        return false;
    this->*field->member = value;
    return true;
}

bool SensorConfiguration::isAcceptable(int address, quint16 value)
{
    const ConfigurationField *field = fieldAt(address);
    return field && value >= field->minimum && value <= field->maximum;
}

bool SensorConfiguration::isValid() const
{
    for (const ConfigurationField &field : fields) {
        if (!isAcceptable(field.address, this->*field.member))
            return false;
    }
    return true;
}

bool SensorConfiguration::saveToFile(const QString &path, QString *error) const
{
    // Written whole or not at all, so that a crash never leaves a sensor
    // that boots from half a configuration.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    for (const ConfigurationField &field : fields)
        out << field.key << '=' << this->*field.member << '\n';
    out.flush();
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool SensorConfiguration::loadFromFile(const QString &path, SensorConfiguration *configuration,
                                       QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    SensorConfiguration loaded;
    int found = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        bool ok = false;
        const uint value = line.mid(equals + 1).toUInt(&ok, 0);
        const QString key = line.left(equals);
        const ConfigurationField *field = nullptr;
        for (const ConfigurationField &candidate : fields) {
            if (key == QLatin1String(candidate.key))
                field = &candidate;
        }
        if (equals < 0 || !ok || !field || value > 0xFFFF
                || !isAcceptable(field->address, static_cast<quint16>(value))) {
            *error = QStringLiteral("unusable line \"%1\"").arg(line);
            return false;
        }
        loaded.*field->member = static_cast<quint16>(value);
        ++found;
    }
    if (found != static_cast<int>(fields.size())) {
        *error = QStringLiteral("%1 of %2 values present").arg(found).arg(fields.size());
        return false;
    }
    *configuration = loaded;
    return true;
}
