#include "writeparameters.h"

#include "link/sensorlink.h"
#include "link/serialline.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("WriteParameters", text);
}

QString describeLine(const SensorAddress &at)
{
    return QStringLiteral("%1 %2").arg(baudForCode(at.bitRateCode)).arg(framingName(at.framingCode));
}
} // namespace

WriteParameters WriteParameters::writeAll(const ValueOf &valueOf, quint32 firmwareVersion,
                                          const SensorAddress &at)
{
    QVector<int> ids;
    for (int id : writeAllIds) {
        if (parameterDescriptor(id).isAvailable(firmwareVersion))
            ids << id;
    }
    return WriteParameters(valueOf, ids, at);
}

WriteParameters WriteParameters::command(int id, const SensorAddress &at)
{
    return WriteParameters([](int commandId) {
        SensorValue preset;
        preset.value.output = parameterDescriptor(commandId).presetValue;
        preset.source = ValueSource::SetByUser;
        return preset;
    }, { id }, at);
}

WriteParameters::WriteParameters(const ValueOf &valueOf, const QVector<int> &ids, const SensorAddress &at)
    : current(at)
{
    for (int id : ids) {
        const SensorValue value = valueOf(id);
        QVector<quint16> words;
        // A value not read from this sensor nor set by the user (a field
        // left by another sensor, or by a Read all that stopped early) must
        // not reach the sensor.
        if (!value.isKnown() || !convertWrite(parameterDescriptor(id), value.value.output, words)) {
            unknown << QLatin1String(parameterDescriptor(id).name);
            continue;
        }
        values.append({ id, words, value.value.output.toInt() });
    }
}

SensorAddress WriteParameters::movedBy(const SensorAddress &from, const Value &value)
{
    SensorAddress to = from;
    if (value.id == IdNode)
        to.slave = value.number;
    else if (value.id == IdBitRate)
        to.bitRateCode = value.number;
    else if (value.id == IdSerialConf)
        to.framingCode = value.number;
    return to;
}

void WriteParameters::run(SensorLink &link)
{
    // One unknown value and nothing goes out, not even the values known.
    if (!unknown.isEmpty())
        return;
    device = link.device();
    for (const Value &value : qAsConst(values)) {
        const SensorAddress moved = movedBy(current, value);
        const TransactionResult result = writeParameter(link, current.slave, value.id, value.words);
        if (result != ResultOk) {
            failed = TransferFailure::from(result, link);
            if (moved == current || failed.lineLost || !settleLostAcknowledgement(link, value, moved))
                return;
            continue;
        }
        answered = true;
        writtenNames << QLatin1String(parameterDescriptor(value.id).name);
        writtenIdList << value.id;
        if (moved != current && !followMove(link, moved))
            return;
    }
}

bool WriteParameters::followMove(SensorLink &link, const SensorAddress &to)
{
    const bool lineChanges = to.bitRateCode != current.bitRateCode || to.framingCode != current.framingCode;
    // The sensor answers at the new address or line from now on, whether or
    // not the port can be opened again.
    current = to;
    if (lineChanges && !link.open(device, to.bitRateCode, to.framingCode)) {
        failed.result = ResultNoContext;
        failed.error = link.openError();
        failed.lineLost = false;
        return false;
    }
    return true;
}

bool WriteParameters::answersAt(SensorLink &link, const SensorAddress &at)
{
    if ((!link.isOpen() || at.bitRateCode != link.bitRateCode() || at.framingCode != link.framingCode())
            && !link.open(device, at.bitRateCode, at.framingCode))
        return false;
    return readParameter(link, at.slave, IdSerialNumber).result == ResultOk;
}

bool WriteParameters::settleLostAcknowledgement(SensorLink &link, const Value &value, const SensorAddress &moved)
{
    const QString name = QLatin1String(parameterDescriptor(value.id).name);
    const SensorAddress old = current;
    const bool addressMove = value.id == IdNode;
    const QString newer = addressMove ? tr("address %1").arg(moved.slave) : describeLine(moved);
    const QString older = addressMove ? tr("address %1").arg(old.slave) : describeLine(old);
    if (answersAt(link, moved)) {
        // The sensor took the value; only its reply went missing.
        answered = true;
        current = moved;
        lostAckNote = tr("The sensor did not acknowledge %1, but it answers at %2: %1 was written and the "
                         "program follows the sensor there.").arg(name, newer);
        failed = TransferFailure();
        writtenNames << name;
        writtenIdList << value.id;
        return true;
    }
    if (answersAt(link, old)) {
        answered = true;
        lostAckNote = tr("The sensor still answers at %1: %2 was not written.").arg(older, name);
    } else {
        lostAckNote = tr("The sensor answers neither at %1 nor at %2.").arg(newer, older);
    }
    return false;
}

QStringList WriteParameters::notWritten() const
{
    QStringList names;
    for (const Value &value : values) {
        if (!writtenIdList.contains(value.id))
            names << QLatin1String(parameterDescriptor(value.id).name);
    }
    return names;
}
