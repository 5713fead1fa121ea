#include "mosquittobroker.h"

#include <QFile>
#include <QTest>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Binds port (0: one the system picks) on the loopback address, or
// connects to it; the port, or 0 on failure. Qt's network module is not
// part of the build, hence the plain sockets.
quint16 loopbackSocket(quint16 port, bool connectToIt)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto *generic = reinterpret_cast<sockaddr *>(&address);
    const bool done = connectToIt ? ::connect(fd, generic, length) == 0
                                  : bind(fd, generic, length) == 0 && getsockname(fd, generic, &length) == 0;
    close(fd);
    return done ? ntohs(address.sin_port) : 0;
}
}

MosquittoBroker::MosquittoBroker()
{
    listenPort = loopbackSocket(0, false);

    // Run as root, mosquitto would otherwise switch to a user that cannot
    // write the store.
    const passwd *user = getpwuid(geteuid());
    QFile config(directory.filePath(QStringLiteral("mosquitto.conf")));
    if (config.open(QIODevice::WriteOnly)) {
        config.write(QStringLiteral("listener %0 127.0.0.1\nallow_anonymous true\n"
                                    "persistence true\npersistence_location %1/\nuser %2\n")
                     .arg(listenPort).arg(directory.path(), QString::fromLocal8Bit(user ? user->pw_name : "root"))
                     .toLocal8Bit());
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(directory.filePath(QStringLiteral("mosquitto.log")), QIODevice::Append);
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start()
{
    process.start(QStringLiteral("/usr/sbin/mosquitto"), { QStringLiteral("-c"), directory.filePath(QStringLiteral("mosquitto.conf")) });
    const bool ready = process.waitForStarted() && QTest::qWaitFor([this] {
        return process.state() == QProcess::Running && loopbackSocket(listenPort, true) != 0;
    }, 5000);
    if (!ready) {
        QFile log(directory.filePath(QStringLiteral("mosquitto.log")));
        log.open(QIODevice::ReadOnly);
        qWarning("mosquitto did not start: %s", log.readAll().constData());
    }
    return ready;
}

void MosquittoBroker::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
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
