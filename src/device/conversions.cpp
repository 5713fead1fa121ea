#include "conversions.h"

#include <QCoreApplication>

#include <QtMath>
#include <cmath>

namespace {

struct StatusTexts
{
    const char *setText;
    Qt::GlobalColor setColour;
    const char *clearText;
    Qt::GlobalColor clearColour;
};

const StatusTexts *statusTexts(int conversion)
{
    static const StatusTexts calibration = { "OK", Qt::green, "Need Recal", Qt::red };
    static const StatusTexts nvStatus = { "OK", Qt::green, "Need Save", Qt::red };
    static const StatusTexts digitalInput = { "Open", Qt::cyan, "Close", Qt::yellow };
    static const StatusTexts okFail = { "OK", Qt::green, "Fail", Qt::red };
    static const StatusTexts watchdog = { "Reset", Qt::red, "OK", Qt::green };
    switch (conversion) {
    case ConvCalibrationStatus: return &calibration;
    case ConvNvStatus: return &nvStatus;
    case ConvDigitalInput: return &digitalInput;
    case ConvOkFail: return &okFail;
    case ConvWatchdog: return &watchdog;
    default: return nullptr;
    }
}

// Scale of the scaled kinds: register units per displayed unit.
double scaleOf(int conversion)
{
    switch (conversion) {
    case ConvSpeed: return 64.0;
    case ConvTemperature: return 4.0;
    case ConvConstPerPulse: return 2048.0;
    default: return 0.0;
    }
}

} // namespace

quint32 firmwareNumber(const quint16 *words, int count)
{
    quint32 number = 0;
    for (int i = 0; i < count; ++i)
        number |= quint32(words[i]) << (16 * (count - 1 - i));
    return number;
}

QString firmwareText(quint32 version)
{
    if (!version)
        return QCoreApplication::translate("FindSensorDialog", "unknown");
    const quint16 words[2] = { quint16(version >> 16), quint16(version & 0xFFFF) };
    return firmwareText(words, 2);
}

QString firmwareText(const quint16 *words, int count)
{
    QStringList groups;
    for (int i = 0; i < count; ++i) {
        const QString hex = QStringLiteral("%1").arg(words[i], 4, 16, QLatin1Char('0'));
        groups << hex.left(2) + QLatin1Char('.') + hex.mid(2);
    }
    return groups.join(QLatin1Char('-'));
}

qint64 roundHalfAwayFromZero(double value)
{
    return qint64(std::round(value));
}

ReadValue convertRead(const ParameterDescriptor &descriptor, const quint16 *words)
{
    const int count = descriptor.registerCount();
    ReadValue value;
    switch (descriptor.conversion) {
    case ConvInteger:
        if (descriptor.bitWidth == 1) {
            value.display = int((words[0] >> descriptor.bitIndex) & 1);
        } else {
            quint32 number = 0;
            for (int i = 0; i < count; ++i)
                number |= quint32(words[i]) << (16 * i);
            value.display = number;
        }
        value.output = value.display;
        break;
    case ConvFirmwareText:
        value.display = firmwareText(words, count);
        value.output = firmwareNumber(words, count);
        break;
    case ConvCalibrationStatus:
    case ConvNvStatus:
    case ConvDigitalInput:
    case ConvOkFail:
    case ConvWatchdog: {
        const StatusTexts *texts = statusTexts(descriptor.conversion);
        int bit = -1;
        if (descriptor.bitWidth == 1)
            bit = (words[0] >> descriptor.bitIndex) & 1;
        else if (words[0] <= 1)
            bit = words[0];
        if (bit >= 0) {
            value.display = QString::fromLatin1(bit ? texts->setText : texts->clearText);
            value.output = bit;
            value.hasColour = true;
            value.colour = QColor(bit ? texts->setColour : texts->clearColour);
        }
        break;
    }
    case ConvSpeed:
    case ConvConstPerPulse:
        value.display = double(words[0]) / scaleOf(descriptor.conversion);
        value.output = value.display;
        break;
    case ConvTemperature:
        value.display = double(qint16(words[0])) / scaleOf(descriptor.conversion);
        value.output = value.display;
        break;
    default:
        break;
    }
    return value;
}

bool convertWrite(const ParameterDescriptor &descriptor, const QVariant &value, QVector<quint16> &words)
{
    const int count = descriptor.registerCount();
    qint64 raw = 0;
    switch (descriptor.conversion) {
    case ConvInteger:
        raw = value.toLongLong();
        break;
    case ConvSpeed:
    case ConvTemperature:
    case ConvConstPerPulse:
        raw = roundHalfAwayFromZero(value.toDouble() * scaleOf(descriptor.conversion));
        break;
    default:
        return false;
    }
    words.resize(count);
    for (int i = 0; i < count; ++i)
        words[i] = quint16(quint64(raw) >> (16 * i));
    return true;
}
