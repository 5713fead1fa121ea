#ifndef SENSORPROFILE_H
#define SENSORPROFILE_H

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// The configuration every sensor of a kind should have, without what
// belongs to one sensor (its node address) or to the line (bit rate and
// framing): Delay, AnOutputMode, AnOutputSelect, PT100Enable and, for
// firmware that has it, ConstPerPulse. Values are held in the units the
// form shows, the number form convertRead gives and convertWrite takes.
//
// Kept in a versioned JSON file (.kelvaprofile):
//     { "format": "kelvaset-profile", "version": 1, "name": "...", "note": "...",
//       "values": { "Delay": 5, "AnOutputMode": 1, ..., "ConstPerPulse": 1.44 } }
class SensorProfile
{
public:
    // One parameter of the profile next to what a sensor holds.
    struct Comparison
    {
        int id = -1;
        QString name;
        QVariant profileValue;
        QVariant sensorValue;    // invalid when the sensor gave none
        bool matches = false;
    };

    static const char *fileSuffix() { return "kelvaprofile"; }
    // The longest name and note a profile takes, in characters.
    static constexpr int LongestName = 200;
    static constexpr int LongestNote = 2000;
    // The parameters a profile may hold, in the form's order.
    static QVector<int> parameterIds();
    // All but ConstPerPulse, which only newer firmware has.
    static bool isRequired(int id);

    // A profile of the values the form shows. Refuses (false, a translated
    // message in error, profile untouched) a name or note too long, a
    // required value missing, naming every one missing, or a value outside
    // its register's range.
    // Ids that are not profile parameters are ignored.
    static bool fromValues(const QString &name, const QString &note, const QMap<int, QVariant> &values,
                           SensorProfile *profile, QString *error);

    // Loading takes the whole file or nothing of it.
    bool load(const QString &path, QString *error);
    bool save(const QString &path, QString *error) const;

    QString name() const { return profileName; }
    QString note() const { return profileNote; }
    // By parameter id; ConstPerPulse only when the profile has it.
    const QMap<int, QVariant> &values() const { return profileValues; }
    bool has(int id) const { return profileValues.contains(id); }

    // One row per profile parameter the firmware has (ConstPerPulse only
    // when both the profile and the firmware have it). Values match when
    // they give the same register words, so a pulse constant typed as 1.44
    // matches the 2949/2048 the sensor keeps of it.
    QVector<Comparison> compare(const QMap<int, QVariant> &sensorValues, quint32 firmwareVersion) const;
    // The rows that do not match.
    static QVector<Comparison> differences(const QVector<Comparison> &rows);

private:
    QString profileName;
    QString profileNote;
    QMap<int, QVariant> profileValues;
};

#endif // SENSORPROFILE_H
