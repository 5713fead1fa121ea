#include "requestlog.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>

RequestLog::~RequestLog()
{
    if (file)
        std::fclose(file);
}

bool RequestLog::open(const QString &path, QString *error)
{
    file = std::fopen(QFile::encodeName(path).constData(), "a");
    if (!file) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

QByteArray RequestLog::formatLine(qint64 timeUs, const ModbusRequest &request, const ObservedLine &line,
                                  bool answered, const QString &reason)
{
    const auto number = [](int value) {
        return value < 0 ? QStringLiteral("-") : QString::number(value);
    };
    QStringList values;
    for (quint16 value : request.values)
        values.append(QString::number(value));
    const QString address = request.address < 0
            ? QStringLiteral("-")
            : QStringLiteral("0x%1").arg(request.address, 4, 16, QLatin1Char('0'));
    const QString text = QStringLiteral("t=%1 slave=%2 fc=%3 addr=%4 count=%5 values=%6 baud=%7 stop=%8 odd=%9")
            .arg(timeUs).arg(number(request.slave), number(request.function), address,
                             number(request.count),
                             values.isEmpty() ? QStringLiteral("-") : values.join(QLatin1Char(',')))
            .arg(line.baud).arg(line.stopBits).arg(line.oddParity ? 1 : 0)
            + QStringLiteral(" answered=%1 reason=%2\n")
            .arg(answered ? QStringLiteral("yes") : QStringLiteral("no"), reason);
    return text.toUtf8();
}

void RequestLog::record(qint64 timeUs, const ModbusRequest &request, const ObservedLine &line,
                        bool answered, const QString &reason)
{
    if (!file)
        return;
    const QByteArray text = formatLine(timeUs, request, line, answered, reason);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), file);
    std::fflush(file);
}
