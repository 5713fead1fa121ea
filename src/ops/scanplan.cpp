#include "scanplan.h"

#include "device/parametertable.h"
#include "link/serialline.h"
#include "link/seriallinesettings.h"

#include <QSet>

#include <cmath>

namespace {
// Slave address, function code, start address, register count and CRC.
constexpr int ReadRequestBytes = 8;
// Slave address, function code, byte count, the words and CRC.
int readReplyBytes(int registerCount) { return 5 + 2 * registerCount; }

int bitsPerCharacter(int framingCode)
{
    const LineSettings line = lineSettingsForCodes(0, framingCode);
    return 1 + line.dataBits + (line.parity == 'N' ? 0 : 1) + line.stopBits;
}

quint32 probeKey(const ScanProbe &probe)
{
    return quint32(probe.slave) << 16 | quint32(probe.bitRateCode) << 8 | quint32(probe.framingCode);
}

bool isValidLine(const ScanProbe &probe)
{
    return isValidBitRateCode(probe.bitRateCode) && isValidFramingCode(probe.framingCode);
}

// Appends the probe unless the range excludes it or it is planned already.
class ProbeCollector
{
public:
    ProbeCollector(const ScanRange &range, QVector<ScanProbe> &probes) : range(range), probes(probes) {}

    void add(const ScanProbe &probe)
    {
        if (!range.contains(probe) || planned.contains(probeKey(probe)))
            return;
        planned.insert(probeKey(probe));
        probes.append(probe);
    }

private:
    const ScanRange &range;
    QVector<ScanProbe> &probes;
    QSet<quint32> planned;
};

// Every line of the range, the stored one and the factory one first.
QVector<ScanProbe> linesInOrder(const ScanRange &range, const ScanProbe &stored)
{
    QVector<ScanProbe> lines;
    const auto addLine = [&](int bitRateCode, int framingCode) {
        const ScanProbe line { 0, bitRateCode, framingCode };
        if (!range.bitRateCodes.contains(bitRateCode) || !range.framingCodes.contains(framingCode)
                || !isValidLine(line))
            return;
        for (const ScanProbe &known : lines) {
            if (known.sameLine(line))
                return;
        }
        lines.append(line);
    };
    addLine(stored.bitRateCode, stored.framingCode);
    addLine(FactoryProbe.bitRateCode, FactoryProbe.framingCode);
    for (int bitRateCode = 0; bitRateCode < BitRateCodeCount; ++bitRateCode) {
        for (int framingCode = 0; framingCode < FramingCodeCount; ++framingCode)
            addLine(bitRateCode, framingCode);
    }
    return lines;
}

ScanProbe atLine(int slave, const ScanProbe &line)
{
    return ScanProbe { slave, line.bitRateCode, line.framingCode };
}
}

bool ScanRange::contains(const ScanProbe &probe) const
{
    return probe.slave >= qMax(firstSlave, SerialLineSettings::MinSlave)
            && probe.slave <= qMin(lastSlave, SerialLineSettings::MaxSlave)
            && bitRateCodes.contains(probe.bitRateCode) && framingCodes.contains(probe.framingCode)
            && isValidLine(probe);
}

double exchangeWireTimeMs(int bitRateCode, int framingCode)
{
    const int registers = parameterDescriptor(IdSerialNumber).registerCount();
    const int bits = (ReadRequestBytes + readReplyBytes(registers)) * bitsPerCharacter(framingCode);
    return 1000.0 * bits / baudForCode(bitRateCode);
}

int probeTimeoutMs(int bitRateCode, int framingCode, int requestTimeMs)
{
    return requestTimeMs + int(std::ceil(exchangeWireTimeMs(bitRateCode, framingCode)));
}

ScanPlan::ScanPlan(const ScanRange &range, const ScanProbe &stored, int requestTimeMs)
{
    ProbeCollector collector(range, plannedProbes);
    collector.add(stored);
    collector.add(FactoryProbe);
    const QVector<ScanProbe> lines = linesInOrder(range, stored);
    for (const ScanProbe &line : lines) {
        collector.add(atLine(FactoryProbe.slave, line));
        collector.add(atLine(stored.slave, line));
    }
    for (const ScanProbe &line : lines) {
        const int last = qMin(range.lastSlave, SerialLineSettings::MaxSlave);
        for (int slave = qMax(range.firstSlave, SerialLineSettings::MinSlave); slave <= last; ++slave)
            collector.add(atLine(slave, line));
    }

    probeTimeouts.reserve(plannedProbes.size());
    for (const ScanProbe &probe : qAsConst(plannedProbes))
        probeTimeouts.append(probeTimeoutMs(probe.bitRateCode, probe.framingCode, requestTimeMs));
    timeFromProbe.fill(0, plannedProbes.size() + 1);
    for (int i = plannedProbes.size() - 1; i >= 0; --i)
        timeFromProbe[i] = timeFromProbe.at(i + 1) + probeTimeouts.at(i);
}

int ScanPlan::timeoutMs(int index) const
{
    return probeTimeouts.at(index);
}

qint64 ScanPlan::remainingTimeMs(int index) const
{
    return timeFromProbe.at(qBound(0, index, plannedProbes.size()));
}
