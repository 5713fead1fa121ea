#ifndef CONVERSIONS_H
#define CONVERSIONS_H

#include "parametertable.h"

#include <QColor>
#include <QString>
#include <QVariant>
#include <QVector>

// Register words to display value and back, by the descriptor's conversion
// kind. None of this needs a widget.

struct ReadValue
{
    QVariant display;      // what the bound widget shows
    QVariant output;       // what the caller gets: number form of the value
    bool hasColour = false;
    QColor colour;         // status kinds colour the widget's base
};

ReadValue convertRead(const ParameterDescriptor &descriptor, const quint16 *words);

// Number form and text form of the firmware version; the first register
// holds the high word: 0x8001, 0x0A0B give 0x80010A0B and "80.01-0a.0b".
quint32 firmwareNumber(const quint16 *words, int count);
QString firmwareText(const quint16 *words, int count);
// The text form of a firmware version number; "unknown" for 0.
QString firmwareText(quint32 version);

// Rounds to the nearest integer, halves away from zero.
qint64 roundHalfAwayFromZero(double value);

// Converts a widget value into the descriptor's register words. Returns
// false for a conversion kind that has no write form (status kinds and the
// firmware text), so that nothing is sent from an unfilled buffer.
bool convertWrite(const ParameterDescriptor &descriptor, const QVariant &value, QVector<quint16> &words);

#endif // CONVERSIONS_H
