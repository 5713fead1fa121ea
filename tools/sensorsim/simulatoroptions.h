#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

#include "oneshotfaults.h"
#include "sensorconfiguration.h"
#include "sensorregisters.h"
#include "sensorresponder.h"

#include <QString>
#include <QStringList>
#include <optional>

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
};

// Parses the arguments (the program name first). Returns false with a
// message in error for anything unusable, and also for --help, whose text
// then goes to error with helpRequested set.
bool parseSimulatorOptions(const QStringList &arguments, SimulatorOptions *options, QString *error,
                           bool *helpRequested);

#endif // SIMULATOROPTIONS_H
