#ifndef LOGGERPROCESS_H
#define LOGGERPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

// kelvaset-logger run as a service runs it, for a test: started with the
// arguments, its journal (standard error) read as it goes.
struct LoggerProcess : QProcess
{
    // runAs: a command that runs the logger given after it (setpriv ...).
    explicit LoggerProcess(const QStringList &arguments,
                           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                           const QStringList &runAs = {})
    {
        setProcessEnvironment(environment);
        setProgram(runAs.isEmpty() ? QStringLiteral(KELVASET_LOGGER) : runAs.first());
        setArguments(runAs.isEmpty() ? arguments
                                     : runAs.mid(1) + QStringList(QStringLiteral(KELVASET_LOGGER)) + arguments);
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
