#include "sensorlink.h"

#include "serialline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <cstring>
#include <modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// libmodbus 3.1 takes timeouts as seconds plus microseconds below a
// million; milliseconds are split into both.
void setTimeouts(modbus_t *context, int responseTimeoutMs, int byteTimeoutMs)
{
    modbus_set_response_timeout(context, uint32_t(responseTimeoutMs / 1000), uint32_t(responseTimeoutMs % 1000) * 1000);
    modbus_set_byte_timeout(context, uint32_t(byteTimeoutMs / 1000), uint32_t(byteTimeoutMs % 1000) * 1000);
}

// Waits up to timeoutMs for a byte on fd; true when one can be read.
bool waitForByte(int fd, int timeoutMs, bool *hangUp = nullptr)
{
    pollfd entry = { fd, POLLIN, 0 };
    int ready;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (hangUp)
        *hangUp = ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL));
    return ready > 0 && (entry.revents & POLLIN);
}

// Reads and forgets what is waiting; false when nothing could be read.
bool discardWaitingBytes(int fd)
{
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    return n > 0;
}

} // namespace

SensorLink::SensorLink() = default;

SensorLink::~SensorLink()
{
    close();
}

bool SensorLink::open(const QString &device, int bitRateCode, int framingCode)
{
    close();
    lastOpenError = 0;
    if (!isValidBitRateCode(bitRateCode) || !isValidFramingCode(framingCode))
        return false;
    // Root passes over the exclusive hold below, so the port is locked as
    // well, before libmodbus sets the line up: a second program of ours run
    // as root (a logger and the window) is refused too, and leaves the line
    // of the one that holds it alone.
    lockDescriptor = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lockDescriptor < 0 || ::flock(lockDescriptor, LOCK_EX | LOCK_NB) != 0) {
        lastOpenError = errno == EWOULDBLOCK ? EBUSY : errno;
        close();
        return false;
    }
    const LineSettings line = lineSettingsForCodes(bitRateCode, framingCode);
    modbus_t *opened = modbus_new_rtu(device.toLocal8Bit().constData(), line.baud, line.parity,
                                      line.dataBits, line.stopBits);
    if (!opened) {
        lastOpenError = errno;
        close();
        return false;
    }
    if (modbus_connect(opened) == -1) {
        lastOpenError = errno;
        modbus_free(opened);
        close();
        return false;
    }
    // Two masters on one bus garble each other's frames: while the line is
    // ours, no other program may open the port.
    ::ioctl(modbus_get_socket(opened), TIOCEXCL);
    context = opened;
    openDevice = device;
    lineBitRateCode = bitRateCode;
    lineFramingCode = framingCode;
    lineUnsure = false;
    lineLost = false;
    return true;
}

void SensorLink::close()
{
    if (lockDescriptor >= 0)
        ::close(lockDescriptor);
    lockDescriptor = -1;
    if (!context)
        return;
    ::ioctl(modbus_get_socket(context), TIOCNXCL);
    modbus_close(context);
    modbus_free(context);
    context = nullptr;
}

TransactionResult SensorLink::readRegisters(int slave, int address, int count, quint16 *words)
{
    return transfer(Function::Read, slave, address, count, words);
}

TransactionResult SensorLink::writeRegisters(int slave, int address, int count, const quint16 *words)
{
    // The write path never changes the words; one attempt routine serves both.
    return transfer(Function::Write, slave, address, count, const_cast<quint16 *>(words));
}

TransactionResult SensorLink::probeRegisters(int slave, int address, int count, quint16 *words,
                                             int responseTimeoutMs)
{
    if (!context)
        return ResultNoContext;
    const TransactionResult result = attempt(Function::Read, slave, address, count, words, responseTimeoutMs,
                                             transferTiming.responseTimeMs);
    // A neighbour's late reply carries its own address and is refused as
    // such; only bytes of a broken frame need to go.
    if (result != ResultOk)
        modbus_flush(context);
    lineUnsure = false;
    return result;
}

