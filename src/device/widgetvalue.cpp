#include "widgetvalue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

bool showInWidget(QWidget *widget, const QVariant &display)
{
    if (auto *spinBox = qobject_cast<QSpinBox *>(widget)) {
        // A 32-bit number above the int range (a serial number) goes in as
        // the int of the same bits; an unsigned spin box shows it whole.
        spinBox->setValue(int(quint32(display.toLongLong())));
    } else if (auto *lineEdit = qobject_cast<QLineEdit *>(widget)) {
        lineEdit->setText(display.toString());
    } else if (auto *comboBox = qobject_cast<QComboBox *>(widget)) {
        // A code without an item leaves no item selected.
        const int index = display.toInt();
        comboBox->setCurrentIndex(index < comboBox->count() ? index : -1);
    } else if (auto *doubleSpinBox = qobject_cast<QDoubleSpinBox *>(widget)) {
        doubleSpinBox->setValue(display.toDouble());
    } else if (auto *checkBox = qobject_cast<QCheckBox *>(widget)) {
        checkBox->setChecked(display.toInt() != 0);
    } else {
        return false;
    }
    return true;
}

WidgetValue takeFromWidget(const QWidget *widget, const ParameterDescriptor &descriptor)
{
    WidgetValue taken;
    taken.state = WidgetValue::Present;
    if (auto *spinBox = qobject_cast<const QSpinBox *>(widget)) {
        taken.value = spinBox->value();
        if (spinBox->cleanText().isEmpty())
            taken.state = WidgetValue::Empty;
    } else if (auto *lineEdit = qobject_cast<const QLineEdit *>(widget)) {
        taken.value = lineEdit->text();
    } else if (auto *comboBox = qobject_cast<const QComboBox *>(widget)) {
        taken.value = comboBox->currentIndex();
        if (comboBox->currentIndex() < 0)
            taken.state = WidgetValue::Empty;
    } else if (auto *doubleSpinBox = qobject_cast<const QDoubleSpinBox *>(widget)) {
        taken.value = doubleSpinBox->value();
        if (doubleSpinBox->cleanText().isEmpty())
            taken.state = WidgetValue::Empty;
    } else if (auto *checkBox = qobject_cast<const QCheckBox *>(widget)) {
        taken.value = checkBox->isChecked() ? 1 : 0;
    } else if (qobject_cast<const QPushButton *>(widget)) {
        taken.value = descriptor.presetValue;
    } else {
        taken.state = WidgetValue::Unmanaged;
    }
    return taken;
}

void clearWidget(QWidget *widget)
{
    if (auto *spinBox = qobject_cast<QAbstractSpinBox *>(widget))
        spinBox->clear();
    else if (auto *lineEdit = qobject_cast<QLineEdit *>(widget))
        lineEdit->clear();
    else if (auto *comboBox = qobject_cast<QComboBox *>(widget))
        comboBox->setCurrentIndex(-1);
    else if (auto *button = qobject_cast<QPushButton *>(widget))
        button->setText(QString());
    else if (auto *checkBox = qobject_cast<QCheckBox *>(widget))
        checkBox->setChecked(false);
}
