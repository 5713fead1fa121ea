#ifndef NETWORKSERVER_H
#define NETWORKSERVER_H

#include "rtuframeassembler.h"
#include "link/networkline.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The simulated Ethernet gateway: a TCP port that takes one connection at a
// time (a second one is closed at once, as a gateway with no free slot
// does) and carries requests to the simulated line and replies back, either
// as Modbus TCP (the MBAP header in place of the address and CRC) or as the
// RTU frames themselves.
class NetworkServer
{
public:
    // One request taken from the connection, made into the RTU frame the
    // gateway puts on the line; transaction is the MBAP transaction id.
    struct Request
    {
        QByteArray rtuFrame;
        quint16 transaction = 0;
    };

    NetworkServer(NetworkLine::Protocol protocol, const QString &host, int port);
    ~NetworkServer();
    NetworkServer(const NetworkServer &) = delete;
    NetworkServer &operator=(const NetworkServer &) = delete;

    // Binds the port (0: one the system picks) and, unless refusing,
    // listens on it. A refusing gateway keeps the port bound but never
    // listens, so a connection to it is refused.
    bool start(bool refusing, QString *error);
    NetworkLine::Protocol protocol() const { return lineProtocol; }
    // The URL the program opens, with the port actually bound.
    QString url() const;

    // Accepts no connection for downMs, as a gateway that reboots.
    void stopListening(qint64 nowUs, qint64 downMs);
    // Closes the connection under way.
    void dropConnection();
    // When listening stops for a reboot: the time it comes back, or -1.
    qint64 backUpUs() const { return downUntilUs; }
    void comeBackUp();

    // The descriptors to poll: the listening socket while listening, the
    // connection while there is one (-1 otherwise).
    int listenDescriptor() const { return listening ? listener : -1; }
    int connectionDescriptor() const { return connection; }
    void acceptConnection();
    // Reads what the connection has; false when it was closed by the peer.
    bool readAvailable(qint64 nowUs);
    qint64 silenceDeadlineUs() const { return frames.silenceDeadlineUs(); }
    bool takeRequest(Request *request, qint64 nowUs);

    // Sends the RTU reply of a request: as it is over RTU over TCP, made
    // into a Modbus TCP reply otherwise. byteTimeUs and gapUs as for the
    // pseudo-terminal. False when it could not go out.
    bool sendReply(const QByteArray &rtuReply, quint16 transaction, qint64 byteTimeUs, qint64 gapUs);
    // A gateway's own exception reply to a Modbus TCP request.
    bool sendGatewayException(const QByteArray &rtuRequest, quint16 transaction, int code);

private:
    bool writeAll(const char *data, int size);

    NetworkLine::Protocol lineProtocol;
    QString host;
    int port;
    int listener = -1;
    bool listening = false;
    qint64 downUntilUs = -1;
    int connection = -1;
    RtuFrameAssembler frames;     // RTU over TCP
    QByteArray pending;           // Modbus TCP
};

#endif // NETWORKSERVER_H
