#include "writeparameters.h"

#include "device/parameterform.h"
#include "link/sensorlink.h"
#include "link/seriallinesettings.h"

WriteParameters WriteParameters::writeAll(const ParameterForm &form, quint32 firmwareVersion)
{
    QVector<int> ids;
    for (int id : writeAllIds) {
        if (parameterDescriptor(id).isAvailable(firmwareVersion))
            ids << id;
    }
    return WriteParameters(form, ids);
}

WriteParameters WriteParameters::command(const ParameterForm &form, int id)
{
    return WriteParameters(form, { id });
}

WriteParameters::WriteParameters(const ParameterForm &form, const QVector<int> &ids)
    : formSlave(form.take(IdNode).value.toInt())
{
    for (int id : ids) {
        const WidgetValue taken = form.take(id);
        if (taken.state == WidgetValue::Unmanaged) {
            unmanaged << id;
            continue;
        }
        QVector<quint16> words;
        // A field the form cannot fill (cleared at start, or left empty by
        // a Read all that stopped early) must not reach the sensor as a
        // code the user never saw.
        if (taken.state == WidgetValue::Empty || !convertWrite(parameterDescriptor(id), taken.value, words)) {
            empty << QLatin1String(parameterDescriptor(id).name);
            continue;
        }
        values.append({ id, words, taken.value.toInt() });
    }
}

void WriteParameters::run(SensorLink &link)
{
    // One empty field and nothing goes out, not even the values present.
    if (!empty.isEmpty())
        return;
    for (const Value &value : qAsConst(values)) {
        // Read anew for every parameter: a Node written just before has
        // moved the sensor to its new address.
        SerialLineSettings defaults;
        defaults.slave = formSlave;
        const int slave = SerialLineSettings::load(defaults).slave;
        const TransactionResult result = writeParameter(link, slave, value.id, value.words);
        if (result != ResultOk) {
            failed = TransferFailure::from(result, link);
            return;
        }
        writtenNames << QLatin1String(parameterDescriptor(value.id).name);
        if (!followLineChange(link, value))
            return;
    }
}

bool WriteParameters::followLineChange(SensorLink &link, const Value &value)
{
    SerialLineSettings stored = SerialLineSettings::load();
    switch (value.id) {
    case IdNode:
        if (value.formValue != stored.slave) {
            stored.slave = value.formValue;
            stored.saveSensorLine();
        }
        return true;
    case IdBitRate:
        if (value.formValue == stored.bitRateCode)
            return true;
        stored.bitRateCode = value.formValue;
        break;
    case IdSerialConf:
        if (value.formValue == stored.framingCode)
            return true;
        stored.framingCode = value.formValue;
        break;
    default:
        return true;
    }
    // The sensor answers at the new line from now on, whether or not the
    // port can be opened again: the stored settings follow it first.
    stored.saveSensorLine();
    if (!link.open(link.device(), stored.bitRateCode, stored.framingCode)) {
        failed.result = ResultNoContext;
        failed.error = link.openError();
        return false;
    }
    return true;
}

QStringList WriteParameters::notWritten() const
{
    QStringList names;
    for (const Value &value : values) {
        const QString name = QLatin1String(parameterDescriptor(value.id).name);
        if (!writtenNames.contains(name))
            names << name;
    }
    return names;
}
