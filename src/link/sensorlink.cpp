#include "sensorlink.h"

#include "serialline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <modbus.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
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
    // POLLRDHUP: a gateway that closed the connection.
    pollfd entry = { fd, POLLIN | POLLRDHUP, 0 };
    int ready;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (hangUp)
        *hangUp = ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL | POLLRDHUP));
    return ready > 0 && (entry.revents & POLLIN);
}

// Reads and forgets what is waiting; false when nothing could be read.
bool discardWaitingBytes(int fd)
{
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    return n > 0;
}

// The network lines open in this process: one connection to a line at most.
QMutex openLinesMutex;
QSet<QString> openLines;

bool claimLine(const QString &url)
{
    QMutexLocker locker(&openLinesMutex);
    if (openLines.contains(url))
        return false;
    openLines.insert(url);
    return true;
}

void releaseLine(const QString &url)
{
    QMutexLocker locker(&openLinesMutex);
    openLines.remove(url);
}

// A gateway that vanished without closing the connection (power cut, cable
// pulled) is found dead by keepalive within 10 + 3 x 5 s while idle, and
// unacknowledged data gives up after 25 s: a request then fails and the
// line counts as lost, to be connected again.
void keepConnectionWatched(int fd)
{
    const int yes = 1;
    const int idleS = 10;
    const int intervalS = 5;
    const int probes = 3;
    const unsigned userTimeoutMs = 25000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &yes, sizeof yes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

// Connects to host:port within timeoutMs; the connected socket (blocking),
// or -1 with errno set.
int connectTcp(const QString &host, int port, int timeoutMs)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int looked = ::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found);
    if (looked != 0) {
        errno = looked == EAI_SYSTEM ? errno : EHOSTUNREACH;
        return -1;
    }
    int err = ECONNREFUSED;
    int connected = -1;
    for (addrinfo *entry = found; entry && connected < 0; entry = entry->ai_next) {
        const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol);
        if (fd < 0) {
            err = errno;
            continue;
        }
        int rc = ::connect(fd, entry->ai_addr, entry->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd entryPoll = { fd, POLLOUT, 0 };
            do {
                rc = ::poll(&entryPoll, 1, timeoutMs);
            } while (rc < 0 && errno == EINTR);
            int soError = 0;
            socklen_t length = sizeof soError;
            if (rc == 0) {
                errno = ETIMEDOUT;
                rc = -1;
            } else if (rc > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError != 0) {
                errno = soError;
                rc = -1;
            } else if (rc > 0) {
                rc = 0;
            }
        }
        if (rc != 0) {
            err = errno;
            ::close(fd);
            continue;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        keepConnectionWatched(fd);
        connected = fd;
    }
    ::freeaddrinfo(found);
    if (connected < 0)
        errno = err;
    return connected;
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
    lineBitRateCode = bitRateCode;
    lineFramingCode = framingCode;
    NetworkLine network;
    if (NetworkLine::parse(device, &network))
        return openNetwork(device, network);
    if (NetworkLine::looksLikeUrl(device)) {
        lastOpenError = EINVAL;
        return false;
    }
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
    transport = Transport::Serial;
    openDevice = device;
    lineUnsure = false;
    lineLost = false;
    return true;
}

bool SensorLink::openNetwork(const QString &url, const NetworkLine &line)
{
    if (!claimLine(line.url())) {
        lastOpenError = EBUSY;
        return false;
    }
    const int fd = connectTcp(line.host, line.port, ConnectTimeoutMs);
    if (fd < 0) {
        lastOpenError = errno;
        releaseLine(line.url());
        return false;
    }
    // Either context works on the connected socket handed to it: Modbus TCP
    // frames each request with its MBAP header; an RTU context writes the
    // RTU frame, CRC included, to the stream as it would to a serial port.
    const LineSettings serial = lineSettingsForCodes(lineBitRateCode, lineFramingCode);
    modbus_t *opened = line.protocol == NetworkLine::Protocol::ModbusTcp
            ? modbus_new_tcp(nullptr, line.port)
            : modbus_new_rtu(line.url().toUtf8().constData(), serial.baud, serial.parity, serial.dataBits,
                             serial.stopBits);
    if (!opened || modbus_set_socket(opened, fd) != 0) {
        lastOpenError = errno;
        if (opened)
            modbus_free(opened);
        ::close(fd);
        releaseLine(line.url());
        return false;
    }
    context = opened;
    transport = line.protocol == NetworkLine::Protocol::ModbusTcp ? Transport::ModbusTcp : Transport::RtuOverTcp;
    openDevice = url;
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
    if (transport == Transport::Serial) {
        ::ioctl(modbus_get_socket(context), TIOCNXCL);
        modbus_close(context);
    } else {
        // The socket is ours: libmodbus would set a terminal's attributes
        // on it on closing an RTU context.
        ::close(modbus_get_socket(context));
        modbus_set_socket(context, -1);
        NetworkLine line;
        if (NetworkLine::parse(openDevice, &line))
            releaseLine(line.url());
    }
    modbus_free(context);
    context = nullptr;
    transport = Transport::Serial;
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
    if (result != ResultOk) {
        if (transport == Transport::Serial)
            modbus_flush(context);
        else    // a socket cannot be flushed: what is waiting is read away
            while (waitForByte(modbus_get_socket(context), 0) && discardWaitingBytes(modbus_get_socket(context))) {}
    }
    lineUnsure = false;
    return result;
}

TransactionResult SensorLink::transfer(Function function, int slave, int address, int count, quint16 *words)
{
    const CommTiming timing = transferTiming.forLine(transport != Transport::Serial).bounded();
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
    if (transport == Transport::RtuOverTcp) {
        // libmodbus writes an RTU frame with write(), which raises SIGPIPE on
        // a connection the gateway closed; blocked, it leaves EPIPE instead.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    }
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
    // repeated or garbled reply, which must not answer this request. Modbus
    // TCP frames carry their length and transaction id instead.
    if (transport != Transport::ModbusTcp && !lineIsSilent()) {
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
    bool hangUp = false;
    if (!waitForByte(fd, waitMs, &hangUp))
        return true;
    // A gateway that closed the connection right after a whole reply: the
    // reply stands, and the next request finds the line lost.
    int waiting = 0;
    if (hangUp && transport != Transport::Serial && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting == 0)
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
    // open descriptor; its device node usually disappears as well. A
    // connection the gateway closed or reset, or that keepalive gave up on,
    // hangs up the socket.
    bool hangUp = false;
    waitForByte(modbus_get_socket(context), 0, &hangUp);
    if (hangUp || (transport == Transport::Serial && !QFileInfo::exists(openDevice))
            || (transport != Transport::Serial
                && (lastRequestError == ECONNRESET || lastRequestError == EPIPE || lastRequestError == ENOTCONN
                    || lastRequestError == ECONNABORTED)))
        lineLost = true;
}
