#ifndef PARAMETERFORM_H
#define PARAMETERFORM_H

#include "conversions.h"
#include "parametertable.h"
#include "widgetvalue.h"

#include <QHash>

class QWidget;

// The form's side of the sensor's parameters: which widget shows which
// parameter (found by object name below a root widget), and putting values
// in, taking them out, clearing, colouring and enabling those widgets.
class ParameterForm
{
public:
    // Finds every parameter's widget below root; root must hold all 21.
    explicit ParameterForm(QWidget *root);

    QWidget *widget(int id) const { return widgets.value(id); }

    // Shows a value read from the sensor, with its status colour if it has
    // one. False when the widget's class is not one the binding handles.
    bool show(int id, const ReadValue &value);
    WidgetValue take(int id) const;

    // Empties the widgets whose design-time content is not a sensor value.
    void clear();
    // Empties one parameter's widget: nothing is known of its value.
    void clearValue(int id);
    // Gives every parameter widget the root's palette again.
    void resetColours();
    // Enables the widgets of the parameters the firmware has, disables the rest.
    void enableFor(quint32 firmwareVersion);

private:
    QWidget *root;
    QHash<int, QWidget *> widgets;
};

#endif // PARAMETERFORM_H
