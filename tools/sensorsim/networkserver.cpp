#include "networkserver.h"

#include "modbuscrc.h"

#include <QDateTime>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr int MbapHeaderSize = 7;     // transaction, protocol, length, unit

void sleepFor(qint64 us)
{
    if (us <= 0)
        return;
    const timespec pause = { time_t(us / 1000000), long(us % 1000000) * 1000 };
    nanosleep(&pause, nullptr);
}
}

NetworkServer::NetworkServer(NetworkLine::Protocol protocol, const QString &host, int port)
    : lineProtocol(protocol), host(host), port(port)
{
}

NetworkServer::~NetworkServer()
{
    if (connection >= 0)
        ::close(connection);
    if (listener >= 0)
        ::close(listener);
}

bool NetworkServer::start(bool refusing, QString *error)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int looked = ::getaddrinfo(host.isEmpty() ? nullptr : host.toUtf8().constData(), service.constData(),
                                     &hints, &found);
    if (looked != 0) {
        *error = QStringLiteral("cannot serve on %1: %2").arg(host, QString::fromLocal8Bit(gai_strerror(looked)));
        return false;
    }
    int err = 0;
    for (addrinfo *entry = found; entry && listener < 0; entry = entry->ai_next) {
        const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        const int yes = 1;
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0
                && ::bind(fd, entry->ai_addr, entry->ai_addrlen) == 0) {
            listener = fd;
            break;
        }
        err = errno;
        if (fd >= 0)
            ::close(fd);
    }
    ::freeaddrinfo(found);
    if (listener < 0) {
        *error = QStringLiteral("cannot serve on %1:%2: %3").arg(host).arg(port)
                .arg(QString::fromLocal8Bit(std::strerror(err)));
        return false;
    }
    sockaddr_storage bound = {};
    socklen_t length = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&bound), &length);
    port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    if (refusing)
        return true;
    if (::listen(listener, 4) != 0) {
        *error = QStringLiteral("cannot listen on port %1: %2").arg(port).arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    listening = true;
    return true;
}

QString NetworkServer::url() const
{
    NetworkLine line;
    line.protocol = lineProtocol;
    line.host = host.isEmpty() ? QStringLiteral("127.0.0.1") : host;
    line.port = port;
    return line.url();
}

void NetworkServer::acceptConnection()
{
    const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted < 0)
        return;
    if (connection >= 0) {
        // The connection held may have been closed by a master that is
        // back already; a live one keeps its place.
        pollfd held = { connection, POLLRDHUP, 0 };
        if (::poll(&held, 1, 0) <= 0 || !(held.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            ::close(accepted);
            return;
        }
        ::close(connection);
    }
    const int yes = 1;
    ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    connection = accepted;
    frames = RtuFrameAssembler();
    pending.clear();
}

void NetworkServer::dropConnection()
{
    if (connection >= 0)
        ::close(connection);
    connection = -1;
}

void NetworkServer::stopListening(qint64 nowUs, qint64 downMs)
{
    if (downMs <= 0 || listener < 0)
        return;
    // Listening stops: connections are refused until the gateway is back.
    // The port stays bound, so it comes back at the same one.
    const int fresh = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage bound = {};
    socklen_t length = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&bound), &length);
    ::close(listener);
    listener = -1;
    listening = false;
    if (fresh >= 0) {
        const int yes = 1;
        ::setsockopt(fresh, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fresh, reinterpret_cast<sockaddr *>(&bound), length) == 0)
            listener = fresh;
        else
            ::close(fresh);
    }
    downUntilUs = nowUs + downMs * 1000;
}

void NetworkServer::comeBackUp()
{
    downUntilUs = -1;
    if (listener >= 0 && ::listen(listener, 4) == 0)
        listening = true;
}

bool NetworkServer::readAvailable(qint64 nowUs)
{
    char buffer[512];
    const ssize_t n = ::read(connection, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0) {
        ::close(connection);
        connection = -1;
        return false;
    }
    if (lineProtocol == NetworkLine::Protocol::RtuOverTcp)
        frames.addBytes(QByteArray(buffer, int(n)), nowUs);
    else
        pending.append(buffer, int(n));
    return true;
}

bool NetworkServer::takeRequest(Request *request, qint64 nowUs)
{
    if (lineProtocol == NetworkLine::Protocol::RtuOverTcp) {
        request->transaction = 0;
        return frames.takeFrame(&request->rtuFrame, nowUs);
    }
    if (pending.size() < MbapHeaderSize)
        return false;
    const auto byteAt = [this](int i) { return int(quint8(pending.at(i))); };
    const int length = (byteAt(4) << 8) | byteAt(5);    // unit id and PDU
    if (pending.size() < 6 + length)
        return false;
    request->transaction = quint16((byteAt(0) << 8) | byteAt(1));
    request->rtuFrame = pending.mid(6, length);
    appendCrc(&request->rtuFrame);
    pending.remove(0, 6 + length);
    return true;
}

bool NetworkServer::writeAll(const char *data, int size)
{
    while (size > 0 && connection >= 0) {
        const ssize_t n = ::send(connection, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= int(n);
    }
    return size == 0;
}

bool NetworkServer::sendReply(const QByteArray &rtuReply, quint16 transaction, qint64 byteTimeUs, qint64 gapUs)
{
    if (connection < 0)
        return false;
    if (lineProtocol == NetworkLine::Protocol::RtuOverTcp) {
        if (gapUs <= 0) {
            sleepFor(byteTimeUs * rtuReply.size());
            return writeAll(rtuReply.constData(), rtuReply.size());
        }
        for (int i = 0; i < rtuReply.size(); ++i) {
            sleepFor(byteTimeUs + (i > 0 ? gapUs : 0));
            if (!writeAll(rtuReply.constData() + i, 1))
                return false;
        }
        return true;
    }
    // The gateway takes the whole reply off the line before it answers,
    // and checks it: a reply that fails its check is one it never got.
    sleepFor(byteTimeUs * rtuReply.size() + gapUs);
    if (rtuReply.size() < 4 || !hasValidCrc(rtuReply))
        return sendGatewayException(rtuReply, transaction, 11);
    const QByteArray body = rtuReply.left(rtuReply.size() - 2);
    QByteArray reply;
    reply.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    reply.append(char(body.size() >> 8)).append(char(body.size() & 0xFF)).append(body);
    return writeAll(reply.constData(), reply.size());
}

bool NetworkServer::sendGatewayException(const QByteArray &rtuRequest, quint16 transaction, int code)
{
    if (connection < 0 || rtuRequest.size() < 2)
        return false;
    QByteArray reply;
    reply.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    reply.append('\0').append(char(3)).append(rtuRequest.at(0)).append(char(quint8(rtuRequest.at(1)) | 0x80))
            .append(char(code));
    return writeAll(reply.constData(), reply.size());
}
