#ifndef LOGGERPROCESS_H
#define LOGGERPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

// kelvaset-logger run as a service runs it, for a test: started with the
// arguments, its journal (standard error) read as it goes.
struct LoggerProcess : QProcess
{
    explicit LoggerProcess(const QStringList &arguments)
    {
        setProgram(QStringLiteral(KELVASET_LOGGER));
        setArguments(arguments);
        start();
    }
    ~LoggerProcess() override
    {
        kill();
        waitForFinished();
    }
    // How often the journal has said this so far.
    int says(const QString &text)
    {
        journal += QString::fromLocal8Bit(readAllStandardError());
        return journal.count(text);
    }
    // SIGTERM, as the service manager stops it: the exit code, or -1 for a crash.
    int stop()
    {
        terminate();
        return waitForFinished(15000) && exitStatus() == NormalExit ? exitCode() : -1;
    }
    QString journal;
};

#endif // LOGGERPROCESS_H
