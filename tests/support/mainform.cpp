#include "mainform.h"

namespace {
QWidget *builtForm(MainForm *form, Ui::MainWindowClass *ui)
{
    ui->setupUi(form);
    return form;
}
}

MainForm::MainForm()
    : parameters(builtForm(this, &ui))
{
    parameters.clear();
}

QStringList MainForm::disabledParameters() const
{
    QStringList names;
    for (const ParameterDescriptor &descriptor : parameterTable) {
        if (!parameters.widget(descriptor.id)->isEnabled())
            names << QLatin1String(descriptor.name);
    }
    return names;
}
