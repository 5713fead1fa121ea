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

// Far beyond any file Kelvaset writes: a larger one is refused unread, so a
// damaged or hostile file cannot hold the window while it is parsed.
constexpr qint64 LargestVersionedJson = 1024 * 1024;

// Reads the file into object (without "format" and "version" checked there
// again). On failure returns false, leaves object untouched and puts a
// translated message naming the file in error.
bool loadVersionedJson(const QString &path, const VersionedJsonKind &kind, QJsonObject *object, QString *error);

// Writes content with "format" and "version" added, replacing the file only
// once everything is written, so a failed save never leaves half a file.
bool saveVersionedJson(const QString &path, const VersionedJsonKind &kind, const QJsonObject &content,
                       QString *error);

// The fields of a document are taken through these, each checked for its
// type and bounds before anything is built from it. field names the value
// as the message shows it ("sensors[2].label"). On a refusal they return
// false with a translated message naming the field in error, and leave the
// result untouched.

// Text of at most longest characters; a missing value gives empty text.
bool takeJsonText(const QJsonValue &value, const QString &field, int longest, QString *text, QString *error);
// A whole number from lowest to highest.
bool takeJsonWhole(const QJsonValue &value, const QString &field, double lowest, double highest, double *number,
                   QString *error);
// An object; a missing value gives an empty one when it may be left out.
bool takeJsonObject(const QJsonValue &value, const QString &field, bool optional, QJsonObject *object,
                    QString *error);

#endif // VERSIONEDJSON_H
