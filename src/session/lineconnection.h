#ifndef LINECONNECTION_H
#define LINECONNECTION_H

#include "ports/serialportinfo.h"

#include <QObject>
#include <QTimer>

#include <functional>

class LineSession;
class LinkThread;

// Opens and closes the line on the link's thread and keeps it through an
// unplugged adapter: when the open port goes away, whether a timed reading
// runs or the line is idle, the line waits for it, and when a port of the
// same identity is present again (however soon, even before the removal was
// noticed) it is opened again at the session's line, which may have moved
// meanwhile: the next operation uses the port as it is now. A network line
// whose connection broke is connected again the same way, after a delay
// that grows up to 30 s. The outcome of each step goes to the session,
// which the rest follows.
class LineConnection : public QObject
{
    Q_OBJECT

public:
    LineConnection(LinkThread *link, LineSession *session, QObject *parent = nullptr);

    // The ports present now; the enumerator's by default.
    void setPresentPorts(std::function<QList<SerialPortInfo>()> ports) { presentPorts = std::move(ports); }

    // Opens port at the session's line; opened() or openFailed() follows.
    void open(const SerialPortInfo &port);
    // A transfer under way gives up after its current attempt.
    void close();

public slots:
    void portRemoved(const SerialPortInfo &port);
    void portArrived(const SerialPortInfo &port);
    // The device went away during a transfer.
    void lineLost();

signals:
    void opened();
    // errno of the failed open (0 when no line was given), and the device.
    void openFailed(int error, const QString &device);

private:
    void tryReopen();

    LinkThread *link;
    LineSession *session;
    std::function<QList<SerialPortInfo>()> presentPorts;
    QTimer retry;
    bool reopening = false;
    int generation = 0;    // each open and close; older completions are dropped
};

#endif // LINECONNECTION_H
