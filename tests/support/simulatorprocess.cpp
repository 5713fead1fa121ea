#include "simulatorprocess.h"

#include "ports/virtualports.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>

namespace {
std::atomic<int> instanceCount{ 0 };

// The whole lines logged from offset on: the simulator may be writing the
// next one.
QByteArray wholeLinesFrom(const QString &path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return QByteArray();
    const QByteArray text = file.readAll();
    return text.left(text.lastIndexOf('\n') + 1);
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

SimulatorProcess::SimulatorProcess(LineKind kind, const QStringList &extraArgs)
    : SimulatorProcess(kind == LineKind::Serial ? extraArgs
                       : QStringList{ kind == LineKind::ModbusTcp ? "--tcp" : "--rtu-over-tcp", "0", "--no-terminal" }
                               + extraArgs)
{
}

void addLineKindRows()
{
    QTest::addColumn<LineKind>("kind");
    QTest::newRow("serial") << LineKind::Serial;
    QTest::newRow("modbus tcp") << LineKind::ModbusTcp;
    QTest::newRow("rtu over tcp") << LineKind::RtuOverTcp;
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
    const auto fail = [this](const QString &why) {
        qWarning("SimulatorProcess: %s", qPrintable(why));
        stop();
        return false;
    };
    if (!logDirectory.isValid())
        return fail(QStringLiteral("no temporary directory for the request log"));
    QFile::remove(logPath());
    logOffset = 0;
    process.setArguments(QStringList{ QStringLiteral("--name"), portName,
                                      QStringLiteral("--log"), logPath(),
                                      QStringLiteral("--exit-with-parent") } + arguments);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return fail(QStringLiteral("cannot start %1: %2").arg(process.program(), process.errorString()));
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    servedUrls.clear();
    // "serving URL" for each gateway, then "ready".
    while (!output.contains('\n') || output.startsWith("serving ")) {
        if (output.startsWith("serving ") && output.contains('\n')) {
            const int end = output.indexOf('\n');
            servedUrls << QString::fromLocal8Bit(output.mid(8, end - 8));
            output.remove(0, end + 1);
            continue;
        }
        if (deadline.hasExpired() || process.state() != QProcess::Running)
            return fail(QStringLiteral("%1 did not get ready (arguments: %2)")
                            .arg(process.program(), process.arguments().join(QLatin1Char(' '))));
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        output += process.readAll();
    }
    const QString line = QString::fromLocal8Bit(output.left(output.indexOf('\n')));
    if (!line.startsWith(QLatin1String("ready ")))
        return fail(QStringLiteral("unexpected first line \"%1\"").arg(line));
    announcedLink = line.mid(6);
    return true;
}

bool SimulatorProcess::parseLogLine(const QString &line, SimRequest *request)
{
    QHash<QString, QString> fields;
    for (const QString &token : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int equals = token.indexOf(QLatin1Char('='));
        if (equals < 0)
            return false;
        fields.insert(token.left(equals), token.mid(equals + 1));
    }
    // Fields added later are ignored; a line lacking one of those read here
    // is no request.
    bool ok = true;
    const auto field = [&](const char *key) {
        ok = ok && fields.contains(QLatin1String(key));
        return fields.value(QLatin1String(key));
    };
    // Decimal or 0x hexadecimal; "-" is a field the frame did not carry.
    const auto number = [&ok](const QString &text) {
        bool valid = true;
        const qint64 value = text == QLatin1String("-") ? -1
                             : text.startsWith(QLatin1String("0x")) ? text.mid(2).toLongLong(&valid, 16)
                                                                    : text.toLongLong(&valid);
        ok = ok && valid;
        return value;
    };
    QVector<quint16> values;
    if (field("values") != QLatin1String("-"))
        for (const QString &word : field("values").split(QLatin1Char(',')))
            values.append(quint16(number(word)));
    const SimRequest parsed { number(field("t")), int(number(field("slave"))), int(number(field("fc"))),
                              int(number(field("addr"))), int(number(field("count"))), values,
                              int(number(field("baud"))), int(number(field("stop"))),
                              field("odd") == QLatin1String("1"), field("answered") == QLatin1String("yes"),
                              field("reason") };
    if (ok)
        *request = parsed;
    return ok;
}

QList<SimRequest> SimulatorProcess::requests() const
{
    QList<SimRequest> result;
    for (const QByteArray &line : wholeLinesFrom(logPath(), logOffset).split('\n')) {
        SimRequest request;
        if (!line.isEmpty() && parseLogLine(QString::fromUtf8(line), &request))
            result.append(request);
    }
    return result;
}

void SimulatorProcess::clearRequests()
{
    logOffset += wholeLinesFrom(logPath(), logOffset).size();
}

void SimulatorProcess::vanish()
{
    if (process.state() != QProcess::Running)
        return;
    ::kill(static_cast<pid_t>(process.processId()), SIGUSR1);
    const QDeadlineTimer deadline(5000);
    // QFileInfo::exists() follows the link; the link itself is what counts.
    while ((QFileInfo(linkPath()).isSymLink() || QFileInfo::exists(linkPath())) && !deadline.hasExpired())
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
