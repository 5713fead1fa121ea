#ifndef REQUESTLOG_H
#define REQUESTLOG_H

#include "modbusrequest.h"
#include "observedline.h"

#include <QByteArray>
#include <QString>
#include <cstdio>

// One line per received frame, written and flushed before any reply goes
// out, so that whoever got the reply can already read the line. Example:
// t=1234567 slave=1 fc=16 addr=0x8004 count=1 values=5 baud=19200 stop=1 odd=0 answered=yes reason=-
// t is CLOCK_MONOTONIC in microseconds at the frame's arrival; fields the
// frame does not carry are "-"; values are decimal, comma separated.
// reason is "-" for a plain answer; a reply struck by a one-shot fault
// carries the fault's name, after its own reason if it had one
// ("late-reply", "exception-2+garbage").
class RequestLog
{
public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog &) = delete;
    RequestLog &operator=(const RequestLog &) = delete;

    bool open(const QString &path, QString *error);
    void record(qint64 timeUs, const ModbusRequest &request, const ObservedLine &line,
                bool answered, const QString &reason);

    static QByteArray formatLine(qint64 timeUs, const ModbusRequest &request, const ObservedLine &line,
                                 bool answered, const QString &reason);

private:
    FILE *file = nullptr;
};

#endif // REQUESTLOG_H
