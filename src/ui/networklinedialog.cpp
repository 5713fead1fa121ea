#include "networklinedialog.h"

#include "link/networkline.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

NetworkLineDialog::NetworkLineDialog(QWidget *parent)
    : QDialog(parent)
    , nameEdit(new QLineEdit(this))
    , hostEdit(new QLineEdit(this))
    , portSpinBox(new QSpinBox(this))
    , protocolComboBox(new QComboBox(this))
    , buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Network line"));
    nameEdit->setObjectName(QStringLiteral("nameLineEdit"));
    hostEdit->setObjectName(QStringLiteral("hostLineEdit"));
    portSpinBox->setObjectName(QStringLiteral("portSpinBox"));
    protocolComboBox->setObjectName(QStringLiteral("protocolComboBox"));
    nameEdit->setPlaceholderText(tr("as the port list shows it (optional)"));
    hostEdit->setPlaceholderText(tr("the gateway's address or host name"));
    portSpinBox->setRange(1, 65535);
    portSpinBox->setValue(NetworkLine::DefaultModbusTcpPort);
    protocolComboBox->addItem(tr("Modbus TCP"), int(NetworkLine::Protocol::ModbusTcp));
    protocolComboBox->addItem(tr("RTU over TCP"), int(NetworkLine::Protocol::RtuOverTcp));

    auto *layout = new QFormLayout(this);
    auto *explanation = new QLabel(tr("A line of sensors behind an RS-485 to Ethernet gateway. Modbus TCP: the "
                                      "gateway turns each request into an RTU frame for the sensor's address. "
                                      "RTU over TCP: it passes the RTU frames through unchanged. The gateway's "
                                      "serial side sets the bit rate and framing."),
                                   this);
    explanation->setWordWrap(true);
    layout->addRow(explanation);
    layout->addRow(tr("Name:"), nameEdit);
    layout->addRow(tr("Host:"), hostEdit);
    layout->addRow(tr("Port:"), portSpinBox);
    layout->addRow(tr("Protocol:"), protocolComboBox);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(hostEdit, &QLineEdit::textChanged, this, &NetworkLineDialog::updateOk);
    updateOk();
}

QString NetworkLineDialog::url() const
{
    NetworkLine line;
    line.protocol = NetworkLine::Protocol(protocolComboBox->currentData().toInt());
    line.host = hostEdit->text().trimmed();
    line.port = portSpinBox->value();
    NetworkLine checked;
    return NetworkLine::parse(line.url(), &checked) ? checked.url() : QString();
}

QString NetworkLineDialog::name() const
{
    return nameEdit->text().trimmed();
}

void NetworkLineDialog::updateOk()
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!url().isEmpty());
}
