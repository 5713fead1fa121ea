#ifndef SENSORLINK_H
#define SENSORLINK_H

#include "commtiming.h"
#include "linkcounts.h"
#include "networkline.h"
#include "transactionresult.h"

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <atomic>

struct _modbus;

// The Modbus line to the sensors: the serial device, its bit rate and
// framing (or the network line of a gateway, see NetworkLine), the timing
// of every transfer and the retry loop. It is the only
// place that talks to libmodbus. It has no widgets and no event loop of its
// own, so a test or a command-line tool can open a port and read a register
// with it; the program runs it on a thread of its own (LinkThread), as
// every call blocks for as long as the line takes.
//
// A request that went wrong leaves the line unsure: a late or repeated
// reply may still be under way. Before the next request the link lets the
// line drain for a response timeout and throws away what arrived, so such a
// reply never becomes the answer to another request.
class SensorLink
{
public:
    SensorLink();
    ~SensorLink();
    SensorLink(const SensorLink &) = delete;
    SensorLink &operator=(const SensorLink &) = delete;

    // Opens the device at the line of the two codes (those of the sensor's
    // BitRate and SerialConf registers), closing any line open before. The
    // port is held for exclusive use while open (locked, too, against
    // another program of ours run as root). False when the codes are
    // unknown or the device cannot be opened; openError() then tells why.
    //
    // A device that is a network line URL is reached over TCP instead: one
    // connection to the gateway, made with the connect timeout, and never a
    // second one from this process to the same line (EBUSY). Modbus TCP
    // keeps no silence after a reply; RTU over TCP keeps the serial line's,
    // the gateway's serial side being at the two codes. A connection that
    // breaks (or that TCP keepalive finds dead) is a lost line, like an
    // unplugged adapter.
    bool open(const QString &device, int bitRateCode, int framingCode);
    void close();
    bool isOpen() const { return context != nullptr; }
    bool isNetworkLine() const { return isOpen() && transport != Transport::Serial; }

    // How long opening a network line waits for the gateway to take the
    // connection.
    static constexpr int ConnectTimeoutMs = 3000;

    QString device() const { return openDevice; }
    int bitRateCode() const { return lineBitRateCode; }
    int framingCode() const { return lineFramingCode; }
    // errno of the last failed open; 0 for codes that name no line.
    int openError() const { return lastOpenError; }

    void setTiming(const CommTiming &timing) { transferTiming = timing; }
    const CommTiming &timing() const { return transferTiming; }

    // Function 3 and function 16 with the retries of timing(): up to
    // maxRetries attempts, both timeouts grown by the increment after each
    // failed one. Returns the last attempt's result.
    TransactionResult readRegisters(int slave, int address, int count, quint16 *words);
    TransactionResult writeRegisters(int slave, int address, int count, const quint16 *words);

    // One function 3 attempt with the given response timeout and no retry,
    // for searching the bus. A failed probe does not drain the line: the
    // reply of another address is told apart by its slave address.
    TransactionResult probeRegisters(int slave, int address, int count, quint16 *words, int responseTimeoutMs);

    // The attempts made to slave since the port was opened.
    LinkCounts counts(int slave) const { return slaveCounts.value(slave); }
    // Called when the user opens the port; a re-opening after a change of
    // the line or an unplugged adapter keeps counting.
    void resetCounts() { slaveCounts.clear(); }

    // errno of the last failed request, for the message that reports it.
    int lastError() const { return lastRequestError; }

    // True once a request has found the device gone (an unplugged adapter,
    // a connection to a gateway that broke):
    // every later request would fail too, until the line is opened again.
    bool isLineLost() const { return lineLost; }

    // Asks a transfer under way on another thread to give up after its
    // current attempt, and every later one to give up at once (they return
    // ResultNoResponse), until resetCancel(); safe to call from any thread.
    void cancel() { cancelRequested = true; }
    void resetCancel() { cancelRequested = false; }
    bool isCancelled() const { return cancelRequested; }

private:
    enum class Function { Read, Write };
    enum class Transport { Serial, ModbusTcp, RtuOverTcp };
    bool openNetwork(const QString &url, const NetworkLine &line);
    TransactionResult attempt(Function function, int slave, int address, int count, quint16 *words,
                              int responseTimeoutMs, int byteTimeoutMs);
    TransactionResult transfer(Function function, int slave, int address, int count, quint16 *words);
    int silenceMicroseconds() const;
    bool lineIsSilent();
    void drainLine(int quietMs);
    void checkLineLost();

    _modbus *context = nullptr;
    int lockDescriptor = -1;    // holds the port's lock while open
    Transport transport = Transport::Serial;
    QString openDevice;
    int lineBitRateCode = -1;
    int lineFramingCode = -1;
    int lastOpenError = 0;
    int lastRequestError = 0;
    CommTiming transferTiming;
    QHash<int, LinkCounts> slaveCounts;
    // Set after a failed attempt: the next request first drains the line.
    bool lineUnsure = false;
    bool lineLost = false;
    std::atomic<bool> cancelRequested { false };
};

#endif // SENSORLINK_H
