#include "lineconnection.h"

#include "linesession.h"
#include "link/linkthread.h"
#include "link/sensorlink.h"
#include "ports/serialportenumerator.h"

#include <memory>

namespace {
// How often a port that is back but would not open yet is tried again.
constexpr int ReopenRetryMs = 250;
// A network line is always there: its gateway is tried again after a delay
// that doubles from the first up to the last, so that a gateway that
// reboots is followed without flooding one that stays away.
constexpr int FirstReconnectMs = 500;
constexpr int LastReconnectMs = 30000;
}

LineConnection::LineConnection(LinkThread *link, LineSession *session, QObject *parent)
    : QObject(parent)
    , link(link)
    , session(session)
    , presentPorts([] { return SerialPortEnumerator::getPorts(); })
{
    retry.setInterval(ReopenRetryMs);
    connect(&retry, &QTimer::timeout, this, &LineConnection::tryReopen);
}

void LineConnection::open(const SerialPortInfo &port)
{
    const int thisOpen = ++generation;
    retry.stop();
    reopening = false;
    const QString device = port.device();
    const int bitRateCode = session->bitRateCode();
    const int framingCode = session->framingCode();
    auto opened = std::make_shared<bool>(false);
    auto error = std::make_shared<int>(0);
    link->run([device, bitRateCode, framingCode, opened, error](SensorLink &line) {
        *opened = line.open(device, bitRateCode, framingCode);
        *error = line.openError();
        line.resetCounts();
    }, [this, thisOpen, port, device, bitRateCode, framingCode, opened, error] {
        if (thisOpen != generation)
            return;
        if (!*opened) {
            session->setClosed();
            emit openFailed(*error, device);
            return;
        }
        session->setOpen(port, bitRateCode, framingCode);
        emit this->opened();
    });
}

void LineConnection::close()
{
    ++generation;
    retry.stop();
    reopening = false;
    link->cancel();
    link->run([](SensorLink &line) { line.close(); });
    session->setClosed();
}

void LineConnection::portRemoved(const SerialPortInfo &port)
{
    if (session->isOpen() && port.identity == session->port().identity)
        lineLost();
}

void LineConnection::lineLost()
{
    if (!session->isOpen())
        return;
    ++generation;
    link->cancel();
    link->run([](SensorLink &line) { line.close(); });
    session->setWaitingForPort();
    retry.setInterval(session->port().isNetworkLine() ? FirstReconnectMs : ReopenRetryMs);
    retry.start();
    // The adapter may be back already: its arrival can be noticed before
    // its removal when it is plugged in again at once.
    tryReopen();
}

void LineConnection::portArrived(const SerialPortInfo &port)
{
    if (session->connection() == LineSession::Connection::WaitingForPort
            && port.identity == session->port().identity)
        tryReopen();
}

void LineConnection::tryReopen()
{
    if (session->connection() != LineSession::Connection::WaitingForPort) {
        retry.stop();
        return;
    }
    if (reopening)
        return;
    SerialPortInfo back = session->port();
    bool present = back.isNetworkLine();
    for (const SerialPortInfo &candidate : present ? QList<SerialPortInfo>() : presentPorts()) {
        if (candidate.identity == session->port().identity) {
            back = candidate;
            present = true;
            break;
        }
    }
    if (!present)
        return;
    reopening = true;
    const int thisTry = generation;
    const QString device = back.device();
    // The line the sensor answers at now: a Write all may have moved it.
    const int bitRateCode = session->bitRateCode();
    const int framingCode = session->framingCode();
    auto opened = std::make_shared<bool>(false);
    link->run([device, bitRateCode, framingCode, opened](SensorLink &line) {
        *opened = line.open(device, bitRateCode, framingCode);
    }, [this, thisTry, back, bitRateCode, framingCode, opened] {
        reopening = false;
        if (thisTry != generation || session->connection() != LineSession::Connection::WaitingForPort)
            return;
        if (!*opened) {
            // Tried again by the retry timer.
            if (back.isNetworkLine())
                retry.setInterval(qMin(retry.interval() * 2, LastReconnectMs));
            return;
        }
        retry.stop();
        session->setOpen(back, bitRateCode, framingCode);
    });
}
