#ifndef PROJECTFILE_H
#define PROJECTFILE_H

#include "link/commtiming.h"

#include <QString>
#include <QVector>

// One sensor of a project's line.
struct ProjectSensor
{
    int address = 1;             // node address, 1 to 247
    quint32 serialNumber = 0;
    QString label;               // where it is mounted, as the technician names it
};

// A line and its sensors, kept in a versioned JSON file (.kelvaset):
//     { "format": "kelvaset-project", "version": 1,
//       "port": { "name": "...", "identity": "..." },
//       "bitRateCode": 1, "bitRate": "19200", "framingCode": 0, "framing": "8N1",
//       "periodMs": 250,
//       "sensors": [ { "address": 1, "serialNumber": 1234, "label": "..." } ],
//       "timing": { "requestTimeMs": 25, ..., "networkRequestTimeMs": 300, ... } }
// "timing" (the transfer timing, with the timeouts of each line type) may be
// missing: projects saved before it had none.
// "bitRate" and "framing" are written for people reading the file; loading
// takes the codes, which are those of the sensor's BitRate and SerialConf.
struct ProjectFile
{
    static const char *fileSuffix() { return "kelvaset"; }
    // The longest texts a project takes, in characters: far beyond what a
    // technician types or a port list shows.
    static constexpr int LongestLabel = 200;
    static constexpr int LongestPortName = 300;
    static constexpr int LongestPortIdentity = 1000;

    QString portName;            // as the port list shows it
    QString portIdentity;        // what tells the adapter apart when it comes back
    int bitRateCode = 1;         // 0 to 4
    int framingCode = 0;         // 0 to 3
    int periodMs = 250;          // reading period, 1 to 60000
    QVector<ProjectSensor> sensors;
    bool hasTiming = false;
    CommTiming timing;

    // Takes the whole file or, with a translated message in error, nothing:
    // a damaged, newer or oversized file, one that is no project, a field
    // of the wrong type, a text too long, a code, period or address out of
    // range, or two sensors at one address. The message names the field.
    bool load(const QString &path, QString *error);
    bool save(const QString &path, QString *error) const;
};

#endif // PROJECTFILE_H
