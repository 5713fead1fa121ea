#include "versionedjson.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSaveFile>

#include <cmath>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("VersionedJson", text);
}

QString describe(const VersionedJsonKind &kind)
{
    return tr(kind.description);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
}

bool takeJsonText(const QJsonValue &value, const QString &field, int longest, QString *text, QString *error)
{
    if (value.isUndefined()) {
        text->clear();
        return true;
    }
    if (!value.isString()) {
        *error = tr("%1 must be text.").arg(field);
        return false;
    }
    const QString read = value.toString();
    if (read.size() > longest) {
        *error = tr("%1 is longer than %2 characters.").arg(field).arg(longest);
        return false;
    }
    *text = read;
    return true;
}

bool takeJsonWhole(const QJsonValue &value, const QString &field, double lowest, double highest, double *number,
                   QString *error)
{
    const double read = value.toDouble();
    if (!value.isDouble() || read != std::floor(read) || read < lowest || read > highest) {
        *error = tr("%1 must be a whole number from %2 to %3.").arg(field).arg(lowest, 0, 'f', 0)
                .arg(highest, 0, 'f', 0);
        return false;
    }
    *number = read;
    return true;
}

bool takeJsonObject(const QJsonValue &value, const QString &field, bool optional, QJsonObject *object,
                    QString *error)
{
    if (!value.isObject() && !(optional && value.isUndefined())) {
        *error = tr("%1 must be an object.").arg(field);
        return false;
    }
    *object = value.toObject();
    return true;
}

bool loadVersionedJson(const QString &path, const VersionedJsonKind &kind, QJsonObject *object, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Cannot read %1: %2").arg(shown(path), file.errorString());
        return false;
    }
    // Read up to one byte beyond the bound, so that a device or a pipe
    // without a size is bounded too.
    const QByteArray content = file.read(LargestVersionedJson + 1);
    if (content.size() > LargestVersionedJson) {
        *error = tr("%1 is not a Kelvaset %2: it is larger than %3 MiB.")
                .arg(shown(path), describe(kind)).arg(LargestVersionedJson / (1024 * 1024));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = tr("%1 is damaged: %2 at byte %3.")
                .arg(shown(path), parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonObject read = document.object();
    if (!document.isObject() || read.value(QStringLiteral("format")).toString() != QLatin1String(kind.format)) {
        *error = tr("%1 is not a Kelvaset %2.").arg(shown(path), describe(kind));
        return false;
    }
    const QJsonValue versionValue = read.value(QStringLiteral("version"));
    const double version = versionValue.toDouble(-1);
    if (!versionValue.isDouble() || version < 1 || version != std::floor(version)) {
        *error = tr("%1 has no valid format version.").arg(shown(path));
        return false;
    }
    if (version > kind.version) {
        *error = tr("%1 was written by a newer version of Kelvaset (format version %2); "
                    "this version reads up to %3.")
                .arg(shown(path)).arg(version, 0, 'f', 0).arg(kind.version);
        return false;
    }
    *object = read;
    return true;
}

bool saveVersionedJson(const QString &path, const VersionedJsonKind &kind, const QJsonObject &content,
                       QString *error)
{
    QJsonObject document = content;
    document.insert(QStringLiteral("format"), QLatin1String(kind.format));
    document.insert(QStringLiteral("version"), kind.version);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
            || file.write(QJsonDocument(document).toJson()) < 0
            || !file.commit()) {
        *error = tr("Cannot save %1: %2").arg(shown(path), file.errorString());
        return false;
    }
    return true;
}
