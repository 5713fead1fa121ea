#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

#include <QProcess>
#include <QTemporaryDir>

// A mosquitto broker for a test, on a free loopback port chosen at
// construction and kept across stop() and start(). Its store lives in a
// private folder and is saved when it stops, so that persistent sessions
// and retained messages survive a restart, as on a plant's broker.
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Starts it and waits until it accepts connections.
    bool start();
    // Ends it as a service manager would (SIGTERM) and waits until it has.
    void stop();
    // Freezes it (SIGSTOP): connections stay open, nothing is acknowledged.
    void freeze();
    // Kills it at once (SIGKILL), without saving its store.
    void crash();

    quint16 port() const { return listenPort; }

private:
    QTemporaryDir directory;
    QProcess process;
    quint16 listenPort = 0;
};

#endif // MOSQUITTOBROKER_H
