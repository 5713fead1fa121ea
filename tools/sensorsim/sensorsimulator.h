#ifndef SENSORSIMULATOR_H
#define SENSORSIMULATOR_H

#include "livevalues.h"
#include "pseudoterminal.h"
#include "requestlog.h"
#include "sensorregisters.h"
#include "sensorresponder.h"
#include "simulatoroptions.h"

#include <memory>

// Puts the pieces together: the pseudo-terminal carries frames to the
// responder and its replies back, with the timing faults applied on the way,
// until a signal stops it or the port is made to vanish.
class SensorSimulator
{
public:
    explicit SensorSimulator(const SimulatorOptions &options);

    // Opens and announces the port. Prints "ready <link>" once it is usable.
    bool start(QString *error);
    // Runs until SIGINT, SIGTERM or SIGHUP (port withdrawn), or until the
    // port vanishes (SIGUSR1 or --vanish-after). Returns the exit code.
    int run();

    // Signals are blocked outside the wait for input, so that a reply
    // being sent is never cut short; call before start().
    static void installSignalHandlers();

private:
    void handleFrame(const QByteArray &frame, qint64 arrivalUs);
    qint64 byteTimeUs() const;
    static qint64 monotonicUs();

    SimulatorOptions options;
    qint64 startUs;
    LiveValues liveValues;
    std::unique_ptr<SensorRegisters> registers;
    std::unique_ptr<SensorResponder> responder;
    PseudoTerminal terminal;
    RequestLog log;
    int requestsSeen = 0;
};

#endif // SENSORSIMULATOR_H
