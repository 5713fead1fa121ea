#ifndef UNSIGNEDSPINBOX_H
#define UNSIGNEDSPINBOX_H

#include <QSpinBox>

// A spin box for a 32-bit unsigned number, such as the sensor's serial
// number: QSpinBox holds an int, so the value is kept as the int of the
// same bits and shown as the unsigned number it stands for.
class UnsignedSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit UnsignedSpinBox(QWidget *parent = nullptr);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString &text) const override;
    QValidator::State validate(QString &input, int &pos) const override;
};

#endif // UNSIGNEDSPINBOX_H
