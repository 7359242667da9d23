#include "tests/client/scriptedpeer.h"

#include <QHostAddress>

namespace zv::test {

ScriptedPeer::ScriptedPeer(std::optional<std::int32_t> sendKeyOnConnect, QObject *parent)
    : QObject(parent), keyOnConnect_(sendKeyOnConnect)
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server_.nextPendingConnection()) {
            if (client_)
                client_->deleteLater();
            client_ = socket;
            ++connections_;
            splitter_.clear();
            splitter_.setKey(-1);
            key_ = -1;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (socket != client_)
                    return;
                splitter_.append(socket->readAll());
                while (auto message = splitter_.next())
                    received_.append(*message);
            });
            if (keyOnConnect_)
                sendKey(*keyOnConnect_);
        }
    });
}

void ScriptedPeer::sendRaw(const QByteArray &bytes)
{
    if (client_) {
        client_->write(bytes);
        client_->flush();
    }
}

void ScriptedPeer::sendKey(std::int32_t key)
{
    key_ = key;
    splitter_.setKey(key);
    sendRaw(encodeKeyFrame(key));
}

void ScriptedPeer::dropClient()
{
    if (client_)
        client_->abort();
}

QList<Message> ScriptedPeer::receivedWithVerb(const QString &verb) const
{
    QList<Message> out;
    for (const auto &m : received_) {
        if (m.verb() == verb)
            out.append(m);
    }
    return out;
}

} // namespace zv::test
