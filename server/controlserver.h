#pragma once
// The control channel: clients and serving nodes on TCP, each connection
// keyed with "s_send_key" and then spoken to in scrambled frames.
#include "common/framing.h"
#include "server/serverstate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace zv::server {

class ControlServer;

class ControlSession : public QObject {
    Q_OBJECT
public:
    enum class Kind { None, User, Guest, Computer };

    ControlSession(QTcpSocket *socket, qsizetype frameLimit, ControlServer *server);
    ~ControlSession() override;

    void send(const QStringList &fields);
    void close(const QString &why);
    QString peer() const { return peer_; }
    QHostAddress peerAddress() const { return peerAddress_; }
    Kind kind() const { return kind_; }
    qint64 userId() const { return userId_; }
    qint64 computerId() const { return computerId_; }
    qint64 idleMs() const { return lastMessage_.elapsed(); }

private:
    friend class ControlServer;
    void onReadyRead();

    QTcpSocket *socket_;
    ControlServer *server_;
    FrameSplitter splitter_;
    std::int32_t key_;
    QString peer_;
    QHostAddress peerAddress_;
    Kind kind_ = Kind::None;
    qint64 userId_ = 0;
    qint64 computerId_ = 0;
    int failedLogins_ = 0;
    bool computerCreated_ = false;
    bool closing_ = false;
    QElapsedTimer lastMessage_;
};

class ControlServer : public QObject {
    Q_OBJECT
public:
    ControlServer(ServerState &state, QObject *parent = nullptr);
    bool listen();
    quint16 port() const { return server_.serverPort(); }
    int sessionCount() const { return int(sessions_.size()); }

    // Closes a node's connection with "s_c_exit0.5"; false when it is not online.
    bool exitNode(qint64 computerId);
    // Sends the user's points to each of the user's connections.
    void pushPoints(qint64 userId, qint64 points);

private:
    friend class ControlSession;
    void onNewConnection();
    void sweep();
    void handle(ControlSession *s, const Message &m);
    void removeSession(ControlSession *s);

    void onRegister(ControlSession *s, const Message &m);
    void onLogin(ControlSession *s, const Message &m);
    void onNewPassword(ControlSession *s, const Message &m);
    void onProfileUpdate(ControlSession *s, const Message &m);
    void onFeedback(ControlSession *s, const Message &m);
    void onSearch(ControlSession *s, const Message &m);
    void onDownloaded(ControlSession *s, const Message &m);
    void onAskForRelay(ControlSession *s, const Message &m);
    void onAskForEndpoint(ControlSession *s, const Message &m, bool binding);
    void onComputerLogin(ControlSession *s, const Message &m);
    void onUpdateBatch(ControlSession *s, const Message &m);

    ServerState &state_;
    QTcpServer server_;
    QSet<ControlSession *> sessions_;
    QTimer sweepTimer_;
};

} // namespace zv::server
