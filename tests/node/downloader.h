#pragma once
// A scripted downloader on a real UDP socket: sends the client's datagrams and
// collects what the node sends back.
#include "node/wire.h"
#include "tests/node/fakes.h"
#include "tests/support/sandbox.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace zv::node::test {

class ScriptedDownloader {
public:
    ScriptedDownloader()
    {
        socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        // Enough room for whole marks arriving faster than the test reads them.
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    }
    void send(const QByteArray &bytes, quint16 nodePort)
    {
        socket.writeDatagram(bytes, QHostAddress(QStringLiteral("127.0.0.1")), nodePort);
    }
    void sendLines(const QStringList &lines, quint16 nodePort) { send(lineList(lines), nodePort); }

    // Collects datagrams until one starting with prefix arrives (included) or
    // the time runs out.
    QList<QByteArray> collectUntil(const QByteArray &prefix, int timeoutMs = 5000)
    {
        QList<QByteArray> got;
        zv::test::waitFor([&] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram(2048);
                got.append(d.data());
                if (d.data().startsWith(prefix))
                    return true;
            }
            return false;
        }, timeoutMs);
        return got;
    }
    quint16 port() const { return socket.localPort(); }

    QUdpSocket socket;
};

} // namespace zv::node::test
