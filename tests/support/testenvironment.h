#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include <QString>
#include <QTemporaryDir>

// Gives a test process its own settings store, runtime directory (where
// virtual serial ports are announced) and working directory, and the
// program's identity, so that tests never touch the user's files and never
// see each other's ports. Call from initTestCase(), before any window exists.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString settingsDirectory() const { return root.path() + QStringLiteral("/config"); }
    QString runtimeDirectory() const { return root.path() + QStringLiteral("/runtime"); }
    QString workingDirectory() const { return root.path() + QStringLiteral("/work"); }

    // Removes every stored setting.
    void clearSettings() const;

private:
    QTemporaryDir root;
    QString previousWorkingDirectory;
};

#endif // TESTENVIRONMENT_H
