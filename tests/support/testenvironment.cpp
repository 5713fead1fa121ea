#include "testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

TestEnvironment::TestEnvironment()
{
    Q_ASSERT(root.isValid());
    QDir().mkpath(settingsDirectory());
    QDir().mkpath(runtimeDirectory());
    QDir().mkpath(workingDirectory());
    QFile::setPermissions(runtimeDirectory(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtimeDirectory().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", settingsDirectory().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDirectory());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDirectory());
    QCoreApplication::setOrganizationName(QStringLiteral("Orvanto"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvanto.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvaset"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.3"));
    previousWorkingDirectory = QDir::currentPath();
    QDir::setCurrent(workingDirectory());
}

TestEnvironment::~TestEnvironment()
{
    QDir::setCurrent(previousWorkingDirectory);
}

void TestEnvironment::clearSettings() const
{
    QSettings settings;
    settings.clear();
    settings.sync();
}
