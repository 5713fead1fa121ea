#ifndef PORTLIST_H
#define PORTLIST_H

#include "ports/serialportinfo.h"

#include <QString>

class QComboBox;

// The port combo box. Each item carries the port it stands for, so the
// port that is opened is the one the user sees, however the ports have
// come and gone since the list was built.
class PortList
{
public:
    explicit PortList(QComboBox *comboBox) : comboBox(comboBox) {}

    // Lists the present ports afresh and selects the port of keepIdentity
    // when it is there (the open port), else the one named preferredName
    // (the stored port, or the one asked for: its name as the list
    // shows it, its system name, its device or a link to it, see
    // resolvePort()), else the first. Returns the number of ports.
    // The last item is "Network line...", which stands for no port.
    int rebuild(const QString &keepIdentity, const QString &preferredName);

    // The selected port; false when no port (or "Network line...") is selected.
    bool selectedPort(SerialPortInfo *port) const;
    bool isEmpty() const;
    bool isNetworkLineItem(int index) const;

private:
    QComboBox *comboBox;
};

#endif // PORTLIST_H
