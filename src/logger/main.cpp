#include "linelogger.h"
#include "loggeroptions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {
// Refused arguments; LineLogger's codes say how a run ended.
constexpr int ExitBadArguments = 2;

// One line of the service's journal: the UTC time, then the event on a
// single line.
void writeJournalLine(const QString &message)
{
    const QString line = QStringLiteral("%1 %2\n").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                                                       QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
}

int main(int argc, char *argv[])
{
    // SIGTERM and SIGINT arrive as data on a descriptor that the event loop
    // watches, so that the stop runs as ordinary code after the tick under
    // way. They are blocked before any thread starts, so that every thread
    // (the link's, the MQTT library's) inherits the mask and none takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvaset-logger"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVASET_VERSION));

    const LoggerCommandLine commandLine = parseLoggerCommandLine(QCoreApplication::arguments());
    switch (commandLine.action) {
    case LoggerCommandLine::Action::ShowHelp:
    case LoggerCommandLine::Action::ShowVersion:
        std::fputs(qPrintable(commandLine.text), stdout);
        return 0;
    case LoggerCommandLine::Action::Refuse:
        std::fprintf(stderr, "kelvaset-logger: %s\nTry kelvaset-logger --help.\n", qPrintable(commandLine.text));
        return ExitBadArguments;
    case LoggerCommandLine::Action::Run:
        break;
    }

    const int signalDescriptor = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalDescriptor < 0) {
        std::perror("kelvaset-logger: signalfd");
        return 1;
    }
    LineLogger logger(commandLine.options);
    QSocketNotifier stopNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &logger, [&logger, signalDescriptor] {
        signalfd_siginfo received;
        while (::read(signalDescriptor, &received, sizeof received) == ssize_t(sizeof received)) {
        }
        logger.stop();
    });
    QObject::connect(&logger, &LineLogger::event, &writeJournalLine);
    QObject::connect(&logger, &LineLogger::finished, &application, &QCoreApplication::exit);
    QTimer::singleShot(0, &logger, &LineLogger::start);
    const int exitCode = application.exec();
    ::close(signalDescriptor);
    return exitCode;
}
