#include "networkline.h"

namespace {
const QLatin1String TcpScheme("tcp://");
const QLatin1String RtuOverTcpScheme("rtu+tcp://");
}

bool NetworkLine::looksLikeUrl(const QString &text)
{
    return text.startsWith(TcpScheme, Qt::CaseInsensitive) || text.startsWith(RtuOverTcpScheme, Qt::CaseInsensitive);
}

bool NetworkLine::parse(const QString &text, NetworkLine *line)
{
    NetworkLine parsed;
    QString rest;
    if (text.startsWith(TcpScheme, Qt::CaseInsensitive)) {
        parsed.protocol = Protocol::ModbusTcp;
        rest = text.mid(TcpScheme.size());
    } else if (text.startsWith(RtuOverTcpScheme, Qt::CaseInsensitive)) {
        parsed.protocol = Protocol::RtuOverTcp;
        rest = text.mid(RtuOverTcpScheme.size());
    } else {
        return false;
    }
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        parsed.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return false;
        portText = after.mid(1);
        if (after.isEmpty())
            portText.clear();
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        parsed.host = colon < 0 ? rest : rest.left(colon);
        portText = colon < 0 ? QString() : rest.mid(colon + 1);
        if (colon >= 0 && portText.isEmpty())
            return false;
    }
    if (parsed.host.isEmpty() || parsed.host.contains(QLatin1Char('/')) || parsed.host.contains(QLatin1Char(' ')))
        return false;
    if (portText.isEmpty()) {
        // A gateway that passes RTU frames through has no usual port.
        if (parsed.protocol == Protocol::RtuOverTcp)
            return false;
    } else {
        bool ok = false;
        parsed.port = portText.toInt(&ok);
        if (!ok || parsed.port < 1 || parsed.port > 65535)
            return false;
    }
    *line = parsed;
    return true;
}

QString NetworkLine::endpoint() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

QString NetworkLine::url() const
{
    return (protocol == Protocol::ModbusTcp ? QString(TcpScheme) : QString(RtuOverTcpScheme)) + endpoint();
}
