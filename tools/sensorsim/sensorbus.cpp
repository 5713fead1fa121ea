#include "sensorbus.h"

#include "modbusrequest.h"

#include <QFileInfo>

#include <algorithm>

BusSensor::BusSensor(const SensorSetup &setup, const std::optional<SensorConfiguration> &saved,
                     const LiveValues &liveValues, const FaultOptions &faults)
    : liveValues(liveValues),
      registers(setup.identity, setup.configuration, saved, setup.stateFile, &this->liveValues),
      responder(&registers, faults),
      faulty(setup.faulty)
{
}

bool SensorBus::setUp(const SimulatorOptions &options, QString *error)
{
    const QList<SensorSetup> setups = options.sensorSetups();
    for (int index = 0; index < setups.size(); ++index) {
        const SensorSetup &setup = setups.at(index);
        std::optional<SensorConfiguration> saved;
        if (!setup.stateFile.isEmpty() && QFileInfo::exists(setup.stateFile)) {
            SensorConfiguration loaded;
            QString loadError;
            if (!SensorConfiguration::loadFromFile(setup.stateFile, &loaded, &loadError)) {
                *error = QStringLiteral("cannot use the state file %1: %2").arg(setup.stateFile, loadError);
                return false;
            }
            saved = loaded;
        }
        sensors.push_back(std::make_unique<BusSensor>(setup, saved,
                                                      LiveValues::forSensor(index, options.temperature),
                                                      setup.faulty ? options.faults : FaultOptions()));
    }
    return !sensors.empty();
}

BusSensor *SensorBus::sensorFor(int slave, const ObservedLine &line) const
{
    BusSensor *found = nullptr;
    for (const std::unique_ptr<BusSensor> &sensor : sensors) {
        const LinkSettings &link = sensor->registers.link();
        if (link.node != slave)
            continue;
        if (lineMatches(line, link.bitRateCode, link.serialConfCode))
            return sensor.get();
        if (!found)
            found = sensor.get();
    }
    return found;
}

ResponderDecision SensorBus::handleFrame(const QByteArray &frame, const ObservedLine &line, int frameNumber,
                                         double secondsSinceStart, BusSensor **concerned)
{
    ResponderDecision decision;
    decision.request = ModbusRequest::parse(frame);
    *concerned = sensorFor(decision.request.slave, line);
    if (*concerned)
        return (*concerned)->responder.handleFrame(frame, line, frameNumber, secondsSinceStart);

    const bool anyLineMatches = std::any_of(sensors.cbegin(), sensors.cend(), [&line](const auto &sensor) {
        const LinkSettings &link = sensor->registers.link();
        return lineMatches(line, link.bitRateCode, link.serialConfCode);
    });
    decision.reason = SensorResponder::unclaimedReason(frame, decision.request, anyLineMatches);
    return decision;
}

void SensorBus::transactionDone()
{
    // Only the sensor that took the frame has anything waiting; for the
    // others this changes nothing.
    for (const std::unique_ptr<BusSensor> &sensor : sensors)
        sensor->responder.transactionDone();
}
