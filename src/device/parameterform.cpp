#include "parameterform.h"

#include <QPalette>
#include <QWidget>

namespace {

// The object name of each parameter's widget, by parameter id.
const char *const widgetNames[ParameterCount] = {
    "serialNumberSpinBox",
    "FWVersionLineEdit",
    "factoryCalibrationLineEdit",
    "notVolatileParLineEdit",
    "digitalInputLineEdit",
    "PT100StatusLineEdit",
    "analogicOutputStatusLineEdit",
    "watchdogLineEdit",
    "slaveSpinBox",
    "bitRateComboBox",
    "databitParityStopComboBox",
    "delaySpinBox",
    "analogicOutputModeComboBox",
    "analogicOutputSelectionComboBox",
    "PT100ReadingEnableCheckBox",
    "constantPerPulseDoubleSpinBox",
    "savePushButton",
    "resetParamsPushButton",
    "irradianceSpinBox",
    "PT100TempDoubleSpinBox",
    "speedDoubleSpinBox",
};

} // namespace

ParameterForm::ParameterForm(QWidget *root)
    : root(root)
{
    for (const ParameterDescriptor &descriptor : parameterTable) {
        QWidget *widget = root->findChild<QWidget *>(QLatin1String(widgetNames[descriptor.id]));
        Q_ASSERT_X(widget, "ParameterForm", widgetNames[descriptor.id]);
        widgets.insert(descriptor.id, widget);
    }
}

bool ParameterForm::show(int id, const ReadValue &value)
{
    QWidget *target = widgets.value(id);
    if (!showInWidget(target, value.display))
        return false;
    QPalette palette = root->palette();
    if (value.hasColour)
        palette.setBrush(QPalette::Active, QPalette::Base, QBrush(value.colour));
    target->setPalette(palette);
    return true;
}

WidgetValue ParameterForm::take(int id) const
{
    return takeFromWidget(widgets.value(id), parameterDescriptor(id));
}

void ParameterForm::clear()
{
    for (int id : clearedAtStartIds)
        clearWidget(widgets.value(id));
}

void ParameterForm::clearValue(int id)
{
    clearWidget(widgets.value(id));
    widgets.value(id)->setPalette(root->palette());
}

void ParameterForm::resetColours()
{
    for (QWidget *widget : qAsConst(widgets))
        widget->setPalette(root->palette());
}

void ParameterForm::enableFor(quint32 firmwareVersion)
{
    for (const ParameterDescriptor &descriptor : parameterTable)
        widgets.value(descriptor.id)->setEnabled(descriptor.isAvailable(firmwareVersion));
}
