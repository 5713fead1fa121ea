#ifndef SETTINGSSTORE_H
#define SETTINGSSTORE_H

#include "link/commtiming.h"
#include "link/seriallinesettings.h"
#include "linesensor.h"
#include "useroptions.h"

#include <QRect>
#include <QVariantList>
#include <QVector>

// The settings store, read once at start. The line the sensor last
// answered at is written as soon as it changes (a program that dies keeps
// it); the options when the options dialog closes; the window's geometry
// and the reading period when the window closes.
class SettingsStore
{
public:
    SettingsStore();

    const SerialLineSettings &line() const { return storedLine; }
    const CommTiming &timing() const { return storedTiming; }
    const UserOptions &options() const { return storedOptions; }
    QRect geometry() const { return storedGeometry; }
    // The sensors of the line as the last session left them: address,
    // serial number (what a sensor answering there should say) and label.
    QVector<LineSensor> sensors() const;

    void saveLine(const SerialLineSettings &line);
    // A network line the user added, listed with the ports from now on.
    void keepNetworkLine(const QString &url, const QString &name);
    // The options dialog's timing and options.
    void saveOptions(const CommTiming &timing, const UserOptions &options);
    void saveOnClose(const QRect &geometry, int readingPeriodMs);
    // Writes only when what is kept of them has changed.
    void saveSensors(const QVector<LineSensor> &sensors);

    // True once any write has failed; the store's file name for the message.
    bool writeFailed() const { return failed; }
    QString fileName() const;

private:
    void checkWritten();
    void loadOptions();

    SerialLineSettings storedLine;
    CommTiming storedTiming;
    UserOptions storedOptions;
    QRect storedGeometry;
    QVariantList storedSensors;
    bool failed = false;
};

#endif // SETTINGSSTORE_H
