#ifndef SENSORBUS_H
#define SENSORBUS_H

#include "livevalues.h"
#include "sensorregisters.h"
#include "sensorresponder.h"
#include "simulatoroptions.h"

#include <memory>
#include <optional>
#include <vector>

// One sensor on the line: what it measures, its registers and how it
// answers. Never copied nor moved, as the registers point at the live values
// and the responder at the registers.
struct BusSensor
{
    BusSensor(const SensorSetup &setup, const std::optional<SensorConfiguration> &saved,
              const LiveValues &liveValues, const FaultOptions &faults);
    BusSensor(const BusSensor &) = delete;
    BusSensor &operator=(const BusSensor &) = delete;

    LiveValues liveValues;
    SensorRegisters registers;
    SensorResponder responder;
    const bool faulty;          // the fault options apply to it
};

// The sensors sharing the simulated line. A frame is for the sensor at the
// node it addresses, which alone takes it up and answers it; the others
// never notice it, as on a real line. Should two sensors be moved to one
// node, the first listed whose line matches the master's takes the frame.
class SensorBus
{
public:
    // Powers up the sensors the options describe, each from its saved
    // configuration when its state file holds one.
    bool setUp(const SimulatorOptions &options, QString *error);

    // What the line makes of a frame, and the sensor it is for (null when it
    // is for none of them). frameNumber counts every frame on the line.
    ResponderDecision handleFrame(const QByteArray &frame, const ObservedLine &line, int frameNumber,
                                  double secondsSinceStart, BusSensor **concerned);
    // Call when the reply has left, or at once when there is none: a new
    // node, line setting or a reset takes effect then.
    void transactionDone();

    // The line the port starts at: the first sensor's (all start at the same).
    const LinkSettings &firstLink() const { return sensors.front()->registers.link(); }

private:
    BusSensor *sensorFor(int slave, const ObservedLine &line) const;

    std::vector<std::unique_ptr<BusSensor>> sensors;
};

#endif // SENSORBUS_H
