#ifndef JSONFILES_H
#define JSONFILES_H

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

// Writes content to path, replacing it, and returns path.
inline QString writtenFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The JSON object a file holds; empty when there is none.
inline QJsonObject jsonObjectIn(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

#endif // JSONFILES_H
