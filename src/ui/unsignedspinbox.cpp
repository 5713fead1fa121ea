#include "unsignedspinbox.h"

#include <limits>

UnsignedSpinBox::UnsignedSpinBox(QWidget *parent)
    : QSpinBox(parent)
{
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

QString UnsignedSpinBox::textFromValue(int value) const
{
    return QString::number(quint32(value));
}

int UnsignedSpinBox::valueFromText(const QString &text) const
{
    return int(text.toUInt());
}

QValidator::State UnsignedSpinBox::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    if (input.isEmpty())
        return QValidator::Intermediate;
    bool ok = false;
    input.toUInt(&ok);
    return ok ? QValidator::Acceptable : QValidator::Invalid;
}
