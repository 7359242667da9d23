#pragma once
// A scripted central server for the client's tests: one loopback QTcpServer
// that speaks the framing, sends what the test tells it and keeps every
// message the client sent, unscrambled with the key it handed out.
#include "common/framing.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace zv::test {

class ScriptedPeer : public QObject {
    Q_OBJECT
public:
    // sendKeyOnConnect: the key frame is sent as soon as a client connects
    // (std::nullopt: the test sends it itself, or never).
    explicit ScriptedPeer(std::optional<std::int32_t> sendKeyOnConnect = 12345, QObject *parent = nullptr);

    quint16 port() const { return server_.serverPort(); }
    bool hasClient() const { return client_ && client_->state() == QAbstractSocket::ConnectedState; }
    int connections() const { return connections_; }
    std::int32_t key() const { return key_; }

    // Sends raw bytes to the connected client.
    void sendRaw(const QByteArray &bytes);
    // Sends a frame scrambled with the key handed out.
    void send(const QStringList &fields) { sendRaw(encodeFrame(fields, key_)); }
    void sendKey(std::int32_t key);
    void dropClient();
    void stopListening() { server_.close(); }

    const QList<Message> &received() const { return received_; }
    QList<Message> receivedWithVerb(const QString &verb) const;

private:
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    FrameSplitter splitter_;
    QList<Message> received_;
    std::optional<std::int32_t> keyOnConnect_;
    std::int32_t key_ = -1;
    int connections_ = 0;
};

} // namespace zv::test
