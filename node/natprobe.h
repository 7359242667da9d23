#pragma once
// The node's seam to NAT type detection: bind the UDP socket over the local
// addresses from port 3300, classify, write line 2 of nat_type.log, and take
// the detection replies that arrive on the socket.
#include <QHostAddress>
#include <QString>
#include <QStringList>

class QUdpSocket;

namespace zv::node {

struct NatOutcome {
    bool bound = false;
    QString localAddress;
    quint16 localPort = 0;
    int natType = 0;
};

class NatProbe {
public:
    virtual ~NatProbe() = default;
    // firstServer is the central server address (UDP port udpPort), secondServer
    // the second detection server (udpPort + 2).
    virtual NatOutcome bindAndClassify(QUdpSocket &socket, const QStringList &addresses, const QString &firstServer,
                                       quint16 udpPort, const QString &secondServer, const QString &natLogPath) = 0;
    // A datagram that arrived on the socket; true when it was a detection reply.
    virtual bool offer(const QByteArray &datagram, const QHostAddress &sender) = 0;
};

} // namespace zv::node
