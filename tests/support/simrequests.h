#ifndef SIMREQUESTS_H
#define SIMREQUESTS_H

#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>

class ModalAnswerer;
class QWidget;

// What the sensor simulator received and what the window told the user, in
// forms that a failed QCOMPARE shows legibly.

// The line as the simulator observed it when a request arrived; by default
// the program's own (19200 bit/s, 8N1).
struct SimLine
{
    int baud = 19200;
    int stopBits = 1;
    bool odd = false;
};

QString describe(const SimRequest &request);
QStringList describe(const QList<SimRequest> &requests);

// A request as describe() shows it; reason "-" is an answered one.
QString simRequest(int function, int slave, int address, int count, const QVector<quint16> &values = {},
                   const SimLine &line = {}, const char *reason = "-");
QString simWrite(int slave, int address, quint16 value, const SimLine &line = {});

// What Read all sends, in order: identity, the six status bits one by one,
// the configuration, and the pulse constant where the firmware has it.
QStringList readAllRequests(bool withPulseConstant, int slave = 1, const SimLine &line = {});

// The message boxes answered so far, as "title: text".
QStringList shownBoxes(const ModalAnswerer &answerer);

// True when the status bar, watched from `since` on, keeps text on green and
// then goes back to "Ready" on grey as a status timer of delayMs would: a
// coarse timer may fire up to 5 % early, a busy machine makes it late.
bool successShownFor(QWidget *window, const QString &text, const QElapsedTimer &since, int delayMs);

#endif // SIMREQUESTS_H
