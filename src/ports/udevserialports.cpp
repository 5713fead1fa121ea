#include "udevserialports.h"

#include <QFileInfo>

#include <libudev.h>

namespace {

QString sysAttribute(udev_device *device, const char *name)
{
    return QString::fromLocal8Bit(udev_device_get_sysattr_value(device, name)).trimmed();
}

QString property(udev_device *device, const char *name)
{
    return QString::fromLocal8Bit(udev_device_get_property_value(device, name)).trimmed();
}

// The serial core reports the UART it found in the sysfs attribute "type";
// 0 means nothing answered at that address. The 8250 driver registers a
// port for every possible address, so most ttyS entries are such phantoms.
bool isPhantomUart(udev_device *tty)
{
    const char *type = udev_device_get_sysattr_value(tty, "type");
    return type && QByteArray(type).trimmed() == "0";
}

QString uartName(int type)
{
    // Port types of the serial core for the 8250 family.
    static const char *const names[] = {
        nullptr, "8250", "16450", "16550", "16550A", "Cirrus", "16650",
        "16650V2", "16750", "Startech", "16C950", "16654", "16850"
    };
    if (type > 0 && type < int(sizeof(names) / sizeof(names[0])))
        return QString::fromLatin1(names[type]);
    return QString();
}

QString usbModel(udev_device *usbDevice, udev_device *tty)
{
    // The adapter's own product string is what is printed on it; the udev
    // database names (only there while udevd runs) come next.
    QString model = sysAttribute(usbDevice, "product");
    if (model.isEmpty())
        model = property(tty, "ID_MODEL_FROM_DATABASE");
    if (model.isEmpty())
        model = property(tty, "ID_MODEL").replace(QLatin1Char('_'), QLatin1Char(' '));
    return model;
}

SerialPortInfo portFromDevice(udev_device *tty)
{
    SerialPortInfo port;
    port.portName = QString::fromLocal8Bit(udev_device_get_sysname(tty));
    port.physName = QString::fromLocal8Bit(udev_device_get_devnode(tty));
    port.enumName = QString::fromLocal8Bit(udev_device_get_subsystem(tty));

    QString model;
    if (udev_device *usbDevice = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
        port.vendorID = sysAttribute(usbDevice, "idVendor").toInt(nullptr, 16);
        port.productID = sysAttribute(usbDevice, "idProduct").toInt(nullptr, 16);
        model = usbModel(usbDevice, tty);
        if (model.isEmpty())
            model = QStringLiteral("USB serial port");
        // An adapter with a serial number is known again on any USB socket;
        // without one, only on the same socket (its sysfs path).
        const QString serial = sysAttribute(usbDevice, "serial");
        port.identity = serial.isEmpty()
                ? QStringLiteral("usb-path:%1").arg(QString::fromLocal8Bit(udev_device_get_devpath(usbDevice)))
                : QStringLiteral("usb:%1:%2:%3").arg(port.vendorID, 4, 16, QLatin1Char('0'))
                          .arg(port.productID, 4, 16, QLatin1Char('0')).arg(serial);
    } else {
        const QString uart = uartName(sysAttribute(tty, "type").toInt());
        model = uart.isEmpty() ? QStringLiteral("Serial port")
                               : QStringLiteral("%1 serial port").arg(uart);
    }
    // The device node in parentheses tells two adapters of the same model
    // apart, and is what a technician knows from the command line.
    port.friendName = QStringLiteral("%1 (%2)").arg(model, port.physName);
    if (port.identity.isEmpty())
        port.identity = port.physName;
    return port;
}

bool isHardwarePort(udev_device *tty)
{
    if (!udev_device_get_devnode(tty))
        return false;
    // Virtual consoles, /dev/tty, /dev/console and /dev/ptmx have no
    // device behind them; every real port does.
    const QString syspath = QString::fromLocal8Bit(udev_device_get_syspath(tty));
    if (!QFileInfo::exists(syspath + QStringLiteral("/device")))
        return false;
    return !isPhantomUart(tty);
}

} // namespace

QList<SerialPortInfo> udevSerialPorts()
{
    QList<SerialPortInfo> ports;
    udev *context = udev_new();
    if (!context)
        return ports;

    udev_enumerate *enumerate = udev_enumerate_new(context);
    if (enumerate) {
        udev_enumerate_add_match_subsystem(enumerate, "tty");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device *tty = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!tty)
                continue;  // gone between the scan and now
            if (isHardwarePort(tty))
                ports.append(portFromDevice(tty));
            udev_device_unref(tty);
        }
        udev_enumerate_unref(enumerate);
    }
    udev_unref(context);
    return ports;
}
