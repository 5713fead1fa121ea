#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

#include <QProcess>
#include <QTemporaryDir>

// A mosquitto broker on a free loopback port, kept across restarts. Its
// store is saved when it stops, so persistent sessions and retained
// messages survive a restart, as on a plant's broker.
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker() { stop(); }

    bool start();       // waits until it accepts connections
    void stop();        // SIGTERM, as a service manager would
    void freeze();      // SIGSTOP: connections stay open, nothing is acknowledged
    void crash();       // SIGKILL, without saving its store
    quint16 port() const { return listenPort; }
private:
    QTemporaryDir directory;
    QProcess process;
    quint16 listenPort = 0;
};

#endif // MOSQUITTOBROKER_H
