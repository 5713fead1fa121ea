#include "portlist.h"

#include "ports/portresolution.h"
#include "ports/serialportenumerator.h"

#include <QComboBox>
#include <QObject>

int PortList::rebuild(const QString &keepIdentity, const QString &preferredName)
{
    comboBox->clear();
    const QList<SerialPortInfo> ports = SerialPortEnumerator::getPorts();
    int selected = -1;
    int preferred = -1;
    SerialPortInfo named;
    const bool namedPresent = resolvePort(preferredName, ports, &named);
    for (int i = 0; i < ports.size(); ++i) {
        const SerialPortInfo &port = ports.at(i);
        comboBox->addItem(port.friendName, QVariant::fromValue(port));
        if (selected < 0 && !keepIdentity.isEmpty() && port.identity == keepIdentity)
            selected = i;
        if (preferred < 0 && namedPresent && port.identity == named.identity)
            preferred = i;
    }
    comboBox->addItem(QObject::tr("Network line..."), QStringLiteral("network-line"));
    if (selected < 0)
        selected = preferred >= 0 ? preferred : 0;
    // With no item, index 0 designates nothing and nothing is selected.
    comboBox->setCurrentIndex(ports.isEmpty() ? -1 : selected);
    return ports.size();
}

bool PortList::selectedPort(SerialPortInfo *port) const
{
    const QVariant data = comboBox->currentData();
    if (!data.canConvert<SerialPortInfo>())
        return false;
    *port = data.value<SerialPortInfo>();
    return true;
}

bool PortList::isEmpty() const
{
    return comboBox->count() <= 1;
}

bool PortList::isNetworkLineItem(int index) const
{
    return index >= 0 && index == comboBox->count() - 1;
}
