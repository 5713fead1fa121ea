#include "sensorformbinding.h"

#include "device/parameterform.h"
#include "session/linesession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>

SensorFormBinding::SensorFormBinding(ParameterForm *form, LineSession *session, QObject *parent)
    : QObject(parent)
    , form(form)
    , session(session)
{
    for (int id : writeAllIds) {
        QWidget *widget = form->widget(id);
        const auto edited = [this, id] { takeEdit(id); };
        // Only what the user does counts as an edit: activated() and
        // clicked() never come from the program, and changes the binding
        // makes itself are left out below.
        if (auto *spinBox = qobject_cast<QSpinBox *>(widget))
            connect(spinBox, QOverload<int>::of(&QSpinBox::valueChanged), this, edited);
        else if (auto *doubleSpinBox = qobject_cast<QDoubleSpinBox *>(widget))
            connect(doubleSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, edited);
        else if (auto *comboBox = qobject_cast<QComboBox *>(widget))
            connect(comboBox, QOverload<int>::of(&QComboBox::activated), this, edited);
        else if (auto *checkBox = qobject_cast<QCheckBox *>(widget))
            connect(checkBox, &QCheckBox::clicked, this, edited);
    }
    connect(session, &LineSession::valueChanged, this, &SensorFormBinding::show);
    for (int id = 0; id < ParameterCount; ++id) {
        if (session->value(id).value.display.isValid())
            show(id);
    }
}

void SensorFormBinding::show(int id)
{
    if (id == IdNvParSave || id == IdSWReset)
        return;
    showing = true;
    const SensorValue &value = session->value(id);
    if (!value.value.display.isValid())
        form->clearValue(id);
    else if (!form->show(id, value.value))
        emit notShown(id);
    showing = false;
}

void SensorFormBinding::takeEdit(int id)
{
    if (showing)
        return;
    const WidgetValue taken = form->take(id);
    if (taken.state != WidgetValue::Present)
        return;
    session->setUserValue(id, taken.value);
    if (id == IdBitRate || id == IdSerialConf)
        session->selectLine(session->value(IdBitRate).value.output.toInt(),
                            session->value(IdSerialConf).value.output.toInt());
}
