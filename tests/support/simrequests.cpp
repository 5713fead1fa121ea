#include "simrequests.h"

#include "modalanswerer.h"
#include "windowtest.h"

#include <QTest>

QString describe(const SimRequest &request)
{
    QStringList values;
    for (quint16 value : request.values)
        values << QString::number(value);
    return QStringLiteral("fc%1 slave %2 0x%3 x%4 [%5] %6 baud, %7 stop%8: %9")
            .arg(request.function).arg(request.slave).arg(request.address, 4, 16, QLatin1Char('0'))
            .arg(request.count).arg(values.join(QLatin1Char(','))).arg(request.baud).arg(request.stopBits)
            .arg(request.odd ? QStringLiteral(", odd") : QString(), request.reason);
}

QStringList describe(const QList<SimRequest> &requests)
{
    QStringList lines;
    for (const SimRequest &request : requests)
        lines << describe(request);
    return lines;
}

QString simRequest(int function, int slave, int address, int count, const QVector<quint16> &values,
                   const SimLine &line, const char *reason)
{
    SimRequest request;
    request.function = function;
    request.slave = slave;
    request.address = address;
    request.count = count;
    request.values = values;
    request.baud = line.baud;
    request.stopBits = line.stopBits;
    request.odd = line.odd;
    request.reason = QLatin1String(reason);
    return describe(request);
}

QString simWrite(int slave, int address, quint16 value, const SimLine &line)
{
    return simRequest(16, slave, address, 1, { value }, line);
}

QStringList readAllRequests(bool withPulseConstant, int slave, const SimLine &line)
{
    const auto read = [&](int address, int count) { return simRequest(3, slave, address, count, {}, line); };
    QStringList requests{ read(0x8000, 2), read(0x8002, 2) };
    for (int bit = 0; bit < 6; ++bit)
        requests << read(0x0102, 1);
    for (int address = 0x8004; address <= 0x800A; ++address)
        requests << read(address, 1);
    if (withPulseConstant)
        requests << read(0x8030, 1);
    return requests;
}

QStringList shownBoxes(const ModalAnswerer &answerer)
{
    QStringList boxes;
    for (const ModalAnswerer::Box &box : answerer.boxes())
        boxes << box.title + QStringLiteral(": ") + box.text;
    return boxes;
}

bool successShownFor(QWidget *window, const QString &text, const QElapsedTimer &since, int delayMs)
{
    using namespace WindowTest;
    while (statusText(window) == text && statusStyle(window) == QLatin1String("background: #0b0;")
           && since.elapsed() < delayMs + 2000)
        QTest::qWait(10);
    const qint64 held = since.elapsed();
    if (statusText(window) == QLatin1String("Ready") && statusStyle(window) == QLatin1String("background: #aaa;")
        && held >= delayMs - delayMs / 20 - 100 && held < delayMs + 2000)
        return true;
    qWarning("status \"%s\" after %lld ms", qPrintable(statusText(window)), held);
    return false;
}
