#ifndef NETWORKLINE_H
#define NETWORKLINE_H

#include <QString>

// A sensor line reached through an Ethernet gateway, written as a URL:
//   tcp://HOST[:PORT]      Modbus TCP (port 502 by default); the unit id of
//                          each request is the sensor's address
//   rtu+tcp://HOST:PORT    the RTU frames themselves, CRC included, over a
//                          TCP stream ("RTU over TCP")
// A serial device is anything else. An IPv6 address goes in brackets:
// tcp://[::1]:1502.
struct NetworkLine
{
    enum class Protocol { ModbusTcp, RtuOverTcp };

    Protocol protocol = Protocol::ModbusTcp;
    QString host;
    int port = DefaultModbusTcpPort;

    static constexpr int DefaultModbusTcpPort = 502;

    // False, leaving line alone, when text is no network line URL (a serial
    // device) or a malformed one.
    static bool parse(const QString &text, NetworkLine *line);
    // True when text starts like a network line URL, well formed or not.
    static bool looksLikeUrl(const QString &text);

    QString url() const;
    // HOST:PORT, as messages name the gateway.
    QString endpoint() const;
    bool operator==(const NetworkLine &other) const
    {
        return protocol == other.protocol && host == other.host && port == other.port;
    }
};

#endif // NETWORKLINE_H
