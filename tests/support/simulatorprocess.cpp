#include "simulatorprocess.h"

#include "ports/virtualports.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <csignal>

namespace {
std::atomic<int> instanceCount{ 0 };

bool linkPresent(const QString &path)
{
    // QFileInfo::exists() follows the link; the link itself is what counts.
    const QFileInfo info(path);
    return info.isSymLink() || info.exists();
}
}

SimulatorProcess::SimulatorProcess(const QStringList &extraArgs, const QString &name)
    : arguments(extraArgs),
      portName(name.isEmpty()
               ? QStringLiteral("kelvane-sim-%1-%2").arg(QCoreApplication::applicationPid()).arg(++instanceCount)
               : name)
{
    process.setProgram(QStringLiteral(KELVASET_SIMULATOR));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

QString SimulatorProcess::linkPath() const
{
    return announcedLink.isEmpty() ? QDir(virtualPortDirectory()).filePath(portName) : announcedLink;
}

bool SimulatorProcess::start(int timeoutMs)
{
    if (!logDirectory.isValid()) {
        qWarning("SimulatorProcess: no temporary directory for the request log");
        return false;
    }
    QFile::remove(logPath());
    logOffset = 0;
    process.setArguments(QStringList{ QStringLiteral("--name"), portName,
                                      QStringLiteral("--log"), logPath(),
                                      QStringLiteral("--exit-with-parent") } + arguments);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        qWarning("SimulatorProcess: cannot start %s: %s", KELVASET_SIMULATOR,
                 qPrintable(process.errorString()));
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (!output.contains('\n')) {
        if (deadline.hasExpired() || process.state() != QProcess::Running) {
            qWarning("SimulatorProcess: %s did not get ready (arguments: %s)", KELVASET_SIMULATOR,
                     qPrintable(process.arguments().join(QLatin1Char(' '))));
            stop();
            return false;
        }
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        output += process.readAll();
    }
    const QString line = QString::fromLocal8Bit(output.left(output.indexOf('\n')));
    if (!line.startsWith(QLatin1String("ready "))) {
        qWarning("SimulatorProcess: unexpected first line \"%s\"", qPrintable(line));
        stop();
        return false;
    }
    announcedLink = line.mid(6);
    return true;
}

bool SimulatorProcess::parseLogLine(const QString &line, SimRequest *request)
{
    const auto number = [](const QString &text, bool *ok) {
        if (text == QLatin1String("-"))
            return -1;
        return text.startsWith(QLatin1String("0x")) ? text.mid(2).toInt(ok, 16) : text.toInt(ok);
    };
    SimRequest parsed;
    int fields = 0;
    for (const QString &token : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int equals = token.indexOf(QLatin1Char('='));
        if (equals < 0)
            return false;
        const QString key = token.left(equals);
        const QString value = token.mid(equals + 1);
        bool ok = true;
        if (key == QLatin1String("t")) {
            parsed.timeUs = value.toLongLong(&ok);
        } else if (key == QLatin1String("slave")) {
            parsed.slave = number(value, &ok);
        } else if (key == QLatin1String("fc")) {
            parsed.function = number(value, &ok);
        } else if (key == QLatin1String("addr")) {
            parsed.address = number(value, &ok);
        } else if (key == QLatin1String("count")) {
            parsed.count = number(value, &ok);
        } else if (key == QLatin1String("values")) {
            if (value != QLatin1String("-")) {
                for (const QString &word : value.split(QLatin1Char(',')))
                    parsed.values.append(static_cast<quint16>(word.toUInt(&ok)));
            }
        } else if (key == QLatin1String("baud")) {
            parsed.baud = value.toInt(&ok);
        } else if (key == QLatin1String("stop")) {
            parsed.stopBits = value.toInt(&ok);
        } else if (key == QLatin1String("odd")) {
            parsed.odd = value == QLatin1String("1");
        } else if (key == QLatin1String("answered")) {
            parsed.answered = value == QLatin1String("yes");
        } else if (key == QLatin1String("reason")) {
            parsed.reason = value;
        } else {
            continue;   // a field added later
        }
        if (!ok)
            return false;
        ++fields;
    }
    if (fields < 11)
        return false;
    *request = parsed;
    return true;
}

QList<SimRequest> SimulatorProcess::requests() const
{
    QList<SimRequest> result;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(logOffset))
        return result;
    const QByteArray text = file.readAll();
    // Only whole lines: the simulator may be writing the next one.
    const QByteArray complete = text.left(text.lastIndexOf('\n') + 1);
    for (const QByteArray &line : complete.split('\n')) {
        SimRequest request;
        if (!line.isEmpty() && parseLogLine(QString::fromUtf8(line), &request))
            result.append(request);
    }
    return result;
}

void SimulatorProcess::clearRequests()
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(logOffset))
        return;
    logOffset += file.readAll().lastIndexOf('\n') + 1;
}

void SimulatorProcess::vanish()
{
    if (process.state() != QProcess::Running)
        return;
    ::kill(static_cast<pid_t>(process.processId()), SIGUSR1);
    const QDeadlineTimer deadline(5000);
    while (linkPresent(linkPath()) && !deadline.hasExpired())
        QThread::msleep(5);
    process.waitForFinished(int(qMax<qint64>(1, deadline.remainingTime())));
}

void SimulatorProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

bool SimulatorProcess::isRunning() const
{
    return process.state() != QProcess::NotRunning;
}

int SimulatorProcess::waitForExit(int timeoutMs)
{
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
