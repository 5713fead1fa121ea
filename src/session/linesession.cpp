#include "linesession.h"

#include "device/projectfile.h"
#include "link/serialline.h"
#include "link/transactionerror.h"
#include "link/openfailure.h"
#include "ops/readall.h"
#include "ops/writeparameters.h"

#include <cerrno>

namespace {
// Values Read all fills; the line and the node are not among them, as the
// form shows the line there whatever was read.
bool isSensorValue(int id)
{
    return id != IdNode && id != IdBitRate && id != IdSerialConf && id != IdNvParSave && id != IdSWReset;
}

SensorValue numberValue(const QVariant &number, ValueSource source)
{
    SensorValue value;
    value.value.display = number;
    value.value.output = number;
    value.source = source;
    return value;
}
} // namespace

LineSession::LineSession(const SerialLineSettings &answered, QObject *parent)
    : QObject(parent)
    , lineBitRateCode(answered.bitRateCode)
    , lineFramingCode(answered.framingCode)
    , sensorSlave(answered.slave)
    , answered(answered)
{
    qRegisterMetaType<LineSession::Connection>();
    // Until a sensor is read, the form shows the stored line and delay; none
    // of them is known of a sensor yet.
    showLineValues(ValueSource::Unknown);
    values[IdDelay] = numberValue(answered.delay, ValueSource::Unknown);
}

int LineSession::readAllAddress() const
{
    const QVariant node = values[IdNode].value.output;
    return node.isValid() ? node.toInt() : sensorSlave;
}

QStringList LineSession::unknownParameters(const QVector<int> &ids) const
{
    QStringList names;
    for (int id : ids) {
        if (!value(id).isKnown())
            names << QLatin1String(parameterDescriptor(id).name);
    }
    return names;
}

void LineSession::setValue(int id, const SensorValue &value)
{
    SensorValue &held = values[size_t(id)];
    if (held.source == value.source && held.value.display == value.value.display
            && held.value.output == value.value.output && held.value.hasColour == value.value.hasColour
            && held.value.colour == value.value.colour)
        return;
    held = value;
    emit valueChanged(id);
}

void LineSession::showLineValues(ValueSource source)
{
    setValue(IdNode, numberValue(sensorSlave, source));
    setValue(IdBitRate, numberValue(lineBitRateCode, source));
    setValue(IdSerialConf, numberValue(lineFramingCode, source));
}

void LineSession::setUserValue(int id, const QVariant &value)
{
    setValue(id, numberValue(value, ValueSource::SetByUser));
}

void LineSession::selectLine(int bitRateCode, int framingCode)
{
    if (state == Connection::Closed)
        setLine(bitRateCode, framingCode);
}

void LineSession::selectSlave(int slave)
{
    setSlave(slave);
    setValue(IdNode, numberValue(slave, values[IdNode].source));
    followShownAddress();
}

void LineSession::showSensor(int id)
{
    const LineSensor *picked = sensor(id);
    if (!picked)
        return;
    const int address = picked->address;
    if (shownId != id) {
        shownId = id;
        emit shownSensorChanged(id);
    }
    selectSlave(address);
}

void LineSession::followShownAddress()
{
    // The form shows the listed sensor at its address, or none.
    const int row = indexOf(sensorSlave);
    const int id = row >= 0 ? lineSensors.at(row).id : 0;
    if (id == shownId)
        return;
    shownId = id;
    emit shownSensorChanged(id);
}

void LineSession::setLine(int bitRateCode, int framingCode)
{
    if (bitRateCode == lineBitRateCode && framingCode == lineFramingCode)
        return;
    lineBitRateCode = bitRateCode;
    lineFramingCode = framingCode;
    emit lineChanged();
}

void LineSession::setSlave(int slave)
{
    if (slave == sensorSlave)
        return;
    sensorSlave = slave;
    emit slaveChanged(slave);
}

void LineSession::applyIdentity(quint32 serialNumber, quint32 firmwareVersion)
{
    if (serialNumber == sensorSerial && firmwareVersion == sensorFirmware)
        return;
    sensorSerial = serialNumber;
    sensorFirmware = firmwareVersion;
    emit identityChanged();
}

void LineSession::setOpen(const SerialPortInfo &port, int bitRateCode, int framingCode)
{
    const bool portChanged = port.identity != linePort.identity || port.device() != linePort.device();
    linePort = port;
    if (portChanged)
        emit lineChanged();
    setLine(bitRateCode, framingCode);
    if (state != Connection::Open) {
        state = Connection::Open;
        emit connectionChanged(state);
    }
}

