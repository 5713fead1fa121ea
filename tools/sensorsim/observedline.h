#ifndef OBSERVEDLINE_H
#define OBSERVEDLINE_H

// The line settings the master has put on the pseudo-terminal. Linux clears
// the parity enable flag of a pseudo-terminal on every change (and forces
// eight data bits), so even parity cannot be told from none; the odd flag
// and the stop bits do survive.
struct ObservedLine
{
    int baud = 0;
    int stopBits = 1;
    bool oddParity = false;
};

// Whether a sensor set to these codes would understand a master using the
// observed settings. 8E1 and 8N1 count as the same, having no visible
// difference on a pseudo-terminal.
bool lineMatches(const ObservedLine &line, int bitRateCode, int serialConfCode);

#endif // OBSERVEDLINE_H
