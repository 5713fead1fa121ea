#include "sensorprofile.h"

#include "conversions.h"
#include "versionedjson.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
const VersionedJsonKind profileKind = { "kelvaset-profile", 1, QT_TRANSLATE_NOOP("VersionedJson", "sensor profile") };

QString tr(const char *text)
{
    return QCoreApplication::translate("SensorProfile", text);
}

// The register words each parameter accepts, as the sensor checks them;
// the combo-box parameters take their item codes.
struct ProfileParameter
{
    int id;
    quint16 lowestWord;
    quint16 highestWord;
};

const ProfileParameter profileParameters[] = {
    { IdDelay, 1, 100 },
    { IdAnOutputMode, 0, 4 },
    { IdAnOutputSelect, 0, 3 },
    { IdPT100Enable, 0, 1 },
    { IdConstPerPulse, 1, 0xFFFF },
};

const ProfileParameter *profileParameter(int id)
{
    for (const ProfileParameter &parameter : profileParameters) {
        if (parameter.id == id)
            return &parameter;
    }
    return nullptr;
}

QString nameOf(int id)
{
    return QLatin1String(parameterDescriptor(id).name);
}

double displayValueOf(int id, quint16 word)
{
    return convertRead(parameterDescriptor(id), &word).output.toDouble();
}

// Checks a number against what the register accepts and gives it the
// form's type (int, or double for the scaled kinds); an empty message
// means it is taken.
QString checkValue(int id, double number, QVariant *value)
{
    const ParameterDescriptor &descriptor = parameterDescriptor(id);
    const ProfileParameter *parameter = profileParameter(id);
    const double lowest = displayValueOf(id, parameter->lowestWord);
    const double highest = displayValueOf(id, parameter->highestWord);
    if (!(number >= lowest && number <= highest))
        return tr("%1: %2 is outside the range %3 to %4.")
                .arg(nameOf(id)).arg(number, 0, 'g', 12).arg(lowest, 0, 'g', 12).arg(highest, 0, 'g', 12);
    const bool whole = descriptor.conversion == ConvInteger;
    if (whole && number != std::floor(number))
        return tr("%1: %2 is not a whole number.").arg(nameOf(id)).arg(number);
    *value = whole ? QVariant(int(number)) : QVariant(number);
    QVector<quint16> words;
    if (!convertWrite(descriptor, *value, words))
        return tr("%1: the sensor cannot take %2.").arg(nameOf(id)).arg(number);
    return QString();
}

QVector<quint16> wordsOf(int id, const QVariant &value)
{
    QVector<quint16> words;
    convertWrite(parameterDescriptor(id), value, words);
    return words;
}
}

QVector<int> SensorProfile::parameterIds()
{
    QVector<int> ids;
    for (const ProfileParameter &parameter : profileParameters)
        ids << parameter.id;
    return ids;
}

bool SensorProfile::isRequired(int id)
{
    return parameterDescriptor(id).minFirmware <= FirmwareBase;
}

bool SensorProfile::fromValues(const QString &name, const QString &note, const QMap<int, QVariant> &values,
                               SensorProfile *profile, QString *error)
{
    SensorProfile made;
    // Bounded as loading bounds them, so that what is saved loads again.
    if (!takeJsonText(name, QStringLiteral("name"), LongestName, &made.profileName, error)
            || !takeJsonText(note, QStringLiteral("note"), LongestNote, &made.profileNote, error))
        return false;
    QStringList missing;
    for (int id : parameterIds()) {
        if (!values.contains(id)) {
            if (isRequired(id))
                missing << nameOf(id);
            continue;
        }
        bool isNumber = false;
        const double number = values.value(id).toDouble(&isNumber);
        QVariant value;
        const QString refusal = isNumber ? checkValue(id, number, &value)
                                         : tr("%1: \"%2\" is not a number.").arg(nameOf(id), values.value(id).toString());
        if (!refusal.isEmpty()) {
            *error = refusal;
            return false;
        }
        made.profileValues.insert(id, value);
    }
    if (!missing.isEmpty()) {
        *error = tr("No value for %1.").arg(missing.join(QLatin1String(", ")));
        return false;
    }
    *profile = made;
    return true;
}

bool SensorProfile::load(const QString &path, QString *error)
{
    QJsonObject object;
    if (!loadVersionedJson(path, profileKind, &object, error))
        return false;
    QString name;
    QString note;
    QJsonObject valueObject;
    QString refusal;
    const bool named = object.contains(QStringLiteral("name"));
    if (!named)
        refusal = tr("name is missing.");
    if (!named
            || !takeJsonText(object.value(QStringLiteral("name")), QStringLiteral("name"), LongestName, &name,
                             &refusal)
            || !takeJsonText(object.value(QStringLiteral("note")), QStringLiteral("note"), LongestNote, &note,
                             &refusal)
            || !takeJsonObject(object.value(QStringLiteral("values")), QStringLiteral("values"), false,
                               &valueObject, &refusal)) {
        *error = tr("%1: %2").arg(path, refusal);
        return false;
    }
    // Every key is checked, not only the known ones: a misspelt parameter
    // would otherwise leave the sensor at a value the file does not show.
    QMap<int, QVariant> numbers;
    const QVector<int> ids = parameterIds();
    for (auto entry = valueObject.constBegin(); entry != valueObject.constEnd(); ++entry) {
        const auto known = std::find_if(ids.cbegin(), ids.cend(),
                                        [&](int id) { return nameOf(id) == entry.key(); });
        if (known == ids.cend()) {
            *error = tr("%1: %2 is not a parameter of a sensor profile.").arg(path, entry.key());
            return false;
        }
        if (!entry.value().isDouble()) {
            *error = tr("%1: the value of %2 is not a number.").arg(path, entry.key());
            return false;
        }
        numbers.insert(*known, entry.value().toDouble());
    }
    SensorProfile loaded;
    if (!fromValues(name, note, numbers, &loaded, error)) {
        *error = tr("%1: %2").arg(path, *error);
        return false;
    }
    *this = loaded;
    return true;
}

bool SensorProfile::save(const QString &path, QString *error) const
{
    QJsonObject values;
    for (auto value = profileValues.constBegin(); value != profileValues.constEnd(); ++value)
        values.insert(nameOf(value.key()), QJsonValue::fromVariant(value.value()));
    QJsonObject content;
    content.insert(QStringLiteral("name"), profileName);
    content.insert(QStringLiteral("note"), profileNote);
    content.insert(QStringLiteral("values"), values);
    return saveVersionedJson(path, profileKind, content, error);
}

QVector<SensorProfile::Comparison> SensorProfile::compare(const QMap<int, QVariant> &sensorValues,
                                                          quint32 firmwareVersion) const
{
    QVector<Comparison> rows;
    for (auto value = profileValues.constBegin(); value != profileValues.constEnd(); ++value) {
        const int id = value.key();
        if (!parameterDescriptor(id).isAvailable(firmwareVersion))
            continue;
        Comparison row;
        row.id = id;
        row.name = nameOf(id);
        row.profileValue = value.value();
        row.sensorValue = sensorValues.value(id);
        row.matches = row.sensorValue.isValid() && wordsOf(id, row.profileValue) == wordsOf(id, row.sensorValue);
        rows << row;
    }
    return rows;
}

QVector<SensorProfile::Comparison> SensorProfile::differences(const QVector<Comparison> &rows)
{
    QVector<Comparison> differing;
    std::copy_if(rows.cbegin(), rows.cend(), std::back_inserter(differing),
                 [](const Comparison &row) { return !row.matches; });
    return differing;
}