void LineSession::setClosed()
{
    if (state == Connection::Closed)
        return;
    state = Connection::Closed;
    emit connectionChanged(state);
}

void LineSession::setWaitingForPort()
{
    if (state != Connection::Open)
        return;
    state = Connection::WaitingForPort;
    emit connectionChanged(state);
}

void LineSession::applyReadAll(const ReadAll &operation)
{
    // Every value of the sensor comes from this reading or is not known:
    // the fields a reading that stopped early did not reach must not keep
    // what another sensor, or the form's default, left there.
    for (int id : readAllIds) {
        if (isSensorValue(id))
            setValue(id, SensorValue());
    }
    setValue(IdConstPerPulse, SensorValue());
    for (const ReadAll::Reading &reading : operation.readings()) {
        SensorValue value;
        value.value = reading.value;
        value.source = ValueSource::ReadFromSensor;
        setValue(reading.id, value);
    }
    applyIdentity(operation.output(IdSerialNumber).toUInt(), operation.firmwareVersion());
    if (operation.verdict() != ReadAll::Verdict::Success) {
        // The node and line fields keep showing where the line is, but what
        // the sensor holds there is not known.
        for (int id : { IdNode, IdBitRate, IdSerialConf }) {
            if (!operation.hasRead(id))
                setValue(id, numberValue(values[size_t(id)].value.output, ValueSource::Unknown));
        }
        return;
    }
    // The sensor has just answered at its own node and line.
    setSlave(operation.output(IdNode).toInt());
    followShownAddress();
    if (shownId != 0)
        applySensorIdentity(shownId, sensorSerial, sensorFirmware);
    confirmAnswered();
}

void LineSession::applyWrite(const WriteParameters &operation)
{
    const SensorAddress &now = operation.address();
    // The sensor written to is the listed one at the form's address; its row
    // follows it to its new address.
    const int row = indexOf(sensorSlave);
    if (row >= 0 && now.slave != sensorSlave && indexOf(now.slave) < 0) {
        LineSensor &moved = lineSensors[row];
        const int from = moved.address;
        moved.address = now.slave;
        emit sensorMoved(moved.id, from, now.slave);
        emit sensorChanged(moved.id);
    }
    setSlave(now.slave);
    followShownAddress();
    setLine(now.bitRateCode, now.framingCode);
    if (operation.failure().result == ResultNoContext && state == Connection::Open) {
        // The line could not be opened again at the sensor's new settings.
        state = Connection::Closed;
        emit connectionChanged(state);
    }
    if (operation.sensorAnswered())
        confirmAnswered();
}

void LineSession::applyLiveValues(const QVector<int> &ids, const QVector<ReadValue> &readings)
{
    for (int i = 0; i < ids.size() && i < readings.size(); ++i) {
        SensorValue value;
        value.value = readings.at(i);
        value.source = ValueSource::ReadFromSensor;
        setValue(ids.at(i), value);
    }
}

void LineSession::useFoundSensor(const SerialPortInfo &port, int slave, int bitRateCode, int framingCode)
{
    linePort = port;
    setLine(bitRateCode, framingCode);
    setSlave(slave);
    followShownAddress();
    showLineValues(ValueSource::ReadFromSensor);
    confirmAnswered();
}

void LineSession::confirmAnswered()
{
    SerialLineSettings line = answered;
    if (!linePort.friendName.isEmpty())
        line.port = linePort.friendName;
    line.slave = sensorSlave;
    line.bitRateCode = lineBitRateCode;
    line.framingCode = lineFramingCode;
    if (values[IdDelay].isKnown() && values[IdDelay].value.output.isValid())
        line.delay = values[IdDelay].value.output.toInt();
    if (line == answered)
        return;
    answered = line;
    emit answeredLineChanged(answered);
}

int LineSession::indexOf(int address) const
{
    for (int i = 0; i < lineSensors.size(); ++i) {
        if (lineSensors.at(i).address == address)
            return i;
    }
    return -1;
}

int LineSession::rowOf(int id) const
{
    for (int i = 0; i < lineSensors.size(); ++i) {
        if (lineSensors.at(i).id == id)
            return i;
    }
    return -1;
}

const LineSensor *LineSession::sensor(int id) const
{
    const int row = rowOf(id);
    return row >= 0 ? &lineSensors.at(row) : nullptr;
}

LineSensor *LineSession::listed(int id)
{
    const int row = rowOf(id);
    return row >= 0 ? &lineSensors[row] : nullptr;
}

int LineSession::addSensor(LineSensor sensor)
{
    if (indexOf(sensor.address) >= 0)
        return 0;
    sensor.id = ++lastId;
    lineSensors.append(sensor);
    emit sensorAdded(sensor.id);
    emit sensorsChanged();
    followShownAddress();
    return sensor.id;
}

