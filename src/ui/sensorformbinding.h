#ifndef SENSORFORMBINDING_H
#define SENSORFORMBINDING_H

#include <QObject>

class LineSession;
class ParameterForm;

// Keeps the form showing the line session's sensor, and hands the user's
// edits of the configuration to the session, where they count as set by
// the user. Values the session does not know leave their field empty.
class SensorFormBinding : public QObject
{
    Q_OBJECT

public:
    SensorFormBinding(ParameterForm *form, LineSession *session, QObject *parent = nullptr);

signals:
    // A value the form could not show: its widget's class is not handled.
    void notShown(int id);

private:
    void show(int id);
    void takeEdit(int id);

    ParameterForm *form;
    LineSession *session;
    bool showing = false;
};

#endif // SENSORFORMBINDING_H
