#include "server/relayserver.h"

#include "common/framing.h"
#include "server/controlserver.h"
#include "server/protocol.h"
#include "server/serverlog.h"

#include <QRandomGenerator>

namespace zv::server {

namespace {
constexpr qsizetype kMaxLinkBuffer = kMarkBytes + 4096;
constexpr qint64 kMaxPendingWrite = 4 * 1024 * 1024;
constexpr qint64 kLinkIdleMs = 600'000;
} // namespace

size_t qHash(const MarkKey &k, size_t seed)
{
    return qHashMulti(seed, k.computerId, k.fileCode, k.mark);
}

RelayLink::RelayLink(QTcpSocket *socket, RelayServer *server) : QObject(server), socket_(socket), server_(server)
{
    socket_->setParent(this);
    peerAddress_ = QHostAddress(socket_->peerAddress().toIPv4Address());
    peer_ = endpointText(peerAddress_.toString(), socket_->peerPort());
    key_ = static_cast<std::int32_t>(QRandomGenerator::system()->generate());
    lastActivity_.start();
    connect(socket_, &QTcpSocket::readyRead, this, &RelayLink::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { server_->onLinkGone(this); });
    socket_->write(encodeKeyFrame(key_));
}

void RelayLink::sendFrame(const QStringList &fields)
{
    sendRaw(encodeFrame(fields, key_));
}

void RelayLink::sendRaw(const QByteArray &bytes)
{
    if (closing_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    if (socket_->bytesToWrite() > kMaxPendingWrite) {
        close(QStringLiteral("peer does not read"));
        return;
    }
    socket_->write(bytes);
}

void RelayLink::close(const QString &why)
{
    if (closing_)
        return;
    closing_ = true;
    logLine("relay", peer_ + QStringLiteral(" closed: ") + why);
    socket_->abort();
    server_->onLinkGone(this);
}

void RelayLink::onReadyRead()
{
    while (!closing_ && socket_->bytesAvailable() > 0) {
        const qint64 room = kMaxLinkBuffer - buffer_.size();
        buffer_.append(socket_->read(std::max<qint64>(room, 1)));
        lastActivity_.restart();
        for (;;) {
            const RelayInput in = parseRelayInput(buffer_, key_);
            if (in.status == RelayInput::Incomplete) {
                if (buffer_.size() >= kMaxLinkBuffer)
                    close(QStringLiteral("message too long"));
                break;
            }
            if (in.status == RelayInput::Bad) {
                close(in.error);
                return;
            }
            buffer_.remove(0, in.consumed);
            if (in.status == RelayInput::Frame)
                server_->onFrame(this, in.fields);
            else
                server_->onMarkData(this, in.fields, in.payload);
            if (closing_)
                return;
        }
    }
}

RelayServer::RelayServer(ServerState &state, QObject *parent) : QObject(parent), state_(state)
{
    connect(&server_, &QTcpServer::newConnection, this, &RelayServer::onNewConnection);
    sweepTimer_.setInterval(1000);
    connect(&sweepTimer_, &QTimer::timeout, this, &RelayServer::sweep);
}

bool RelayServer::listen()
{
    const ServerConfig &c = state_.config;
    if (!server_.listen(c.address, c.relayPort)) {
        logLine("relay", QStringLiteral("cannot listen on %1: %2").arg(endpointText(c.address.toString(), c.relayPort), server_.errorString()));
        return false;
    }
    sweepTimer_.start();
    logLine("relay", QStringLiteral("listening on tcp %1").arg(endpointText(c.address.toString(), server_.serverPort())));
    return true;
}

void RelayServer::onNewConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        if (links_.size() >= state_.config.maxRelayConnections) {
            logLine("relay", QStringLiteral("refused %1: %2 links open").arg(socket->peerAddress().toString()).arg(links_.size()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *link = new RelayLink(socket, this);
        links_.append(link);
        logLine("relay", link->peer() + QStringLiteral(" connected (%1 open)").arg(links_.size()));
    }
}

void RelayServer::onLinkGone(RelayLink *link)
{
    if (!links_.removeOne(link))
        return;
    link->closing_ = true;
    if (link->role_ == RelayLink::Role::Node && nodeLinks_.value(link->computerId_) == link)
        nodeLinks_.remove(link->computerId_);
    logLine("relay", link->peer() + QStringLiteral(" disconnected (%1 open)").arg(links_.size()));
    link->deleteLater();
}

void RelayServer::onFrame(RelayLink *link, const QStringList &fields)
{
    const QString verb = fields.value(0);
    if (verb == u"C_LINK0.5") {
        bool ok = false;
        const qint64 id = fields.value(1).toLongLong(&ok);
        ControlSession *node = ok ? state_.node(id) : nullptr;
        if (fields.size() != 2 || !node || node->peerAddress() != link->peerAddress() || link->role_ == RelayLink::Role::Client) {
            logLine("relay", link->peer() + QStringLiteral(" link for computer %1 refused").arg(fields.value(1).left(20)));
            link->close(QStringLiteral("not a logged-in computer"));
            return;
        }
        if (RelayLink *old = nodeLinks_.value(id); old && old != link)
            old->close(QStringLiteral("computer %1 linked again").arg(id));
        link->role_ = RelayLink::Role::Node;
        link->computerId_ = id;
        nodeLinks_.insert(id, link);
        logLine("relay", link->peer() + QStringLiteral(" link of computer %1").arg(id));
        // Requests that arrived before the node's link.
        const QList<Parked> parked = std::exchange(parked_, {});
        for (const Parked &p : parked) {
            if (p.key.computerId == id && p.client)
                requestPiece(p.client, p.key, p.piece);
            else
                parked_.append(p);
        }
        return;
    }
    if (verb == u"U_LINK0.5") {
        bool idOk = false;
        const qint64 id = fields.value(1).toLongLong(&idOk);
        const QString code = fields.value(2);
        const auto mark = parseInt32(fields.value(3));
        const auto piece = parseInt32(fields.value(4));
        const qint64 size = featureCodeSize(code);
        if (fields.size() != 5 || !idOk || !isFeatureCode(code) || !mark || !piece || *piece < 0
            || *piece >= pieceCount(size, *mark) || link->role_ == RelayLink::Role::Node) {
            logLine("relay", link->peer() + QStringLiteral(" malformed piece request ignored"));
            return;
        }
        link->role_ = RelayLink::Role::Client;
        logDetail("relay", link->peer() + QStringLiteral(" U_LINK0.5 computer %1 mark %2 piece %3").arg(id).arg(*mark).arg(*piece));
        requestPiece(link, MarkKey{id, code, *mark}, *piece);
        return;
    }
    logLine("relay", link->peer() + QStringLiteral(" unknown message %1 ignored").arg(verb.left(40)));
}

int RelayServer::waitingCount() const
{
    int n = int(parked_.size());
    for (const Inflight &f : inflight_)
        n += int(f.waiters.size());
    return n;
}

void RelayServer::requestPiece(RelayLink *client, const MarkKey &key, int piece)
{
    if (const auto it = kept_.constFind(key); it != kept_.cend()) {
        answer(client, key, piece, it->bytes);
        return;
    }
    int mine = 0;
    for (const Parked &p : std::as_const(parked_))
        mine += p.client == client;
    for (const Inflight &f : std::as_const(inflight_)) {
        for (const Waiter &w : f.waiters)
            mine += w.client == client;
    }
    if (mine >= kMaxWaitingPerLink || waitingCount() >= kMaxWaitingTotal) {
        logLine("relay", client->peer() + QStringLiteral(" too many waiting requests; piece request dropped"));
        return;
    }
    Waiter w{client, piece, {}};
    w.since.start();
    for (Inflight &f : inflight_) {
        if (f.key == key) {
            f.waiters.append(w);
            return;
        }
    }
    RelayLink *node = nodeLinks_.value(key.computerId).data();
    if (!node) {
        logLine("relay", client->peer() + QStringLiteral(" U_LINK0.5 for computer %1, which has no link; waiting").arg(key.computerId));
        Parked p{client, key, piece, {}};
        p.since.start();
        parked_.append(p);
        return;
    }
    const QString tag = QString::number(nextTag_++);
    Inflight f{key, {w}, {}};
    f.since.start();
    inflight_.insert(tag, f);
    ++nodeRequests_;
    logLine("relay", QStringLiteral("t_request0.5 to computer %1: mark %2 of %3, tag %4").arg(key.computerId).arg(key.mark).arg(key.fileCode, tag));
    node->sendFrame({QStringLiteral("t_request0.5"), key.fileCode, QString::number(key.mark), tag});
}

void RelayServer::onMarkData(RelayLink *link, const QStringList &header, const QByteArray &payload)
{
    const QString tag = header.value(4);
    auto it = inflight_.find(tag);
    if (link->role_ != RelayLink::Role::Node || it == inflight_.end() || it->key.computerId != link->computerId_
        || it->key.fileCode != header.value(2) || QString::number(it->key.mark) != header.value(3)) {
        logLine("relay", link->peer() + QStringLiteral(" mark answer with unknown tag %1 dropped").arg(tag.left(20)));
        return;
    }
    const Inflight f = *it;
    inflight_.erase(it);
    const qsizetype expected = markLength(featureCodeSize(f.key.fileCode), f.key.mark);
    if (payload.size() != expected) {
        logLine("relay", link->peer() + QStringLiteral(" mark answer of %1 bytes, %2 expected; dropped").arg(payload.size()).arg(expected));
        return;
    }
    logLine("relay", QStringLiteral("computer %1 answered tag %2 with %3 bytes").arg(f.key.computerId).arg(tag).arg(payload.size()));
    keep(f.key, payload);
    for (const Waiter &w : f.waiters) {
        if (w.client)
            answer(w.client, f.key, w.piece, payload);
    }
}

void RelayServer::answer(RelayLink *client, const MarkKey &key, int piece, const QByteArray &mark)
{
    const qsizetype from = qsizetype(piece) * kPieceBytes;
    const qsizetype len = from < mark.size() ? std::min(kPieceBytes, mark.size() - from) : 0;
    logDetail("relay", client->peer() + QStringLiteral(" <- piece %1 of mark %2 (%3 bytes)").arg(piece).arg(key.mark).arg(len));
    client->sendRaw(renderPieceAnswer(key.fileCode, key.mark, piece, QByteArrayView(mark).sliced(from, len)));
}

void RelayServer::keep(const MarkKey &key, const QByteArray &bytes)
{
    if (!kept_.contains(key))
        keptOrder_.push_back(key);
    Kept k{bytes, {}};
    k.since.start();
    kept_.insert(key, k);
    while (kept_.size() > kMaxKeptMarks && !keptOrder_.empty()) {
        kept_.remove(keptOrder_.front());
        keptOrder_.pop_front();
    }
}

void RelayServer::sweep()
{
    while (!keptOrder_.empty()) {
        const auto it = kept_.constFind(keptOrder_.front());
        if (it != kept_.cend() && it->since.elapsed() < kKeepMarkMs)
            break;
        kept_.remove(keptOrder_.front());
        keptOrder_.pop_front();
    }
    for (auto it = inflight_.begin(); it != inflight_.end();) {
        if (it->since.elapsed() > kNodeAnswerMs) {
            logLine("relay", QStringLiteral("computer %1 did not answer tag %2").arg(it->key.computerId).arg(it.key()));
            it = inflight_.erase(it);
        } else {
            ++it;
        }
    }
    parked_.removeIf([](const Parked &p) {
        if (p.client && p.since.elapsed() <= kWaitForLinkMs)
            return false;
        logLine("relay", QStringLiteral("computer %1 has no link; piece request dropped").arg(p.key.computerId));
        return true;
    });
    const auto all = links_;
    for (RelayLink *l : all) {
        if (l->lastActivity_.elapsed() > kLinkIdleMs && l->role_ != RelayLink::Role::Node)
            l->close(QStringLiteral("idle"));
    }
}

} // namespace zv::server
