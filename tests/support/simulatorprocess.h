#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// One frame the simulator received, as its request log tells it. Fields the
// frame did not carry (address and count of an unknown function) are -1.
struct SimRequest
{
    qint64 timeUs = 0;          // CLOCK_MONOTONIC at arrival, microseconds
    int slave = -1;
    int function = -1;
    int address = -1;
    int count = -1;
    QVector<quint16> values;    // written values (function 16)
    int baud = 0;               // line settings the master had set
    int stopBits = 1;
    bool odd = false;
    bool answered = false;
    QString reason;             // "-", "wrong-slave", "line-mismatch", "exception-2", ...
};

// The three kinds of line a sensor is reached on: the simulator's
// pseudo-terminal, or one of its gateways on a loopback port.
enum class LineKind { Serial, ModbusTcp, RtuOverTcp };

// Adds a "kind" column of LineKind and one row per kind, for a test run on
// every kind of line.
void addLineKindRows();
Q_DECLARE_METATYPE(LineKind)

// Runs the sensor simulator (kelvane-sim) for a test. The port link lands in
// the virtual port directory under the test's XDG_RUNTIME_DIR, which the
// simulator inherits, and every request goes to a private log that
// requests() reads back.
class SimulatorProcess
{
public:
    // Without a name each instance gets its own.
    explicit SimulatorProcess(const QStringList &extraArgs = {}, const QString &name = QString());
    // Serves the line of kind: on the pseudo-terminal, or on a gateway
    // alone (on a port the system picks).
    SimulatorProcess(LineKind kind, const QStringList &extraArgs);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it and waits for its "ready" line; false (with a warning) when
    // it does not come up in time.
    bool start(int timeoutMs = 5000);

    QString name() const { return portName; }
    QString linkPath() const;           // the announced symbolic link
    // What the program opens: the link, or the gateway's URL.
    QString line() const { return servedUrls.isEmpty() ? linkPath() : servedUrls.first(); }
    // The URLs of its gateways, in the order of its arguments.
    QStringList servedLines() const { return servedUrls; }

    QList<SimRequest> requests() const; // everything logged since start or clearRequests()
    void clearRequests();

    // Makes the port disappear like an unplugged adapter (SIGUSR1) and waits
    // until the link is gone and the process has ended.
    void vanish();
    void stop();

    bool isRunning() const;
    // Waits for the process to end by itself; its exit code, or -1.
    int waitForExit(int timeoutMs = 5000);

    // Parses one line of the request log; false for a line that is not one.
    static bool parseLogLine(const QString &line, SimRequest *request);

private:
    QString logPath() const { return logDirectory.filePath(QStringLiteral("requests.log")); }

    QStringList arguments;
    QString portName;
    QString announcedLink;
    QStringList servedUrls;
    QTemporaryDir logDirectory;
    QProcess process;
    qint64 logOffset = 0;
};

#endif // SIMULATORPROCESS_H
