#pragma once
// The server's UDP side: NAT detection on four sockets (A:U, A:U+1, B:U+1,
// B:U+2), the nodes' endpoint registration and keep-alive, and hole-punch
// requests passed on to nodes.
#include "server/serverstate.h"

#include <QObject>
#include <QUdpSocket>
#include <array>

namespace zv::server {

class UdpService : public QObject {
    Q_OBJECT
public:
    enum Socket { MainA = 0, AltPortA = 1, AltAddrB = 2, SecondB = 3 };

    UdpService(ServerState &state, QObject *parent = nullptr);
    bool bind();

    // The socket that answers a request received on socket `on`: the same one,
    // another address and port, or the same address and another port.
    static Socket changedAddressAndPort(Socket on);
    static Socket changedPort(Socket on);

private:
    void onReadable(Socket which);
    void handle(Socket which, const QByteArray &data, const QHostAddress &from, quint16 port);
    void registerEndpoint(Socket which, const QList<QByteArray> &lines, const QHostAddress &from, quint16 port);
    void forwardPunch(const QString &target, const QHostAddress &from, quint16 port);
    void reply(Socket via, const QByteArray &data, const QHostAddress &to, quint16 port);

    ServerState &state_;
    std::array<QUdpSocket, 4> sockets_;
};

} // namespace zv::server
