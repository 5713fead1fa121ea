#ifndef WIDGETVALUE_H
#define WIDGETVALUE_H

#include "parametertable.h"

#include <QVariant>

class QWidget;

// Putting a value into a bound widget and taking it out again, by the
// widget's class. Spin boxes, line edits, combo boxes, double spin boxes
// and check boxes hold values; a push button stands for a command and
// yields the descriptor's preset value.

// False when the widget's class is not one of the handled ones.
bool showInWidget(QWidget *widget, const QVariant &display);

struct WidgetValue
{
    enum State {
        Present,     // value holds what the widget shows
        Empty,       // a combo box with no item selected, a cleared spin box
        Unmanaged    // a widget class the binding does not handle
    };
    State state = Unmanaged;
    QVariant value;
};

WidgetValue takeFromWidget(const QWidget *widget, const ParameterDescriptor &descriptor);

// Empties a widget as at start-up, so that its design-time content is not
// taken for a value read from the sensor.
void clearWidget(QWidget *widget);

#endif // WIDGETVALUE_H
