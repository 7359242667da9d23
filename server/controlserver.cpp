#include "server/controlserver.h"

#include "server/password.h"
#include "server/serverlog.h"

#include <QRandomGenerator>

namespace zv::server {

namespace {
constexpr qint64 kMaxPendingWrite = 8 * 1024 * 1024;
constexpr int kMaxFailedLogins = 5;

QString randomKeyText()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(bytes.data()),
                                         reinterpret_cast<quint32 *>(bytes.data() + bytes.size()));
    return QString::fromLatin1(bytes.toHex());
}

QString kindName(ControlSession::Kind k)
{
    switch (k) {
    case ControlSession::Kind::User:
        return QStringLiteral("user");
    case ControlSession::Kind::Guest:
        return QStringLiteral("guest");
    case ControlSession::Kind::Computer:
        return QStringLiteral("computer");
    case ControlSession::Kind::None:
        break;
    }
    return QStringLiteral("anonymous");
}
} // namespace

ControlSession::ControlSession(QTcpSocket *socket, qsizetype frameLimit, ControlServer *server)
    : QObject(server), socket_(socket), server_(server), splitter_(frameLimit)
{
    socket_->setParent(this);
    peerAddress_ = QHostAddress(socket_->peerAddress().toIPv4Address());
    peer_ = endpointText(peerAddress_.toString(), socket_->peerPort());
    key_ = static_cast<std::int32_t>(QRandomGenerator::system()->generate());
    splitter_.setKey(key_);
    lastMessage_.start();
    connect(socket_, &QTcpSocket::readyRead, this, &ControlSession::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { server_->removeSession(this); });
    socket_->write(encodeKeyFrame(key_));
}

ControlSession::~ControlSession() = default;

void ControlSession::send(const QStringList &fields)
{
    if (closing_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    if (socket_->bytesToWrite() > kMaxPendingWrite) {
        close(QStringLiteral("peer does not read its replies"));
        return;
    }
    logDetail("control", peer_ + QStringLiteral(" <- ") + (fields.isEmpty() ? QStringLiteral("(empty)") : fields.first()));
    socket_->write(encodeFrame(fields, key_));
}

void ControlSession::close(const QString &why)
{
    if (closing_)
        return;
    closing_ = true;
    logLine("control", peer_ + QStringLiteral(" closed: ") + why);
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState) {
        // Gives a pending reply a moment, then drops the connection.
        QTimer::singleShot(2000, socket_, [s = socket_] { s->abort(); });
    }
}

void ControlSession::onReadyRead()
{
    while (!closing_ && socket_->bytesAvailable() > 0) {
        const QByteArray bytes = socket_->read(64 * 1024);
        if (bytes.isEmpty())
            break;
        splitter_.append(bytes);
        while (!closing_) {
            auto m = splitter_.next();
            if (splitter_.takeOverflow()) {
                close(QStringLiteral("message longer than %1 bytes without a closing line").arg(server_->state_.config.maxFrameBytes));
                return;
            }
            if (!m)
                break;
            lastMessage_.restart();
            server_->handle(this, *m);
        }
    }
}