void LineSession::removeSensor(int id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    lineSensors.remove(row);
    emit sensorRemoved(id);
    emit sensorsChanged();
    followShownAddress();
}

void LineSession::setSensorLabel(int id, const QString &label)
{
    LineSensor *sensor = listed(id);
    if (!sensor || sensor->label == label)
        return;
    sensor->label = label;
    emit sensorChanged(id);
}

void LineSession::replaceSensors(const QVector<LineSensor> &sensors)
{
    lineSensors.clear();
    for (LineSensor sensor : sensors) {
        if (indexOf(sensor.address) >= 0)
            continue;
        sensor.id = ++lastId;
        lineSensors.append(sensor);
    }
    emit sensorsChanged();
    followShownAddress();
}

void LineSession::replaceSensors(const QVector<ProjectSensor> &sensors)
{
    QVector<LineSensor> listed;
    for (const ProjectSensor &entry : sensors) {
        LineSensor sensor;
        sensor.address = entry.address;
        sensor.expectedSerial = entry.serialNumber;
        sensor.label = entry.label;
        listed.append(sensor);
    }
    replaceSensors(listed);
}

QVector<int> LineSession::sameSerialAs(int id) const
{
    QVector<int> ids;
    const LineSensor *one = sensor(id);
    const quint32 serialNumber = one ? (one->serialNumber ? one->serialNumber : one->expectedSerial) : 0;
    if (serialNumber == 0)
        return ids;
    for (const LineSensor &other : lineSensors) {
        const quint32 otherSerial = other.serialNumber ? other.serialNumber : other.expectedSerial;
        if (other.id != id && otherSerial == serialNumber)
            ids << other.id;
    }
    return ids;
}

void LineSession::applySensorIdentity(int id, quint32 serialNumber, quint32 firmwareVersion)
{
    if (id != 0 && id == shownId)
        applyIdentity(serialNumber, firmwareVersion);
    LineSensor *sensor = listed(id);
    if (!sensor)
        return;
    sensor->serialNumber = serialNumber;
    sensor->firmwareVersion = firmwareVersion;
    sensor->state = LineSensor::State::Answered;
    sensor->reason.clear();
    emit sensorChanged(id);
}

void LineSession::applySensorPoll(int id, const TransferFailure &failure, const LinkCounts &counts,
                                  const QDateTime &time, const QVector<int> &ids, const QVector<ReadValue> &values)
{
    // The form's current values follow the sensor it shows.
    if (!values.isEmpty() && (id == 0 || id == shownId))
        applyLiveValues(ids, values);
    LineSensor *sensor = listed(id);
    if (!sensor)
        return;
    sensor->counts = counts;
    if (!failure.failed()) {
        sensor->state = LineSensor::State::Answered;
        sensor->reason.clear();
    } else if (failure.lineLost) {
        sensor->state = LineSensor::State::Error;
        sensor->reason = openFailureReason(ENODEV, linePort.device());
    } else {
        sensor->state = failure.result == ResultNoResponse ? LineSensor::State::NoAnswer : LineSensor::State::Error;
        sensor->reason = transactionErrorMessage(failure.result, failure.error).text;
    }
    // A poll that read values shows them in the row; one that did not
    // answer blanks them, so that no row shows another time's values as now.
    if (time.isValid()) {
        sensor->lastIds = failure.failed() ? QVector<int>() : ids.mid(0, values.size());
        sensor->lastValues = failure.failed() ? QVector<ReadValue>() : values;
        sensor->lastRead = failure.failed() ? QDateTime() : time;
    }
    emit sensorChanged(id);
}

void LineSession::setProfileMatch(int id, bool matches)
{
    LineSensor *sensor = listed(id);
    if (!sensor)
        return;
    sensor->profileMatch = matches ? LineSensor::ProfileMatch::Matches : LineSensor::ProfileMatch::Differs;
    emit sensorChanged(id);
}

QVector<LineSensor> LineSession::commandTargets() const
{
    if (!lineSensors.isEmpty())
        return lineSensors;
    LineSensor formSensor;
    formSensor.address = sensorSlave;
    formSensor.serialNumber = sensorSerial;
    formSensor.firmwareVersion = sensorFirmware;
    return { formSensor };
}

void LineSession::applySensorCounts(int id, const LinkCounts &counts)
{
    LineSensor *sensor = listed(id);
    if (!sensor || sensor->counts == counts)
        return;
    sensor->counts = counts;
    emit sensorChanged(id);
}
