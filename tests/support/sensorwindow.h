#ifndef SENSORWINDOW_H
#define SENSORWINDOW_H

#include "mainwindow.h"
#include "session/linesession.h"
#include "simulatorprocess.h"

#include <QScopedPointer>
#include <QStringList>

// The real main window talking through libmodbus to the sensor simulator
// over a pseudo-terminal: the set-up of every end-to-end test.
class SensorWindow
{
public:
    // Starts a simulator with the given options and a window whose line
    // settings (bit-rate and framing codes) are those stored beforehand.
    explicit SensorWindow(const QStringList &simulatorArgs = {});
    ~SensorWindow();

    bool startSimulator() { return simulator.start(); }
    MainWindow &window();

    // Starts the simulator if needed, picks its port in the list and
    // presses "Open COM Port"; true when the connection is open.
    bool open();
    bool selectSimulatorPort();
    void pressOpenClose();
    // Clicks and waits until the operation it started has completed.
    void click(const char *buttonName);
    bool waitUntilIdle(int timeoutMs = 30000);

    SimulatorProcess simulator;

private:
    QScopedPointer<MainWindow> mainWindow;
};

// Stores a settings value as a previous run of the program would have.
void storeSetting(const QString &group, const QString &key, const QVariant &value);
QVariant storedSetting(const QString &group, const QString &key);

// Transfer timings for tests: short, so silent sensors cost little.
void storeTransferTiming(int requestMs, int responseMs, int retries, int incrementMs);

#endif // SENSORWINDOW_H
