#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "ports/serialportinfo.h"

#include <QMainWindow>
#include <QString>

#include <memory>

class LinkThread;
class LivePlots;
class ParameterForm;
class PortList;
class SerialPortEnumerator;
class StatusDisplay;
class TimedReading;
struct TransferFailure;
namespace Ui { class MainWindowClass; }

// The program's one window. It builds the form, wires the user's actions
// to the operations and shows their outcomes: message boxes and the status
// display. The work itself is done by the classes it wires: the sensor
// line on its own thread (LinkThread), the operations (ReadAll,
// WriteParameters), the timed reading (TimedReading) and the port list.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    quint32 firmware() const { return firmwareVersion; }
    bool isConnectionOpen() const { return connectionOpen; }
    bool isTimedReadingActive() const;
    bool isBusy() const;
    QString currentLogFileName() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void optionsSlot();
    void findSensorSlot();
    void aboutSlot();
    void onDeviceDiscoveredSlot(const SerialPortInfo &portInfo);
    void onDeviceRemovedSlot(const SerialPortInfo &portInfo);
    void openCloseSlot(bool open);
    void updateOpenCloseButtonStatus();
    void readAllSlot();
    void writeAllSlot();
    void saveSlot();
    void resetParamsSlot();
    void timedReading(bool start);
    void updateTimingReading();

private:
    void loadSettings();
    void saveSettings();
    void applyTimingOptions();
    int rebuildPortList();
    void useFoundSensor(const SerialPortInfo &port, int slave, int bitRateCode, int framingCode);
    void connectSignals();

    void openPort(const SerialPortInfo &port, int bitRateCode, int framingCode);
    void closePort();
    void setOpenedState();
    void setClosedState();
    void setCommandButtonsEnabled(bool enabled);
    void setAcquisitionControlsEnabled(bool enabled);

    // An operation the user starts runs alone; the cursor shows it.
    bool beginOperation();
    void endOperation();
    void sendCommand(int id, int statusResetMs);

    void reportTransferFailure(const TransferFailure &failure, const QString &detail = QString());
    void warnUnmanagedWidget(int id, bool reading);
    void reportSettingsNotWritten();

    void pauseForLostPort();
    void reopenReturningPort(const SerialPortInfo &port);

    Ui::MainWindowClass *ui = nullptr;
    std::unique_ptr<ParameterForm> form;
    std::unique_ptr<LivePlots> plots;
    std::unique_ptr<PortList> portList;
    StatusDisplay *status = nullptr;
    LinkThread *link = nullptr;
    TimedReading *reading = nullptr;
    SerialPortEnumerator *portEnumerator = nullptr;

    quint32 firmwareVersion = 0;
    bool connectionOpen = false;
    bool operationRunning = false;
    // A sensor picked in the search is read as soon as its port is open.
    bool pendingReadAll = false;
    // The port the line is open on (or was, while a run waits for it to
    // come back) and the line settings it was opened at.
    SerialPortInfo openPortInfo;
    int openBitRateCode = -1;
    int openFramingCode = -1;
    bool waitingForPort = false;
    bool settingsErrorReported = false;
};

#endif // MAINWINDOW_H
