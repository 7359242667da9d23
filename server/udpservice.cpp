#include "server/udpservice.h"

#include "server/controlserver.h"
#include "server/serverlog.h"

#include <QNetworkDatagram>

namespace zv::server {

namespace {
constexpr qint64 kMaxDatagram = 2048;
constexpr int kMaxDatagramsPerEvent = 256;

QList<QByteArray> splitDatagramLines(const QByteArray &data)
{
    QByteArray t = data;
    t.replace("\r\n", "\n");
    t.replace('\r', '\n');
    QList<QByteArray> lines = t.split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

UdpService::UdpService(ServerState &state, QObject *parent) : QObject(parent), state_(state)
{
    for (int i = 0; i < 4; ++i) {
        connect(&sockets_[i], &QUdpSocket::readyRead, this, [this, i] { onReadable(Socket(i)); });
    }
}

UdpService::Socket UdpService::changedAddressAndPort(Socket on)
{
    switch (on) {
    case MainA:
        return AltAddrB;   // B:U+1
    case AltPortA:
        return SecondB;    // B:U+2
    case AltAddrB:
    case SecondB:
        return MainA;
    }
    return MainA;
}

UdpService::Socket UdpService::changedPort(Socket on)
{
    switch (on) {
    case MainA:
        return AltPortA;
    case AltPortA:
        return MainA;
    case AltAddrB:
        return SecondB;
    case SecondB:
        return AltAddrB;
    }
    return MainA;
}

bool UdpService::bind()
{
    const ServerConfig &c = state_.config;
    const struct {
        QHostAddress address;
        quint16 port;
    } where[4] = {{c.address, c.udpPort},
                  {c.address, quint16(c.udpPort + 1)},
                  {c.altAddress, quint16(c.udpPort + 1)},
                  {c.altAddress, quint16(c.udpPort + 2)}};
    for (int i = 0; i < 4; ++i) {
        if (!sockets_[i].bind(where[i].address, where[i].port)) {
            logLine("udp", QStringLiteral("cannot bind %1: %2")
                               .arg(endpointText(where[i].address.toString(), where[i].port), sockets_[i].errorString()));
            return false;
        }
        logLine("udp", QStringLiteral("listening on udp %1").arg(endpointText(where[i].address.toString(), where[i].port)));
    }
    return true;
}

void UdpService::onReadable(Socket which)
{
    QUdpSocket &s = sockets_[which];
    for (int n = 0; n < kMaxDatagramsPerEvent && s.hasPendingDatagrams(); ++n) {
        const QNetworkDatagram d = s.receiveDatagram(kMaxDatagram);
        if (!d.isValid())
            break;
        handle(which, d.data(), QHostAddress(d.senderAddress().toIPv4Address()), quint16(d.senderPort()));
    }
    if (s.hasPendingDatagrams()) {
        // Leaves the rest to the next turn of the event loop, so one busy
        // sender cannot hold the server.
        QMetaObject::invokeMethod(this, [this, which] { onReadable(which); }, Qt::QueuedConnection);
    }
}

void UdpService::reply(Socket via, const QByteArray &data, const QHostAddress &to, quint16 port)
{
    sockets_[via].writeDatagram(data, to, port);
}

void UdpService::handle(Socket which, const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const QString sender = endpointText(from.toString(), port);
    if (data.isEmpty()) {
        // Keep-alive of a registered node.
        const qint64 id = state_.endpointOwners.value(sender, 0);
        auto it = state_.endpoints.find(id);
        if (id && it != state_.endpoints.end())
            it->seen.restart();
        logDetail("udp", sender + QStringLiteral(" keep-alive") + (id ? QStringLiteral(" of computer %1").arg(id) : QString()));
        return;
    }
    const QList<QByteArray> lines = splitDatagramLines(data);
    const QByteArray verb = lines.isEmpty() ? QByteArray() : lines.first();
    const QByteArray mapped = sender.toLatin1();
    if (verb == "U_CHANGE_REQUEST0.5" || verb == "C_CHANGE_REQUEST0.5") {
        logDetail("udp", sender + QStringLiteral(" -> ") + QString::fromLatin1(verb));
        reply(which, "s_re_change_request0.5\r\n" + mapped, from, port);
    } else if (verb == "U_CHANGE_IP_PORT0.5" || verb == "C_CHANGE_IP_PORT0.5") {
        logDetail("udp", sender + QStringLiteral(" -> ") + QString::fromLatin1(verb));
        reply(changedAddressAndPort(which), "s_re_change_ip_port0.5\r\n" + mapped, from, port);
    } else if (verb == "U_CHANGE_PORT0.5" || verb == "C_CHANGE_PORT0.5") {
        logDetail("udp", sender + QStringLiteral(" -> ") + QString::fromLatin1(verb));
        reply(changedPort(which), "s_re_change_port0.5\r\n" + mapped, from, port);
    } else if (verb == "C_UDP_LOGIN_TYPE0.5") {
        registerEndpoint(which, lines, from, port);
    } else if (verb.startsWith("U_P2PASKFOR0.5")) {
        forwardPunch(QString::fromLatin1(verb.mid(14)), from, port);
    } else {
        logDetail("udp", sender + QStringLiteral(" unknown datagram of %1 bytes").arg(data.size()));
    }
}

void UdpService::registerEndpoint(Socket which, const QList<QByteArray> &lines, const QHostAddress &from, quint16 port)
{
    const QString sender = endpointText(from.toString(), port);
    bool idOk = false, portOk = false, natOk = false;
    const qint64 id = lines.value(1).toLongLong(&idOk);
    const QString localAddress = QString::fromLatin1(lines.value(2));
    const int localPort = lines.value(3).toInt(&portOk);
    const int nat = lines.value(4).toInt(&natOk);
    QHostAddress local;
    if (lines.size() != 5 || !idOk || !portOk || !natOk || localPort < 0 || localPort > 65535 || nat < 0 || nat > 6
        || !local.setAddress(localAddress)) {
        logLine("udp", sender + QStringLiteral(" malformed endpoint registration"));
        return;
    }
    ControlSession *node = state_.node(id);
    // Only a computer logged in from the same address may place its endpoint.
    if (!node || node->peerAddress() != from) {
        logLine("udp", sender + QStringLiteral(" endpoint registration for computer %1 refused: not logged in from there").arg(id));
        return;
    }
    ComputerEndpoint e{local.toString(), localPort, nat, from.toString(), port};
    state_.setEndpoint(id, e);
    state_.store.saveEndpoint(id, e);
    logLine("udp", QStringLiteral("computer %1 endpoint %2 (local %3, NAT type %4)")
                       .arg(id).arg(sender, endpointText(e.localAddress, localPort)).arg(nat));
    reply(which, "s_port_update_ok0.5", from, port);
}

void UdpService::forwardPunch(const QString &target, const QHostAddress &from, quint16 port)
{
    const QString sender = endpointText(from.toString(), port);
    qint64 id = state_.endpointOwners.value(target, 0);
    if (!id) {
        // The client may know the node by its binding (same NAT).
        for (auto it = state_.endpoints.cbegin(); it != state_.endpoints.cend(); ++it) {
            if (endpointText(it->endpoint.localAddress, it->endpoint.localPort) == target) {
                id = it.key();
                break;
            }
        }
    }
    const auto it = state_.endpoints.constFind(id);
    if (!id || it == state_.endpoints.cend() || !state_.node(id)) {
        logLine("udp", sender + QStringLiteral(" punch request for unknown node %1").arg(target.left(60)));
        return;
    }
    const QHostAddress nodeAddress(it->endpoint.publicAddress);
    logLine("udp", sender + QStringLiteral(" punch request passed to computer %1 at %2").arg(id).arg(target));
    reply(MainA, "s_p2paskfor0.5" + sender.toLatin1(), nodeAddress, quint16(it->endpoint.publicPort));
}

} // namespace zv::server
