#ifndef SCANPLAN_H
#define SCANPLAN_H

#include <QVector>
#include <QtGlobal>

// One read of the serial number at one Modbus address and one line
// (bit-rate code and framing code, as in the sensor's registers).
struct ScanProbe
{
    int slave = 1;
    int bitRateCode = 1;
    int framingCode = 0;

    bool sameLine(const ScanProbe &other) const
    {
        return bitRateCode == other.bitRateCode && framingCode == other.framingCode;
    }
    bool operator==(const ScanProbe &other) const { return slave == other.slave && sameLine(other); }
    bool operator!=(const ScanProbe &other) const { return !(*this == other); }
};

// The part of the bus the user lets the search look at. Codes outside
// their ranges and addresses outside 1 to 247 are ignored.
struct ScanRange
{
    int firstSlave = 1;
    int lastSlave = 247;
    QVector<int> bitRateCodes { 0, 1, 2, 3, 4 };
    QVector<int> framingCodes { 0, 1, 2, 3 };

    bool contains(const ScanProbe &probe) const;
};

// A sensor fresh from the factory answers here.
constexpr ScanProbe FactoryProbe { 1, 1, 0 };

// How long the request and the reply of a probe (a function 3 read of the
// two words of the serial number) take on the wire at this line, in
// milliseconds.
double exchangeWireTimeMs(int bitRateCode, int framingCode);

// The response timeout of one probe: the time the sensor may take to
// think (the configured request time) plus the time the exchange spends on
// the wire at the probe's line, rounded up to whole milliseconds.
//
// libmodbus starts the response timeout once the request is written and
// stops it at the first byte of the reply, so counting the whole reply
// already leaves eight characters more than the wire needs; that margin
// covers the 3.5 character silence the sensor waits for before it
// answers, which is therefore not added on top.
int probeTimeoutMs(int bitRateCode, int framingCode, int requestTimeMs);

// The probes of one search, most likely first:
//  1. the stored address at the stored line;
//  2. the factory settings (address 1, 19200, 8N1);
//  3. address 1 and the stored address at every other line;
//  4. every remaining address, line by line, so that the port is set up
//     anew only once per line.
// Lines are taken stored line first, then the factory line, then by
// bit-rate code and framing code. Probes outside the range are left out,
// and no probe appears twice.
class ScanPlan
{
public:
    ScanPlan() = default;   // plans nothing
    ScanPlan(const ScanRange &range, const ScanProbe &stored, int requestTimeMs);

    const QVector<ScanProbe> &probes() const { return plannedProbes; }
    int size() const { return plannedProbes.size(); }
    bool isEmpty() const { return plannedProbes.isEmpty(); }
    const ScanProbe &at(int index) const { return plannedProbes.at(index); }

    int timeoutMs(int index) const;
    // Sum of the timeouts of the probes from index on: how long the rest
    // of the search takes when nothing answers.
    qint64 remainingTimeMs(int index) const;

private:
    QVector<ScanProbe> plannedProbes;
    QVector<int> probeTimeouts;
    QVector<qint64> timeFromProbe { 0 };   // one longer than probes, ends with 0
};

#endif // SCANPLAN_H
