#ifndef LINESESSION_H
#define LINESESSION_H

#include "link/seriallinesettings.h"
#include "ports/serialportinfo.h"
#include "device/sensorvalue.h"
#include "linesensor.h"

#include <QObject>
#include <QVector>

#include <array>

class ReadAll;
struct ProjectSensor;
class WriteParameters;
struct TransferFailure;

// The one place, at run time, for where the sensor is and what is known of
// it: the port the line is open on (by identity), its bit rate and framing,
// the state of the connection, and the sensor the form shows, with its
// address, identity and every value with where it came from. Operations
// return outcomes and the session applies them; the window, the timed
// reading, the search and the settings store follow its signals and keep no
// copy of their own.
//
// The stored line is the line the sensor last answered at, nothing else:
// it changes only when a sensor has answered at a line it did not hold.
class LineSession : public QObject
{
    Q_OBJECT

public:
    enum class Connection {
        Closed,
        Open,
        WaitingForPort    // the port went away; it is opened again when back
    };
    Q_ENUM(Connection)

    explicit LineSession(const SerialLineSettings &answered, QObject *parent = nullptr);

    // The line. While closed, the line the port will be opened at.
    const SerialPortInfo &port() const { return linePort; }
    int bitRateCode() const { return lineBitRateCode; }
    int framingCode() const { return lineFramingCode; }
    Connection connection() const { return state; }
    bool isOpen() const { return state == Connection::Open; }

    // The sensor: the address it answers at, its identity and its values.
    int slave() const { return sensorSlave; }
    quint32 serialNumber() const { return sensorSerial; }
    quint32 firmwareVersion() const { return sensorFirmware; }
    const SensorValue &value(int id) const { return values[size_t(id)]; }
    // Read all asks at the node the form shows: the user may have typed the
    // address of another sensor.
    int readAllAddress() const;
    // Names of the parameters among ids whose value is not known.
    QStringList unknownParameters(const QVector<int> &ids) const;

    const SerialLineSettings &answeredLine() const { return answered; }

    // The sensors of the line: those the timed reading polls. Two never
    // share an address.
    const QVector<LineSensor> &sensors() const { return lineSensors; }
    int indexOf(int address) const;
    // False, changing nothing, when the address is taken.
    bool addSensor(const LineSensor &sensor);
    void removeSensor(int address);
    void setSensorLabel(int address, const QString &label);
    // A list from a project file or the stored settings; a later entry with
    // an address taken before is left out.
    void replaceSensors(const QVector<LineSensor> &sensors);
    // The sensors of a project: each address with the serial number the
    // project expects there, and its label.
    void replaceSensors(const QVector<ProjectSensor> &sensors);
    // What asking a listed sensor told: its identity, or how it answered.
    void applySensorIdentity(int address, quint32 serialNumber, quint32 firmwareVersion);
    void applySensorPoll(int address, const TransferFailure &failure, const LinkCounts &counts);
    // The link's counts after an operation that was no poll.
    void applySensorCounts(int address, const LinkCounts &counts);
    void setProfileMatch(int address, bool matches);
    // What a command on every sensor works through: the listed sensors, or
    // the sensor the form shows when none is listed.
    QVector<LineSensor> commandTargets() const;

    // The user's edits.
    void setUserValue(int id, const QVariant &value);
    // The line to open at; while the port is open, the pick is a value for
    // Write all to send, not a change of the line.
    void selectLine(int bitRateCode, int framingCode);
    void selectSlave(int slave);

    // What the connection learned.
    void setOpen(const SerialPortInfo &port, int bitRateCode, int framingCode);
    void setClosed();
    void setWaitingForPort();

    // What the operations learned.
    void applyReadAll(const ReadAll &operation);
    void applyWrite(const WriteParameters &operation);
    // The serial number and firmware read from the sensor on their own.
    void applyIdentity(quint32 serialNumber, quint32 firmwareVersion);
    void applyLiveValues(const QVector<int> &ids, const QVector<ReadValue> &readings);
    // A sensor found by the search, about to be opened and read.
    void useFoundSensor(const SerialPortInfo &port, int slave, int bitRateCode, int framingCode);
    // The sensor answered at the current port, line and address.
    void confirmAnswered();

signals:
    void lineChanged();
    void connectionChanged(LineSession::Connection connection);
    void slaveChanged(int slave);
    void identityChanged();
    void valueChanged(int id);
    void answeredLineChanged(const SerialLineSettings &line);
    // Sensors added, removed or replaced; sensorChanged for one row.
    void sensorsChanged();
    void sensorChanged(int index);

private:
    void setValue(int id, const SensorValue &value);
    void setLine(int bitRateCode, int framingCode);
    void setSlave(int slave);
    void showLineValues(ValueSource source);

    SerialPortInfo linePort;
    int lineBitRateCode;
    int lineFramingCode;
    Connection state = Connection::Closed;
    int sensorSlave;
    quint32 sensorSerial = 0;
    quint32 sensorFirmware = 0;
    std::array<SensorValue, ParameterCount> values;
    SerialLineSettings answered;
    QVector<LineSensor> lineSensors;
};

#endif // LINESESSION_H
