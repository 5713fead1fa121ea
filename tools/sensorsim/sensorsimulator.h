#ifndef SENSORSIMULATOR_H
#define SENSORSIMULATOR_H

#include "networkserver.h"
#include "pseudoterminal.h"
#include "requestlog.h"
#include "sensorbus.h"
#include "simulatoroptions.h"

#include <QList>

#include <memory>
#include <vector>

// Puts the pieces together: the pseudo-terminal carries frames to the
// sensors on the line and their replies back, with the timing faults of the
// replying sensor applied on the way,
// until a signal stops it or the port is made to vanish. The same line can
// also be reached through simulated gateways (--tcp, --rtu-over-tcp), each
// frame answered where it came from; the gateway's serial side stays at
// the line the sensors started at.
// A reply that a one-shot fault holds back (all of a late reply, the part
// after the pause of a gapped one) is waited for in the same poll that
// listens to the line, so signals still reach the simulator and frames
// arriving meanwhile keep their arrival time; they are answered, in order,
// once the held-back bytes are out, as a sensor busy sending would.
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
    struct ReceivedFrame
    {
        QByteArray bytes;
        qint64 arrivalUs;
        ObservedLine line;          // as the master had set it at arrival
        int source = -1;            // the gateway it came through; -1: the pseudo-terminal
        quint16 transaction = 0;    // its Modbus TCP transaction id
    };

    void handleFrame(const ReceivedFrame &frame);
    void sendReply(const QByteArray &bytes);
    bool startServers(QString *error);
    void holdBack(const QByteArray &bytes, qint64 dueUs);
    void sendHeldBack();
    void finishTransaction(bool answered);
    qint64 replyWaitUs() const;
    qint64 byteTimeUs() const;
    static qint64 monotonicUs();
    static void sleepUs(qint64 us);

    SimulatorOptions options;
    qint64 startUs;
    SensorBus bus;
    BusSensor *replying = nullptr;  // the sensor whose reply is on its way
    PseudoTerminal terminal;
    std::vector<std::unique_ptr<NetworkServer>> servers;
    ObservedLine gatewayLine;       // the serial side of every gateway
    int replySource = -1;           // where the reply on its way goes
    quint16 replyTransaction = 0;
    RequestLog log;
    int requestsSeen = 0;           // frames handled so far; the current one's number
    QList<ReceivedFrame> unhandled; // arrived while a reply was held back
    QByteArray heldBack;
    qint64 heldBackDueUs = -1;      // -1: nothing held back
};

#endif // SENSORSIMULATOR_H
