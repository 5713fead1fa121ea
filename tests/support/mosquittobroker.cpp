#include "mosquittobroker.h"

#include <QFile>
#include <QTest>
#include <arpa/inet.h>
#include <csignal>
#include <unistd.h>

namespace {
// Binds a loopback port (0: the system picks one) or connects to it; the
// port, or 0 on failure. Plain sockets: Qt's network module is not linked.
quint16 loopbackSocket(quint16 port, bool connectToIt)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = { AF_INET, htons(port), { htonl(INADDR_LOOPBACK) }, {} };
    socklen_t length = sizeof address;
    auto *generic = reinterpret_cast<sockaddr *>(&address);
    const bool done = connectToIt ? ::connect(fd, generic, length) == 0
                                  : bind(fd, generic, length) == 0 && getsockname(fd, generic, &length) == 0;
    close(fd);
    return done ? ntohs(address.sin_port) : 0;
}
}

MosquittoBroker::MosquittoBroker()
    : listenPort(loopbackSocket(0, false))
{
    // "user root": run as root, mosquitto would switch to a user that
    // cannot write the store; the line means nothing to other users.
    QFile config(directory.filePath(QStringLiteral("mosquitto.conf")));
    if (config.open(QIODevice::WriteOnly)) {
        config.write(QStringLiteral("listener %0 127.0.0.1\nallow_anonymous true\nlog_type error\npersistence true\n"
                                    "persistence_location %1/\nuser root\n").arg(listenPort).arg(directory.path()).toLocal8Bit());
    }
    process.setProcessChannelMode(QProcess::ForwardedChannels);
}

bool MosquittoBroker::start()
{
    process.start(QStringLiteral("/usr/sbin/mosquitto"), { QStringLiteral("-c"), directory.filePath(QStringLiteral("mosquitto.conf")) });
    return process.waitForStarted() && QTest::qWaitFor([this] {
        return process.state() == QProcess::Running && loopbackSocket(listenPort, true) != 0;
    }, 5000);
}

void MosquittoBroker::stop()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        crash();
}

void MosquittoBroker::freeze()
{
    ::kill(pid_t(process.processId()), SIGSTOP);
}

void MosquittoBroker::crash()
{
    process.kill();
    process.waitForFinished();
}