ControlServer::ControlServer(ServerState &state, QObject *parent) : QObject(parent), state_(state)
{
    server_.setMaxPendingConnections(64);
    connect(&server_, &QTcpServer::newConnection, this, &ControlServer::onNewConnection);
    sweepTimer_.setInterval(10'000);
    connect(&sweepTimer_, &QTimer::timeout, this, &ControlServer::sweep);
}

bool ControlServer::listen()
{
    if (!server_.listen(state_.config.address, state_.config.tcpPort)) {
        logLine("control", QStringLiteral("cannot listen on %1: %2")
                               .arg(endpointText(state_.config.address.toString(), state_.config.tcpPort), server_.errorString()));
        return false;
    }
    sweepTimer_.start();
    logLine("control", QStringLiteral("listening on tcp %1").arg(endpointText(state_.config.address.toString(), server_.serverPort())));
    return true;
}

void ControlServer::onNewConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        if (sessions_.size() >= state_.config.maxConnections) {
            logLine("control", QStringLiteral("refused %1:%2: %3 connections open")
                                   .arg(socket->peerAddress().toString()).arg(socket->peerPort()).arg(sessions_.size()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *s = new ControlSession(socket, state_.config.maxFrameBytes, this);
        sessions_.insert(s);
        logLine("control", s->peer() + QStringLiteral(" connected (%1 open)").arg(sessions_.size()));
    }
}

void ControlServer::removeSession(ControlSession *s)
{
    if (!sessions_.remove(s))
        return;
    if (s->kind_ == ControlSession::Kind::Computer && state_.node(s->computerId_) == s) {
        state_.nodes.remove(s->computerId_);
        auto it = state_.endpoints.find(s->computerId_);
        if (it != state_.endpoints.end()) {
            state_.endpointOwners.remove(endpointText(it->endpoint.publicAddress, it->endpoint.publicPort));
            state_.endpoints.erase(it);
        }
    }
    logLine("control", s->peer() + QStringLiteral(" disconnected (%1, %2 open)").arg(kindName(s->kind_)).arg(sessions_.size()));
    s->closing_ = true;
    s->deleteLater();
}

void ControlServer::sweep()
{
    const qint64 limit = qint64(state_.config.idleTimeoutSec) * 1000;
    const auto all = sessions_.values();
    for (ControlSession *s : all) {
        if (s->idleMs() > limit)
            s->close(QStringLiteral("silent for %1 s").arg(s->idleMs() / 1000));
    }
}

bool ControlServer::exitNode(qint64 computerId)
{
    ControlSession *s = state_.node(computerId);
    if (!s)
        return false;
    logLine("control", QStringLiteral("computer %1: s_c_exit0.5").arg(computerId));
    s->send({QStringLiteral("s_c_exit0.5")});
    s->close(QStringLiteral("exit ordered"));
    return true;
}

void ControlServer::pushPoints(qint64 userId, qint64 points)
{
    for (ControlSession *s : std::as_const(sessions_)) {
        if (s->kind_ == ControlSession::Kind::User && s->userId_ == userId)
            s->send({QStringLiteral("s_u_jifen_update0.5"), QString::number(points)});
    }
}

void ControlServer::handle(ControlSession *s, const Message &m)
{
    const QString verb = m.verb();
    if (m.isEmpty()) {
        logDetail("control", s->peer() + QStringLiteral(" -> (empty)"));
        return;
    }
    if (verb == u"U_HAND0.5" || verb == u"C_HAND0.5") {
        logDetail("control", s->peer() + QStringLiteral(" -> ") + verb);
        s->send({});
        return;
    }
    QString shown = verb.left(40);
    for (QChar &c : shown) {
        if (!c.isPrint())
            c = u'?';
    }
    logLine("control", s->peer() + QStringLiteral(" -> ") + shown + QStringLiteral(" (%1 lines)").arg(m.fields.size()));
    if (verb == u"U_REGISTER0.5")
        onRegister(s, m);
    else if (verb == u"U_LOGIN0.3")
        onLogin(s, m);
    else if (verb == u"U_NEWPASS0.5")
        onNewPassword(s, m);
    else if (verb == u"U_UPDATEUSERDATE0.5")
        onProfileUpdate(s, m);
    else if (verb == u"U_FEEDBACK0.5")
        onFeedback(s, m);
    else if (verb == u"U_SEARCH0.5")
        onSearch(s, m);
    else if (verb == u"U_DOWNLOADED0.5")
        onDownloaded(s, m);
    else if (verb == u"U_ASKFOR_T0.5")
        onAskForRelay(s, m);
    else if (verb == u"U_ASKFOR_NEWPORT0.5")
        onAskForEndpoint(s, m, false);
    else if (verb == u"U_ASKFOR_BINDING0.5")
        onAskForEndpoint(s, m, true);
    else if (verb == u"CF_LOGIN0.3" || verb == u"CC_LOGIN0.3")
        onComputerLogin(s, m);
    else if (verb == u"C_UPDATE0.5")
        onUpdateBatch(s, m);
    else
        logLine("control", s->peer() + QStringLiteral(" unknown verb ignored"));
}

static void refuse(ControlSession *s, const QString &why)
{
    logLine("control", s->peer() + QStringLiteral(" refused: ") + why);
}

void ControlServer::onRegister(ControlSession *s, const Message &m)
{
    QString why;
    const auto r = parseRegister(m, &why);
    if (!r)
        return refuse(s, why);
    const qint64 id = state_.store.addUser(*r, hashPassword(r->password), state_.config.initialPoints);
    if (id == 0) {
        logLine("accounts", QStringLiteral("registration refused: e-mail %1 exists").arg(r->profile.email));
        s->send({QStringLiteral("s_u_register_reply0.5"), QStringLiteral("e_mail already exist")});
        return;
    }
    if (id < 0)
        return refuse(s, QStringLiteral("registration not stored: ") + state_.store.lastError());
    logLine("accounts", QStringLiteral("registered user %1 (%2)").arg(id).arg(r->profile.email));
    s->send({QStringLiteral("s_u_register_reply0.5"), QStringLiteral("u_register_ok"), QString::number(id),
             state_.secondServer()});
}

void ControlServer::onLogin(ControlSession *s, const Message &m)
{
    QString why;
    const auto req = parseLogin(m, &why);
    if (!req)
        return refuse(s, why);
    const ServerConfig &c = state_.config;
    if (c.updatePolicy == UpdatePolicy::Mandatory) {
        logLine("accounts", s->peer() + QStringLiteral(" login: update required"));
        s->send(mustUpdateReply(c.updateTarget));
        return;
    }
    const QString updateTarget = c.updatePolicy == UpdatePolicy::Optional ? c.updateTarget : QString();
    auto fail = [&](const QString &outcome) {
        ++s->failedLogins_;
        logLine("accounts", s->peer() + QStringLiteral(" login %1: %2").arg(req->who, outcome));
        s->send(loginErrorReply(outcome));
        if (s->failedLogins_ >= kMaxFailedLogins * 4)
            s->close(QStringLiteral("too many failed logins"));
    };
    if (req->isGuest()) {
        if (s->kind_ == ControlSession::Kind::Computer)
            return refuse(s, QStringLiteral("login on a computer connection"));
        s->kind_ = ControlSession::Kind::Guest;
        s->userId_ = 0;
        Profile guest;
        guest.nickname = QStringLiteral("访客");
        logLine("accounts", s->peer() + QStringLiteral(" guest login"));
        s->send(loginOkReply(guest, state_.secondServer(), updateTarget));
        return;
    }
    std::optional<UserRecord> user;
    if (req->byEmail) {
        user = state_.store.userByEmail(req->who);
        if (!user)
            return fail(QStringLiteral("e_mail error"));
    } else {
        bool ok = false;
        const qint64 id = req->who.toLongLong(&ok);
        if (ok && id > 0 && req->who.size() <= 18)
            user = state_.store.userById(id);
        if (!user)
            return fail(QStringLiteral("id error"));
    }
    if (!verifyPassword(req->password, user->passwordHash))
        return fail(QStringLiteral("pass_word error"));
    if (s->kind_ == ControlSession::Kind::Computer)
        return refuse(s, QStringLiteral("login on a computer connection"));
    s->kind_ = ControlSession::Kind::User;
    s->userId_ = user->profile.userId;
    logLine("accounts", s->peer() + QStringLiteral(" user %1 logged in").arg(s->userId_));
    s->send(loginOkReply(user->profile, state_.secondServer(), updateTarget));
    s->send({QStringLiteral("s_u_jifen_update0.5"), QString::number(user->points)});
}

void ControlServer::onNewPassword(ControlSession *s, const Message &m)
{
    QString why;
    const auto req = parseNewPassword(m, &why);
    if (!req)
        return refuse(s, why);
    if (s->kind_ != ControlSession::Kind::User || s->userId_ != req->first)
        return refuse(s, QStringLiteral("password change for user %1 on a connection of %2").arg(req->first).arg(s->userId_));
    if (state_.store.setPasswordHash(req->first, hashPassword(req->second)))
        logLine("accounts", QStringLiteral("user %1 changed the password").arg(req->first));
}

void ControlServer::onProfileUpdate(ControlSession *s, const Message &m)
{
    QString why;
    const auto req = parseProfileUpdate(m, &why);
    if (!req)
        return refuse(s, why);
    if (s->kind_ != ControlSession::Kind::User || s->userId_ != req->userId)
        return refuse(s, QStringLiteral("profile change for user %1 on a connection of %2").arg(req->userId).arg(s->userId_));
    if (state_.store.updateProfile(*req))
        logLine("accounts", QStringLiteral("user %1 changed the profile").arg(req->userId));
}

void ControlServer::onFeedback(ControlSession *s, const Message &m)
{
    QString why;
    const auto req = parseFeedback(m, &why);
    if (!req)
        return refuse(s, why);
    if (s->kind_ != ControlSession::Kind::User && s->kind_ != ControlSession::Kind::Guest)
        return refuse(s, QStringLiteral("feedback before a login"));
    if (state_.store.addFeedback(s->userId_, *req))
        logLine("accounts", QStringLiteral("feedback from user %1 (%2, %3 lines)").arg(s->userId_).arg(req->category).arg(req->lines.size()));
}

void ControlServer::onSearch(ControlSession *s, const Message &m)
{
    if (m.fields.size() != 3)
        return refuse(s, QStringLiteral("look-up with %1 lines").arg(m.fields.size()));
    const QString code = m.field(1);
    const QString name = m.field(2);
    std::optional<ResourceInfo> info;
    QList<SourceGroup> sources;
    if (!code.isEmpty() && code.size() <= 256) {
        info = state_.store.resource(code, name);
        if (info) {
            const auto ids = state_.store.holders(code, 1000);
            for (qint64 id : ids) {
                ControlSession *node = state_.node(id);
                if (!node)
                    continue;
                SourceGroup g;
                g.id = id;
                const auto ep = state_.endpoints.constFind(id);
                if (ep != state_.endpoints.cend()) {
                    g.address = ep->endpoint.publicAddress;
                    g.port = ep->endpoint.publicPort;
                    g.natType = ep->endpoint.natType;
                } else {
                    // No UDP endpoint: reachable through the relay only.
                    g.address = node->peerAddress().toString();
                }
                sources.append(g);
                if (sources.size() >= kMaxSourcesPerReply)
                    break;
            }
        }
    }
    logLine("index", s->peer() + QStringLiteral(" look-up %1: %2 sources").arg(code.left(80)).arg(sources.size()));
    s->send(searchReply(info, sources));
}

void ControlServer::onDownloaded(ControlSession *s, const Message &m)
{
    QString why;
    const auto r = parseDownloaded(m, &why);
    if (!r)
        return refuse(s, why);
    if ((s->kind_ != ControlSession::Kind::User && s->kind_ != ControlSession::Kind::Guest) || r->userId != s->userId_)
        return refuse(s, QStringLiteral("download report for user %1 on a connection of %2").arg(r->userId).arg(s->userId_));
    const auto info = state_.store.resource(r->fileCode, QString());
    if (!info)
        return refuse(s, QStringLiteral("download report for an unknown resource"));
    if (!state_.store.recordDownload(r->userId, r->fileCode, r->nameSum)) {
        logLine("points", QStringLiteral("user %1 reported %2 again; no change").arg(r->userId).arg(r->fileCode));
        return;
    }
    // Points rule: a download of a resource rated above three stars costs an
    // ordinary account one point; each first download of a resource by someone
    // else earns its first sharer one point.
    if (s->kind_ == ControlSession::Kind::User && info->score > 3) {
        const auto user = state_.store.userById(r->userId);
        if (user && user->profile.accountClass == u"0") {
            const qint64 p = state_.store.addPoints(r->userId, -1);
            if (p >= 0) {
                logLine("points", QStringLiteral("user %1 -1 for %2: %3").arg(r->userId).arg(r->fileCode).arg(p));
                pushPoints(r->userId, p);
            }
        }
    }
    const qint64 owner = state_.store.firstOwner(r->fileCode);
    if (owner > 0 && owner != r->userId) {
        const qint64 p = state_.store.addPoints(owner, 1);
        if (p >= 0) {
            logLine("points", QStringLiteral("user %1 +1 for a download of %2: %3").arg(owner).arg(r->fileCode).arg(p));
            pushPoints(owner, p);
        }
    }
}

void ControlServer::onAskForRelay(ControlSession *s, const Message &m)
{
    bool ok = false;
    const qint64 id = m.field(1).toLongLong(&ok);
    if (m.fields.size() != 2 || !ok)
        return refuse(s, QStringLiteral("relay request with %1 lines").arg(m.fields.size()));
    if (s->kind_ != ControlSession::Kind::User && s->kind_ != ControlSession::Kind::Guest)
        return refuse(s, QStringLiteral("relay request before a login"));
    const ServerConfig &c = state_.config;
    ControlSession *node = state_.node(id);
    const QString address = c.relayPublicAddress;
    if (!c.relayEnabled || !node) {
        logLine("relay", s->peer() + QStringLiteral(" relay for computer %1: none (%2)")
                                        .arg(id).arg(c.relayEnabled ? QStringLiteral("offline") : QStringLiteral("no relay")));
        s->send({QStringLiteral("s_reply_t0.5"), address, QStringLiteral("0")});
        return;
    }
    const QString port = QString::number(c.relayPort);
    logLine("relay", s->peer() + QStringLiteral(" relay for computer %1: %2").arg(id).arg(endpointText(address, c.relayPort)));
    node->send({QStringLiteral("s_reply_t0.5"), address, port});
    s->send({QStringLiteral("s_reply_t0.5"), address, port});
}

void ControlServer::onAskForEndpoint(ControlSession *s, const Message &m, bool binding)
{
    bool ok = false;
    const qint64 id = m.field(1).toLongLong(&ok);
    if (m.fields.size() != 2 || !ok)
        return refuse(s, QStringLiteral("port request with %1 lines").arg(m.fields.size()));
    if (s->kind_ != ControlSession::Kind::User && s->kind_ != ControlSession::Kind::Guest)
        return refuse(s, QStringLiteral("port request before a login"));
    const auto ep = state_.endpoints.constFind(id);
    if (ep == state_.endpoints.cend() || !state_.node(id)) {
        // No reply: the client keeps the address it has.
        logLine("udp", s->peer() + QStringLiteral(" endpoint of computer %1: unknown").arg(id));
        return;
    }
    const ComputerEndpoint &e = ep->endpoint;
    if (binding)
        s->send({QStringLiteral("s_reply_binding0.5"), e.localAddress, QString::number(e.localPort)});
    else
        s->send({QStringLiteral("s_reply_newport0.5"), e.publicAddress, QString::number(e.publicPort)});
}

void ControlServer::onComputerLogin(ControlSession *s, const Message &m)
{
    QString why;
    const auto req = parseComputerLogin(m, &why);
    if (!req)
        return refuse(s, why);
    if (s->kind_ == ControlSession::Kind::User || s->kind_ == ControlSession::Kind::Guest)
        return refuse(s, QStringLiteral("computer login on a user connection"));
    qint64 id = 0;
    QStringList reply;
    if (req->first) {
        if (s->computerCreated_)
            return refuse(s, QStringLiteral("second first registration on one connection"));
        const QString key = randomKeyText();
        id = state_.store.addComputer(key, req->token);
        if (id <= 0)
            return refuse(s, QStringLiteral("computer not stored: ") + state_.store.lastError());
        s->computerCreated_ = true;
        logLine("computers", s->peer() + QStringLiteral(" registered computer %1").arg(id));
        reply = {QStringLiteral("s_cf_login_reply0.5"), QString::number(id), key, s->peerAddress().toString(),
                 state_.secondServer()};
    } else {
        const auto key = state_.store.computerKey(req->computerId);
        if (!key || *key != req->key) {
            ++s->failedLogins_;
            logLine("computers", s->peer() + QStringLiteral(" computer %1: wrong id or key, no login").arg(req->computerId));
            if (s->failedLogins_ >= kMaxFailedLogins)
                s->close(QStringLiteral("too many failed computer logins"));
            return;
        }
        id = req->computerId;
        const bool rebuild = !state_.store.computerSynced(id);
        logLine("computers", s->peer() + QStringLiteral(" computer %1 logged in%2").arg(id).arg(rebuild ? QStringLiteral(", rebuild asked") : QString()));
        reply = {QStringLiteral("s_cc_login_reply0.5"), state_.secondServer(), rebuild ? QStringLiteral("1") : QStringLiteral("0")};
    }
    if (ControlSession *old = state_.node(id); old && old != s) {
        old->kind_ = ControlSession::Kind::None;
        old->close(QStringLiteral("computer %1 logged in again elsewhere").arg(id));
    }
    if (s->kind_ == ControlSession::Kind::Computer && s->computerId_ != id && state_.node(s->computerId_) == s)
        state_.nodes.remove(s->computerId_);
    s->kind_ = ControlSession::Kind::Computer;
    s->computerId_ = id;
    state_.nodes.insert(id, s);
    s->send(reply);
}

void ControlServer::onUpdateBatch(ControlSession *s, const Message &m)
{
    QString why;
    const auto b = parseUpdateBatch(m, &why);
    if (!b)
        return refuse(s, QStringLiteral("batch not stored: ") + why);
    if (s->kind_ != ControlSession::Kind::Computer || s->computerId_ != b->computerId)
        return refuse(s, QStringLiteral("batch for computer %1 on a connection of %2").arg(b->computerId).arg(s->computerId_));
    if (!state_.store.applyBatch(*b))
        return refuse(s, QStringLiteral("batch not stored: ") + state_.store.lastError());
    logLine("index", QStringLiteral("computer %1: batch mode %2 with %3 records stored (%4 indexed)")
                         .arg(b->computerId).arg(b->mode).arg(b->records.size()).arg(state_.store.indexSize(b->computerId)));
    s->send({QStringLiteral("s_c_update_reply0.5")});
}

} // namespace zv::server
