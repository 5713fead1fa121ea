#ifndef LINESENSOR_H
#define LINESENSOR_H

#include "device/conversions.h"
#include "link/linkcounts.h"

#include <QDateTime>
#include <QString>
#include <QVector>

// One sensor of the line's list: who it is for the session, where it
// answers, what it is, what the technician calls it, and how it has answered
// since the port was opened.
//
// Its identity (id) is the session's own and stays the same for as long as
// it is listed, wherever it moves: the address and the serial number are
// only what is known of it, and either may change (a Write all of its node,
// a replaced unit) or be the same as another sensor's (a cloned serial
// number). Everything read from a sensor is told by its id.
struct LineSensor
{
    enum class State {
        Unknown,     // not asked yet
        Answered,
        NoAnswer,
        Error        // answered with a reply that was refused, or the port went
    };

    int id = 0;                     // given by the session when it is listed
    int address = 1;
    quint32 serialNumber = 0;       // 0 until read
    quint32 firmwareVersion = 0;    // 0 until read
    QString label;
    State state = State::Unknown;
    QString reason;                 // why it did not answer, for its row
    LinkCounts counts;
    // Whether its configuration matched the open profile when last compared.
    enum class ProfileMatch { Unknown, Matches, Differs } profileMatch = ProfileMatch::Unknown;
    // The serial number a project file holds for this address: a sensor that
    // answers there with another one is flagged, never silently relabelled.
    quint32 expectedSerial = 0;
    // The live values of its last poll (liveIds order) and when they were
    // read; empty when it did not answer then.
    QVector<int> lastIds;
    QVector<ReadValue> lastValues;
    QDateTime lastRead;

    bool serialMismatch() const
    {
        return expectedSerial != 0 && serialNumber != 0 && serialNumber != expectedSerial;
    }
    // The serial number the list holds for it: the project's, else the one read.
    quint32 listedSerial() const { return expectedSerial != 0 ? expectedSerial : serialNumber; }
    // What the plots' legends and the status bar call the sensor.
    QString displayName() const
    {
        if (!label.isEmpty())
            return label;
        if (serialNumber != 0 || expectedSerial != 0)
            return QStringLiteral("SN%1").arg(serialNumber != 0 ? serialNumber : expectedSerial);
        return QStringLiteral("#%1").arg(address);
    }
};

#endif // LINESENSOR_H