TransactionResult SensorLink::transfer(Function function, int slave, int address, int count, quint16 *words)
{
    const CommTiming timing = transferTiming.bounded();
    int responseTimeoutMs = timing.requestTimeMs;
    int byteTimeoutMs = timing.responseTimeMs;
    TransactionResult result = ResultNoContext;
    bool failedBefore = false;
    for (int i = 0; i < timing.maxRetries; ++i) {
        if (cancelRequested) {
            result = ResultNoResponse;
            break;
        }
        if (context && lineUnsure)
            drainLine(qMax(responseTimeoutMs, byteTimeoutMs));
        result = context ? attempt(function, slave, address, count, words, responseTimeoutMs, byteTimeoutMs)
                         : ResultNoContext;
        if (result != ResultNoContext) {
            LinkCounts &counted = slaveCounts[slave];
            ++counted.requests;
            if (result == ResultOk)
                ++counted.answered;
            else if (result == ResultNoResponse)
                ++counted.noAnswer;
            else
                ++counted.badReplies;
        }
        if (result == ResultOk) {
            // The reply of an earlier attempt may have been taken for this
            // one's; this one's own reply may still be on its way.
            if (failedBefore)
                drainLine(qMax(responseTimeoutMs, byteTimeoutMs));
            break;
        }
        failedBefore = true;
        lineUnsure = true;
        if (lineLost)
            break;
        responseTimeoutMs += timing.incrementalTimeMs;
        byteTimeoutMs += timing.incrementalTimeMs;
    }
    return result;
}

TransactionResult SensorLink::attempt(Function function, int slave, int address, int count, quint16 *words,
                                      int responseTimeoutMs, int byteTimeoutMs)
{
    setTimeouts(context, responseTimeoutMs, byteTimeoutMs);
    modbus_set_slave(context, slave);
    if (function == Function::Read)
        std::memset(words, 0, size_t(count) * sizeof(quint16));
    errno = 0;
    const int n = function == Function::Read ? modbus_read_registers(context, address, count, words)
                                             : modbus_write_registers(context, address, count, words);
    const int err = errno;
    if (n < 0) {
        lastRequestError = err;
        checkLineLost();
        return classifyTransfer(n, count, err);
    }
    // A Modbus RTU frame ends with 3.5 characters of silence. A byte within
    // them means the frame taken for the reply was followed by more: a
    // repeated or garbled reply, which must not answer this request.
    if (!lineIsSilent()) {
        lastRequestError = EMBBADDATA;
        return ResultSlaveError;
    }
    return classifyTransfer(n, count, err);
}

int SensorLink::silenceMicroseconds() const
{
    if (!isValidBitRateCode(lineBitRateCode) || !isValidFramingCode(lineFramingCode))
        return 1750;
    const LineSettings line = lineSettingsForCodes(lineBitRateCode, lineFramingCode);
    // Above 19200 bit/s the silence is fixed at 1.75 ms.
    if (line.baud > 19200)
        return 1750;
    const int bitsPerCharacter = 1 + line.dataBits + (line.parity == 'N' ? 0 : 1) + line.stopBits;
    return int((3.5 * bitsPerCharacter * 1000000.0) / line.baud + 0.5);
}

bool SensorLink::lineIsSilent()
{
    const int fd = modbus_get_socket(context);
    // poll() counts in whole milliseconds; round the silence up.
    const int waitMs = (silenceMicroseconds() + 999) / 1000;
    if (!waitForByte(fd, waitMs))
        return true;
    lineUnsure = true;
    return false;
}

void SensorLink::drainLine(int quietMs)
{
    // Waits until the line has stayed quiet for quietMs, throwing away what
    // arrives meanwhile. A line that never stops talking is given up on
    // after a few rounds; the next reply will then fail its checks.
    const int fd = modbus_get_socket(context);
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = 10 * qint64(quietMs) + 100;
    while (!cancelRequested && clock.elapsed() < limitMs) {
        bool hangUp = false;
        if (!waitForByte(fd, quietMs, &hangUp)) {
            if (hangUp)
                lineLost = true;
            break;
        }
        if (!discardWaitingBytes(fd)) {
            checkLineLost();
            break;
        }
    }
    lineUnsure = false;
}

void SensorLink::checkLineLost()
{
    // An unplugged adapter (or a pty whose other end has gone) hangs up the
    // open descriptor; its device node usually disappears as well.
    bool hangUp = false;
    waitForByte(modbus_get_socket(context), 0, &hangUp);
    if (hangUp || !QFileInfo::exists(openDevice))
        lineLost = true;
}
