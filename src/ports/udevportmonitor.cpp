#include "udevportmonitor.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <libudev.h>

namespace {

// Events of the "udev" source come after udevd has made the device node
// and its links, so they are the ones to follow when udevd runs. Without
// udevd, libudev opens such a monitor but nothing is ever sent to it; the
// kernel's own events are the only ones then.
QList<const char *> eventSources()
{
    if (QFileInfo::exists(QStringLiteral("/run/udev/control")))
        return {"udev", "kernel"};
    return {"kernel", "udev"};
}

} // namespace

UdevPortMonitor::UdevPortMonitor(QObject *parent)
    : QObject(parent)
{
}

UdevPortMonitor::~UdevPortMonitor()
{
    stop();
}

bool UdevPortMonitor::start()
{
    if (monitor)
        return true;

    context = udev_new();
    if (!context)
        return false;

    for (const char *source : eventSources()) {
        monitor = udev_monitor_new_from_netlink(context, source);
        if (!monitor)
            continue;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) >= 0
                && udev_monitor_enable_receiving(monitor) >= 0
                && udev_monitor_get_fd(monitor) >= 0)
            break;
        udev_monitor_unref(monitor);
        monitor = nullptr;
    }
    if (!monitor) {
        stop();
        return false;
    }

    notifier = new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &UdevPortMonitor::readEvents);
    return true;
}

void UdevPortMonitor::readEvents()
{
    // The socket is non-blocking: drain everything that is queued, so one
    // burst of events (an adapter with several ports) gives one notice.
    bool sawTty = false;
    while (udev_device *device = udev_monitor_receive_device(monitor)) {
        if (qstrcmp(udev_device_get_subsystem(device), "tty") == 0)
            sawTty = true;
        udev_device_unref(device);
    }
    if (sawTty)
        emit ttyChanged();
}

void UdevPortMonitor::stop()
{
    delete notifier;
    notifier = nullptr;
    if (monitor)
        udev_monitor_unref(monitor);
    monitor = nullptr;
    if (context)
        udev_unref(context);
    context = nullptr;
}
