#ifndef NETWORKLINEDIALOG_H
#define NETWORKLINEDIALOG_H

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;
class QDialogButtonBox;

// Asks for a line behind an Ethernet gateway: a name for the port list,
// the gateway's host and port, and whether it speaks Modbus TCP or passes
// the RTU frames through.
class NetworkLineDialog : public QDialog
{
    Q_OBJECT

public:
    explicit NetworkLineDialog(QWidget *parent = nullptr);

    // The line as the link opens it (tcp://HOST:PORT or rtu+tcp://HOST:PORT).
    QString url() const;
    QString name() const;

private:
    void updateOk();

    QLineEdit *nameEdit;
    QLineEdit *hostEdit;
    QSpinBox *portSpinBox;
    QComboBox *protocolComboBox;
    QDialogButtonBox *buttons;
};

#endif // NETWORKLINEDIALOG_H
