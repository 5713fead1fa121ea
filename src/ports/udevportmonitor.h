#ifndef UDEVPORTMONITOR_H
#define UDEVPORTMONITOR_H

#include <QObject>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Tells when a device of the "tty" subsystem comes or goes. The netlink
// socket is read on the thread this object lives in, so ttyChanged() is
// emitted there.
class UdevPortMonitor : public QObject
{
    Q_OBJECT

public:
    explicit UdevPortMonitor(QObject *parent = nullptr);
    ~UdevPortMonitor() override;

    // False when no monitor socket could be opened; the object then stays
    // silent.
    bool start();
    bool isActive() const { return monitor != nullptr; }

signals:
    void ttyChanged();

private:
    void readEvents();
    void stop();

    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *notifier = nullptr;
};

#endif // UDEVPORTMONITOR_H
