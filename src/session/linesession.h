#ifndef LINESESSION_H
#define LINESESSION_H

#include "link/seriallinesettings.h"
#include "ports/serialportinfo.h"
#include "device/sensorvalue.h"
#include "linesensor.h"

#include <QDateTime>
#include <QObject>
#include <QVector>

#include <array>

class ReadAll;
struct ProjectSensor;
class WriteParameters;
struct TransferFailure;

// The one place, at run time, for where the sensors are and what is known
// of them: the port the line is open on (by identity), its bit rate and
// framing, the state of the connection, the sensors of the line, each with
// an identity of its own, and the sensor the form shows, with its address,
// identity and every value with where it came from. Operations
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

    // The sensors of the line: those the timed reading polls, in the order
    // of the list. Each has an identity of its own (LineSensor::id) for as
    // long as it is listed; two never share an address.
    const QVector<LineSensor> &sensors() const { return lineSensors; }
    // The row of the sensor at an address, or with an identity; -1 if none.
    int indexOf(int address) const;
    int rowOf(int id) const;
    const LineSensor *sensor(int id) const;
    // Lists a sensor under a new identity and returns it; 0, changing
    // nothing, when the address is taken.
    int addSensor(LineSensor sensor);
    void removeSensor(int id);
    void setSensorLabel(int id, const QString &label);
    // A list from a project file or the stored settings; a later entry with
    // an address taken before is left out. Every sensor gets a new identity.
    void replaceSensors(const QVector<LineSensor> &sensors);
    // The sensors of a project: each address with the serial number the
    // project expects there, and its label.
    void replaceSensors(const QVector<ProjectSensor> &sensors);
    // The other listed sensors known by the same serial number as sensor id.
    QVector<int> sameSerialAs(int id) const;
    // What asking a listed sensor told: its identity, or how it answered and
    // what it read (values empty when it did not answer).
    void applySensorIdentity(int id, quint32 serialNumber, quint32 firmwareVersion);
    void applySensorPoll(int id, const TransferFailure &failure, const LinkCounts &counts,
                         const QDateTime &time = QDateTime(), const QVector<int> &ids = {},
                         const QVector<ReadValue> &values = {});
    // The link's counts after an operation that was no poll.
    void applySensorCounts(int id, const LinkCounts &counts);
    void setProfileMatch(int id, bool matches);
    // What a command on every sensor works through: the listed sensors, or
    // the sensor the form shows (with id 0) when none is listed.
    QVector<LineSensor> commandTargets() const;

    // The listed sensor the form shows, or 0 when it shows an address no
    // listed sensor has. Which sensor the form shows is the user's pick;
    // it moves no sensor.
    int shownSensor() const { return shownId; }
    void showSensor(int id);

    // The user's edits.
    void setUserValue(int id, const QVariant &value);
    // The line to open at; while the port is open, the pick is a value for
    // Write all to send, not a change of the line.
    void selectLine(int bitRateCode, int framingCode);
    // The address the form shows, typed or taken from a project: the form
    // shows the listed sensor there, if any.
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
    // The live values of the form's sensor.
    void applyLiveValues(const QVector<int> &ids, const QVector<ReadValue> &readings);
    // A sensor found by the search, about to be opened and read.
    void useFoundSensor(const SerialPortInfo &port, int slave, int bitRateCode, int framingCode);
    // The sensor answered at the current port, line and address.
    void confirmAnswered();

signals:
    void lineChanged();
    void connectionChanged(LineSession::Connection connection);
    // The address the form shows.
    void slaveChanged(int slave);
    void identityChanged();
    void valueChanged(int id);
    void answeredLineChanged(const SerialLineSettings &line);
    // The list: a sensor added or removed, or the whole list replaced
    // (sensorsChanged follows each of them).
    void sensorAdded(int id);
    void sensorRemoved(int id);
    void sensorsChanged();
    // A sensor was moved to another address (a Write all of its node).
    void sensorMoved(int id, int from, int to);
    // Something known of one sensor changed.
    void sensorChanged(int id);
    // The form shows another sensor (0: an address no listed sensor has).
    void shownSensorChanged(int id);

private:
    void setValue(int id, const SensorValue &value);
    void setLine(int bitRateCode, int framingCode);
    void setSlave(int slave);
    void showLineValues(ValueSource source);
    void followShownAddress();
    LineSensor *listed(int id);

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
    int shownId = 0;
    int lastId = 0;    // identities are never given twice
};

#endif // LINESESSION_H
