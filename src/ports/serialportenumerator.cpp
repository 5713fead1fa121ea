#include "serialportenumerator.h"

#include "networklines.h"
#include "portresolution.h"

#include "udevportmonitor.h"
#include "udevserialports.h"
#include "virtualports.h"
#include "virtualportwatcher.h"
#include "virtualserialports.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

bool hardwarePortsListed = true;
QStringList namedPorts;

// Compares digit runs by value, so that ttyUSB2 sorts before ttyUSB10.
bool naturalLess(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int endA = i;
            int endB = j;
            while (endA < a.size() && a.at(endA).isDigit())
                ++endA;
            while (endB < b.size() && b.at(endB).isDigit())
                ++endB;
            // Without leading zeros the longer run is the larger number.
            QStringRef runA = a.midRef(i, endA - i);
            QStringRef runB = b.midRef(j, endB - j);
            while (runA.size() > 1 && runA.at(0) == QLatin1Char('0'))
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.at(0) == QLatin1Char('0'))
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            const int order = runA.compare(runB);
            if (order != 0)
                return order < 0;
            i = endA;
            j = endB;
        } else {
            if (a.at(i) != b.at(j))
                return a.at(i) < b.at(j);
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;  // "ttyS01" and "ttyS1": any fixed order will do
}

void sortNaturally(QList<SerialPortInfo> &ports, QString SerialPortInfo::*key)
{
    std::stable_sort(ports.begin(), ports.end(), [key](const SerialPortInfo &a, const SerialPortInfo &b) {
        return naturalLess(a.*key, b.*key);
    });
}

bool samePort(const SerialPortInfo &a, const SerialPortInfo &b)
{
    return a.portName == b.portName && a.physName == b.physName
            && a.friendName == b.friendName && a.enumName == b.enumName
            && a.vendorID == b.vendorID && a.productID == b.productID && a.identity == b.identity;
}

bool containsPort(const QList<SerialPortInfo> &ports, const SerialPortInfo &port)
{
    return std::any_of(ports.cbegin(), ports.cend(),
                       [&port](const SerialPortInfo &other) { return samePort(port, other); });
}

} // namespace

SerialPortEnumerator::SerialPortEnumerator(QObject *parent)
    : QObject(parent)
{
    // Queued connections and signal spies need the type by name.
    qRegisterMetaType<SerialPortInfo>();
}

SerialPortEnumerator::~SerialPortEnumerator() = default;

void SerialPortEnumerator::setHardwarePortsListed(bool listed)
{
    hardwarePortsListed = listed;
}

QList<SerialPortInfo> SerialPortEnumerator::getPorts()
{
    QList<SerialPortInfo> ports = hardwarePortsListed ? udevSerialPorts() : QList<SerialPortInfo>();
    sortNaturally(ports, &SerialPortInfo::physName);
    QList<SerialPortInfo> virtualPorts = virtualSerialPorts(virtualPortDirectory());
    sortNaturally(virtualPorts, &SerialPortInfo::portName);
    ports += virtualPorts;
    for (const QString &name : qAsConst(namedPorts)) {
        const SerialPortInfo named = namedDevicePort(name);
        if (!QFileInfo::exists(named.device()) || serialDeviceKind(named.device()) != SerialDeviceKind::Serial)
            continue;
        const QString target = QFileInfo(named.device()).canonicalFilePath();
        const bool listed = std::any_of(ports.cbegin(), ports.cend(), [&target](const SerialPortInfo &port) {
            return QFileInfo(port.device()).canonicalFilePath() == target;
        });
        if (!listed)
            ports.append(named);
    }
    return ports + NetworkLines::listed();
}

void SerialPortEnumerator::listNamedPort(const QString &name)
{
    if (!name.isEmpty() && !namedPorts.contains(name))
        namedPorts.append(name);
}

void SerialPortEnumerator::setUpNotifications()
{
    if (udevMonitor)
        return;

    udevMonitor = new UdevPortMonitor(this);
    connect(udevMonitor, &UdevPortMonitor::ttyChanged, this, &SerialPortEnumerator::announceChanges);
    udevMonitor->start();

    virtualWatcher = new VirtualPortWatcher(this);
    connect(virtualWatcher, &VirtualPortWatcher::changed, this, &SerialPortEnumerator::announceChanges);
    virtualWatcher->start(virtualPortDirectory());

    knownPorts = getPorts();
}

void SerialPortEnumerator::announceChanges()
{
    // Every notice is answered by comparing full lists, so a burst of events
    // or two links made at once give one announcement per port, and a
    // removed port is announced with the record it was listed with.
    const QList<SerialPortInfo> previous = knownPorts;
    const QList<SerialPortInfo> current = getPorts();
    // Updated before emitting: a receiver that runs a nested event loop may
    // bring the next notice in, which must compare against this list.
    knownPorts = current;

    for (const SerialPortInfo &port : previous) {
        if (!containsPort(current, port))
            emit deviceRemoved(port);
    }
    for (const SerialPortInfo &port : current) {
        if (!containsPort(previous, port))
            emit deviceDiscovered(port);
    }
}
