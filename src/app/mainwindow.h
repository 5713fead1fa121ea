#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "ports/serialportinfo.h"

#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QVector>
#include <QString>

#include <memory>

class LineConnection;
class LineSession;
class LinkThread;
class LivePlots;
class ParameterForm;
class PortList;
class ProfileFlows;
class SensorFormBinding;
class SensorTableModel;
class SerialPortEnumerator;
class SettingsStore;
class StatusDisplay;
class TimedReading;
struct FoundSensor;
struct LineSensor;
struct TransferFailure;
namespace Ui { class MainWindowClass; }

// The program's one window. It builds the form, wires the user's actions
// to the operations and shows their outcomes: message boxes and the status
// display. The work itself is done by the classes it wires: the line
// session (where the sensor is and what is known of it), the connection
// that opens the line and keeps it through an unplugged adapter, the link
// on its own thread, the operations and the timed reading.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // preferredPort, from the command line, is preselected when present:
    // a port's name as the list shows it, or its device.
    explicit MainWindow(const QString &preferredPort = QString(), QWidget *parent = nullptr);
    ~MainWindow() override;

    const LineSession &lineSession() const { return *session; }
    ProfileFlows &profileFlows() { return *profiles; }
    // An operation the user started is under way.
    bool isBusy() const;
    bool isTimedReadingActive() const;
    QString currentLogFileName() const;

    // Opens a project file: its line and sensors; false, with a box that
    // says why, when the file is refused.
    bool openProject(const QString &fileName);
    bool saveProject(const QString &fileName);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

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
    void openProjectSlot();
    void saveProjectSlot();
    void addSensorSlot();
    void removeSensorSlot();
    void sensorSelected(const QModelIndex &current);
    void updateSensorActions();

private:
    void placeWindow();
    void applyTimingOptions();
    int rebuildPortList();
    void connectSignals();
    void followConnection();
    void addFoundSensors(const SerialPortInfo &port, const QList<FoundSensor> &found);
    QVector<quint32> polledFirmwares() const;
    // How the status bar and the boxes name a sensor of the line.
    QString sensorName(int sensorId) const;
    // Whether a second sensor known by the same serial number is to be kept.
    bool keepSameSerial(const LineSensor &added, const QVector<int> &others);
    bool timedReadingReady() const;

    void openPort(const SerialPortInfo &port);
    void setOpenedState();
    void setClosedState();
    void setCommandButtonsEnabled(bool enabled);
    void setAcquisitionControlsEnabled(bool enabled);

    // An operation the user starts runs alone; the cursor shows it.
    bool beginOperation();
    void endOperation();
    void refreshSensorCounts();
    void sendCommand(int id, int statusResetMs);

    void reportTransferFailure(const TransferFailure &failure, const QString &detail = QString());
    void addNetworkLine();
    // Write all of a new bit rate or framing through a gateway.
    bool confirmLineChangeBehindGateway();
    void warnUnmanagedWidget(int id);

    Ui::MainWindowClass *ui = nullptr;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<ParameterForm> form;
    std::unique_ptr<LivePlots> plots;
    std::unique_ptr<PortList> portList;
    LineSession *session = nullptr;
    SensorFormBinding *binding = nullptr;
    SensorTableModel *sensorModel = nullptr;
    ProfileFlows *profiles = nullptr;
    StatusDisplay *status = nullptr;
    LinkThread *link = nullptr;
    LineConnection *connection = nullptr;
    TimedReading *reading = nullptr;
    SerialPortEnumerator *portEnumerator = nullptr;

    QString preferredPort;
    bool operationRunning = false;
    // A sensor picked in the search is read as soon as its port is open.
    bool pendingReadAll = false;
    bool wasWaitingForPort = false;
    int chosenPeriodMs = -1;
};

#endif // MAINWINDOW_H
