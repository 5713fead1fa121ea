#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

#include "oneshotfaults.h"
#include "sensorconfiguration.h"
#include "sensorregisters.h"
#include "sensorresponder.h"
#include "link/networkline.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// One sensor of a line of several, as --sensor ADDR:SERIAL[:FIRMWARE] gives it.
struct LineSensorOption
{
    int node = 1;
    quint32 serialNumber = 0;
    std::optional<quint32> firmwareVersion;     // unset: that of --firmware
};

// How one sensor on the line starts.
struct SensorSetup
{
    SensorIdentity identity;
    SensorConfiguration configuration;  // unless it saved one
    QString stateFile;                  // empty: a save keeps nothing
    bool faulty = true;                 // the fault options apply to it
};

// A simulated gateway, as --tcp or --rtu-over-tcp [HOST:]PORT gives it.
struct GatewayOption
{
    NetworkLine::Protocol protocol = NetworkLine::Protocol::ModbusTcp;
    QString host = QStringLiteral("127.0.0.1");
    int port = 0;                       // 0: one the system picks
};

// Everything the command line can set.
struct SimulatorOptions
{
    QString name = QStringLiteral("kelvane-sim");
    SensorIdentity identity;
    SensorConfiguration configuration;
    std::optional<double> temperature;
    QString stateFile;
    QString logFile;
    FaultOptions faults;
    OneShotFaults oneShotFaults;
    int replyDelayMs = 0;
    int byteGapMs = 0;
    int vanishAfter = 0;                // 0: never
    bool frameTiming = false;
    bool exitWithParent = false;
    QList<LineSensorOption> lineSensors;    // empty: one sensor, from identity and configuration
    int faultSensor = 0;                    // node at start of the only sensor faults strike; 0: every one
    QList<GatewayOption> gateways;
    bool noTerminal = false;                // only the gateways, no pseudo-terminal
    bool refuseConnections = false;         // the gateways are down
    int closeAfter = 0;                     // a gateway closes its connection after frame N; 0: never
    int downMs = 0;                         // ... and accepts none for that long
    QSet<int> noPathTo;                     // units a Modbus TCP gateway has no path to (exception 10)

    // The sensors on the line, in the order given. Each of several starts
    // from the configuration given, at its own node, and keeps its saved
    // configuration in the state file with ".<serial number>" appended, so
    // that it finds it again whatever node it has moved to.
    QList<SensorSetup> sensorSetups() const;
};

// Parses the arguments (the program name first). Returns false with a
// message in error for anything unusable, and also for --help, whose text
// then goes to error with helpRequested set.
bool parseSimulatorOptions(const QStringList &arguments, SimulatorOptions *options, QString *error,
                           bool *helpRequested);

#endif // SIMULATOROPTIONS_H
