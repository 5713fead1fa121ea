#ifndef VERSIONEDJSON_H
#define VERSIONEDJSON_H

#include <QJsonObject>
#include <QString>

// The files Kelvaset writes for people to keep and pass on (sensor profiles,
// projects, reports) are JSON objects that say what they are and which
// version of their layout they follow:
//     { "format": "kelvaset-profile", "version": 1, ... }
// so that a file of another kind, or one written by a newer program, is
// refused with a message the user can act on instead of being half read.
struct VersionedJsonKind
{
    const char *format;         // the "format" value, e.g. "kelvaset-profile"
    int version;                // the newest layout this program reads and writes
    const char *description;    // "sensor profile", translated in context "VersionedJson"
};

// Reads the file into object (without "format" and "version" checked there
// again). On failure returns false, leaves object untouched and puts a
// translated message naming the file in error.
bool loadVersionedJson(const QString &path, const VersionedJsonKind &kind, QJsonObject *object, QString *error);

// Writes content with "format" and "version" added, replacing the file only
// once everything is written, so a failed save never leaves half a file.
bool saveVersionedJson(const QString &path, const VersionedJsonKind &kind, const QJsonObject &content,
                       QString *error);

#endif // VERSIONEDJSON_H
