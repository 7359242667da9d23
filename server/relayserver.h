#pragma once
// The relay server: nodes register their links with "C_LINK0.5", clients ask
// for pieces with "U_LINK0.5"; a whole mark is fetched from the node once
// ("t_request0.5") and kept while its pieces are handed out.
#include "server/relayframe.h"
#include "server/serverstate.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <list>

namespace zv::server {

class RelayLink;

struct MarkKey {
    qint64 computerId = 0;
    QString fileCode;
    qint64 mark = 0;
    friend bool operator==(const MarkKey &a, const MarkKey &b)
    {
        return a.computerId == b.computerId && a.mark == b.mark && a.fileCode == b.fileCode;
    }
};
size_t qHash(const MarkKey &k, size_t seed = 0);

class RelayServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxKeptMarks = 64;          // about 4 MiB of mark data
    static constexpr int kKeepMarkMs = 120'000;
    static constexpr int kNodeAnswerMs = 20'000;
    static constexpr int kWaitForLinkMs = 10'000;
    static constexpr int kMaxWaitingPerLink = 16;
    static constexpr int kMaxWaitingTotal = 2000;

    RelayServer(ServerState &state, QObject *parent = nullptr);
    bool listen();
    quint16 port() const { return server_.serverPort(); }
    int keptMarks() const { return int(kept_.size()); }
    int nodeRequests() const { return nodeRequests_; }

private:
    friend class RelayLink;
    struct Waiter {
        QPointer<RelayLink> client;
        int piece = 0;
        QElapsedTimer since;
    };
    struct Inflight {
        MarkKey key;
        QList<Waiter> waiters;
        QElapsedTimer since;
    };
    struct Parked {
        QPointer<RelayLink> client;
        MarkKey key;
        int piece = 0;
        QElapsedTimer since;
    };
    struct Kept {
        QByteArray bytes;
        QElapsedTimer since;
    };

    void onNewConnection();
    void onFrame(RelayLink *link, const QStringList &fields);
    void onMarkData(RelayLink *link, const QStringList &header, const QByteArray &payload);
    void onLinkGone(RelayLink *link);
    void requestPiece(RelayLink *client, const MarkKey &key, int piece);
    void answer(RelayLink *client, const MarkKey &key, int piece, const QByteArray &mark);
    void keep(const MarkKey &key, const QByteArray &bytes);
    void sweep();
    int waitingCount() const;

    ServerState &state_;
    QTcpServer server_;
    QList<RelayLink *> links_;
    QHash<qint64, QPointer<RelayLink>> nodeLinks_;
    QHash<QString, Inflight> inflight_;   // by tag
    QHash<MarkKey, Kept> kept_;
    std::list<MarkKey> keptOrder_;        // oldest first
    QList<Parked> parked_;
    QTimer sweepTimer_;
    quint32 nextTag_ = 1;
    int nodeRequests_ = 0;
};

class RelayLink : public QObject {
    Q_OBJECT
public:
    enum class Role { Unknown, Node, Client };
    RelayLink(QTcpSocket *socket, RelayServer *server);
    void sendFrame(const QStringList &fields);
    void sendRaw(const QByteArray &bytes);
    void close(const QString &why);
    QString peer() const { return peer_; }
    QHostAddress peerAddress() const { return peerAddress_; }

private:
    friend class RelayServer;
    void onReadyRead();
    QTcpSocket *socket_;
    RelayServer *server_;
    QByteArray buffer_;
    std::int32_t key_;
    QString peer_;
    QHostAddress peerAddress_;
    Role role_ = Role::Unknown;
    qint64 computerId_ = 0;
    bool closing_ = false;
    QElapsedTimer lastActivity_;
};

} // namespace zv::server
