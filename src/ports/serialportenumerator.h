#ifndef SERIALPORTENUMERATOR_H
#define SERIALPORTENUMERATOR_H

#include "serialportinfo.h"

#include <QList>
#include <QObject>

class UdevPortMonitor;
class VirtualPortWatcher;

// Lists the serial ports present on the computer and announces the ones
// that come and go: real ports through libudev, and the virtual ports
// announced as links in virtualPortDirectory(). Both kinds are announced
// alike, so a simulator appears in the port list exactly like a plugged
// adapter.
class SerialPortEnumerator : public QObject
{
    Q_OBJECT

public:
    explicit SerialPortEnumerator(QObject *parent = nullptr);
    ~SerialPortEnumerator() override;

    // Enumerates afresh at every call. Real ports come first, in the
    // natural order of their device nodes (ttyUSB2 before ttyUSB10), then
    // the virtual ports by name, then the named ones, then the network
    // lines (NetworkLines); the order is the same for the same set.
    static QList<SerialPortInfo> getPorts();

    // Lists, from now on, the serial device the user named (--port: a
    // path or a bare name under /dev, see portresolution.h) whenever it is
    // there and no other entry of the list is that device: a pseudo-terminal
    // of socat or ser2net, a UART that udev does not show. Its arrival and
    // removal are noticed when the list is made again.
    static void listNamedPort(const QString &name);

    // Leaves the real ports out of every list, so that tests can stand for
    // a computer with no serial hardware; on by default.
    static void setHardwarePortsListed(bool listed);

    // Starts following arrivals and removals; the ports present now are not
    // announced. Calling it again changes nothing. When a source cannot be
    // watched the enumerator goes on without its notices.
    void setUpNotifications();

signals:
    void deviceDiscovered(const SerialPortInfo &info);
    void deviceRemoved(const SerialPortInfo &info);

private:
    void announceChanges();

    UdevPortMonitor *udevMonitor = nullptr;
    VirtualPortWatcher *virtualWatcher = nullptr;
    QList<SerialPortInfo> knownPorts;
};

#endif // SERIALPORTENUMERATOR_H
