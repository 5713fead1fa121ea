#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "qextportinfo.h"
#include "link/transactionresult.h"

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QVariant>
#include <array>

#include <modbus.h>

class QextSerialEnumerator;
class QLabel;
class LiveCurve;
namespace Ui { class MainWindowClass; }

// The program's one window and its controller. Its operations are spread
// over the folders of the subsystems that own them: app (construction,
// status display, settings, port list), device (widget binding), link
// (connection), ops (read all, write all, commands) and acq (timed
// reading, plots, log).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    quint32 firmware() const { return firmwareVersion; }
    bool isConnectionOpen() const { return modbusContext != nullptr; }
    bool isTimedReadingActive() const { return readingTimer.isActive(); }
    QString currentLogFileName() const { return logFileName; }

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void optionsSlot();
    void aboutSlot();
    void onDeviceDiscoveredSlot(const QextPortInfo &portInfo);
    void onDeviceRemovedSlot(const QextPortInfo &portInfo);
    void openCloseSlot(bool open);
    void totalResetStatus();
    void partialResetStatus();
    void updateOpenCloseButtonStatus();
    void readAllSlot();
    void writeAllSlot();
    void saveSlot();
    void resetParamsSlot();
    void timedReading(bool start);
    void updateTimingReading();

private:
    // Status display (app).
    enum class StatusColour { Idle, Good, Bad };
    void setStatusIndicator(StatusColour colour);
    void scheduleTotalReset(int delayMs);
    void schedulePartialReset(int delayMs);
    void setCommandButtonsEnabled(bool enabled);
    void setAcquisitionControlsEnabled(bool enabled);

    // Settings and ports (app).
    void loadSettings();
    void saveSettings();
    int populatePortList();

    // Widget binding (device).
    void buildParameterWidgets();
    TransactionResult readParameter(int id, QVariant &output);
    void clearParameterWidgets();
    void resetParameterColours();
    enum class Transfer { Read, Write };
    void warnUnmanagedWidget(int id, Transfer transfer);

    // Connection (link).
    void setOpenedState();
    void closeModbusContext();
    bool openModbusContext(const QextPortInfo &port, int bitRateCode, int framingCode);

    // Parameter operations (ops).
    TransactionResult writeParameter(int id);
    bool reconnectSerialLine(int bitRateIndex, int framingIndex);
    void sendCommand(int id, int delay);
    QStringList parametersWithoutValue(const QList<int> &ids) const;
    void storeSensorLine();

    // Live acquisition (acq).
    void applyTimingOptions();
    void readCurrentValues();
    void setUpPlots();
    bool startTimedReading();

    modbus_t *modbusContext = nullptr;
    // Friendly name of the port the connection was opened on.
    QString connectedPortName;
    QHash<int, QWidget *> parameterWidgets;
    QBasicTimer readingTimer;
    QWidget *statusIndicator = nullptr;
    QLabel *statusLabel = nullptr;
    QextSerialEnumerator *portEnumerator = nullptr;
    quint32 firmwareVersion = 0;
    QElapsedTimer elapsedClock;
    // The curves hold the samples of the run; a stop only marks them to be
    // emptied, so that they keep showing the last run until the next one
    // brings its first sample.
    bool samplesPendingClear = false;
    QString logFileName;
    LiveCurve *irradianceCurve = nullptr;
    LiveCurve *temperatureCurve = nullptr;
    LiveCurve *speedCurve = nullptr;
    // A tick's message box runs a nested event loop; no further tick may
    // start inside it.
    bool tickInProgress = false;
    Ui::MainWindowClass *ui = nullptr;
};

#endif // MAINWINDOW_H
