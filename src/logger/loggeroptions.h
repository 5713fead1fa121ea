#ifndef LOGGEROPTIONS_H
#define LOGGEROPTIONS_H

#include "device/projectfile.h"
#include "feed/mqttpublisher.h"

#include <QString>
#include <QStringList>

// What kelvaset-logger is to do, every field checked and usable as it is.
struct LoggerOptions
{
    // The line and its sensors, from the project file or from --port,
    // --bit-rate, --framing and --address (the port then has no identity
    // and is found by its name or device).
    ProjectFile line;
    QString outputDirectory;        // absolute; created if missing
    int recordSeconds = 0;          // interval records; 0 for none
    bool mqttEnabled = false;
    MqttOptions mqtt;
    int mqttQueueLimit = 0;

    // Without --mqtt-queue: a day of records of every sensor, and 1000
    // messages a sensor on top for its samples and statuses.
    static int defaultQueueLimit(int sensors, int recordSeconds);
};

// How to go on after reading the command line.
struct LoggerCommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };

    Action action = Action::Refuse;
    LoggerOptions options;
    QString text;    // the help or the version, or why the arguments were refused
};

// Reads the arguments (the program's name first), the project file and the
// MQTT password file they name.
LoggerCommandLine parseLoggerCommandLine(const QStringList &arguments);

#endif // LOGGEROPTIONS_H
