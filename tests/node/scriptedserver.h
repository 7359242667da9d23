#pragma once
// A scripted central server for the node's tests: a TCP listener that sends
// "s_send_key" to every connection (unless told to stay silent), collects the
// node's messages, and a UDP socket that records the node's datagrams and
// answers the NAT detection requests as a server that sees no NAT.
#include "common/framing.h"
#include "node/wire.h"
#include "tests/support/sandbox.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <memory>

namespace zv::node::test {

class ScriptedServer : public QObject {
public:
    explicit ScriptedServer(const QString &address = QStringLiteral("127.0.0.1"), quint16 port = 0)
    {
        tcp.listen(QHostAddress(address), port);
        udp.bind(QHostAddress(address), 0);
        connect(&tcp, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = tcp.nextPendingConnection()) {
                ++connections;
                socket = s;
                splitter = std::make_unique<FrameSplitter>();
                splitter->setKey(key);
                if (sendKey)
                    s->write(encodeKeyFrame(key));
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    if (s != socket)
                        return;
                    splitter->append(s->readAll());
                    while (auto m = splitter->next()) {
                        received.append(m->fields);
                        if (autoLogin)
                            answerLogin(m->fields);
                        if (autoConfirm && m->verb() == QStringLiteral("C_UPDATE0.5"))
                            sendMessage({QStringLiteral("s_c_update_reply0.5")});
                    }
                });
            }
        });
        connect(&udp, &QUdpSocket::readyRead, this, [this] {
            while (udp.hasPendingDatagrams()) {
                const QNetworkDatagram d = udp.receiveDatagram(4096);
                const QString from = QHostAddress(d.senderAddress().toIPv4Address()).toString();
                datagrams.append(d.data());
                lastUdpPeer = from;
                lastUdpPort = quint16(d.senderPort());
                if (d.data() == "C_CHANGE_REQUEST0.5")
                    udp.writeDatagram("s_re_change_request0.5\r\n" + from.toLatin1() + ':'
                                          + QByteArray::number(d.senderPort()) + "\r\n",
                                      d.senderAddress(), quint16(d.senderPort()));
                else if (d.data() == "C_CHANGE_IP_PORT0.5")
                    udp.writeDatagram("s_re_change_ip_port0.5\r\n", d.senderAddress(), quint16(d.senderPort()));
            }
        });
    }

    void answerLogin(const QStringList &m)
    {
        if (m.value(0) == QStringLiteral("CF_LOGIN0.3"))
            sendMessage({QStringLiteral("s_cf_login_reply0.5"), QString::number(newId), newKey, QString(), secondServer});
        else if (m.value(0) == QStringLiteral("CC_LOGIN0.3"))
            sendMessage({QStringLiteral("s_cc_login_reply0.5"), secondServer, rebuild ? QStringLiteral("1") : QStringLiteral("0")});
    }
    void sendMessage(const QStringList &fields)
    {
        if (socket)
            socket->write(encodeFrame(fields, key));
    }
    void sendRaw(const QByteArray &bytes)
    {
        if (socket)
            socket->write(bytes);
    }
    QList<QStringList> withVerb(const QString &verb) const
    {
        QList<QStringList> out;
        for (const auto &m : received)
            if (m.value(0) == verb)
                out.append(m);
        return out;
    }
    QList<QByteArray> udpWithPrefix(const QByteArray &prefix) const
    {
        QList<QByteArray> out;
        for (const auto &d : datagrams)
            if (d.startsWith(prefix) && (!prefix.isEmpty() || d.isEmpty()))
                out.append(d);
        return out;
    }
    quint16 tcpPort() const { return tcp.serverPort(); }
    quint16 udpPort() const { return udp.localPort(); }

    QTcpServer tcp;
    QUdpSocket udp;
    QPointer<QTcpSocket> socket;
    std::unique_ptr<FrameSplitter> splitter;
    std::int32_t key = 1234567;
    bool sendKey = true;
    bool autoLogin = true;
    bool autoConfirm = false;
    bool rebuild = false;
    qint32 newId = 4711;
    QString newKey = QStringLiteral("key4711");
    QString secondServer = QStringLiteral("127.0.0.2");
    int connections = 0;
    QList<QStringList> received;
    QList<QByteArray> datagrams;
    QString lastUdpPeer;
    quint16 lastUdpPort = 0;
};

} // namespace zv::node::test
