#include "server/server.h"

#include "server/controlserver.h"
#include "server/portalpage.h"
#include "server/relayserver.h"
#include "server/serverlog.h"
#include "server/udpservice.h"

#ifdef ZORVAN_HAVE_HTTPSERVER
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#endif

namespace zv::server {

Server::Server(const ServerConfig &config, QObject *parent) : QObject(parent)
{
    state_.config = config;
    setVerbose(config.verbose);
}

Server::~Server()
{
    stop();
}

bool Server::start()
{
    if (!state_.store.open(state_.config.dataDir)) {
        logLine("store", QStringLiteral("cannot open the database in %1: %2").arg(state_.config.dataDir, state_.store.lastError()));
        return false;
    }
    logLine("store", QStringLiteral("database %1: %2 users, %3 index entries")
                         .arg(state_.store.path()).arg(state_.store.userCount()).arg(state_.store.indexSize()));
    control_ = std::make_unique<ControlServer>(state_);
    udp_ = std::make_unique<UdpService>(state_);
    if (!control_->listen() || !udp_->bind())
        return false;
    if (state_.config.relayEnabled) {
        relay_ = std::make_unique<RelayServer>(state_);
        if (!relay_->listen())
            return false;
    }
    if (state_.config.portalEnabled && !startPortal())
        return false;
    logLine("server", QStringLiteral("ready"));
    return true;
}

void Server::stop()
{
#ifdef ZORVAN_HAVE_HTTPSERVER
    http_.reset();
#endif
    relay_.reset();
    udp_.reset();
    control_.reset();
}

#ifdef ZORVAN_HAVE_HTTPSERVER
// A value of a form submitted by GET: "+" stands for a blank.
static QString formValue(const QString &encodedQuery, const QString &key)
{
    const QStringList pairs = encodedQuery.split(u'&', Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const auto eq = pair.indexOf(u'=');
        const QString name = eq < 0 ? pair : pair.left(eq);
        if (name != key)
            continue;
        QString value = eq < 0 ? QString() : pair.mid(eq + 1);
        value.replace(u'+', u' ');
        return QUrl::fromPercentEncoding(value.toLatin1());
    }
    return {};
}
#endif

bool Server::startPortal()
{
#ifdef ZORVAN_HAVE_HTTPSERVER
    http_ = std::make_unique<QHttpServer>();
    http_->route(QStringLiteral("/"), [this](const QHttpServerRequest &req) {
        const QString q = formValue(req.url().query(QUrl::FullyEncoded), QStringLiteral("q")).left(200);
        const bool searched = !q.trimmed().isEmpty();
        QList<PortalHit> hits;
        if (searched)
            hits = state_.store.search(q, 100);
        PortalStats stats{state_.store.indexSize(), int(state_.nodes.size()), state_.store.userCount()};
        logLine("portal", QStringLiteral("%1 search \"%2\": %3 hits").arg(req.remoteAddress().toString(), q).arg(hits.size()));
        return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"), renderPortalPage(q, hits, stats, searched));
    });
    http_->route(QStringLiteral("/admin/exit"), [this](const QHttpServerRequest &req) {
        const QString token = req.query().queryItemValue(QStringLiteral("token"));
        const bool loopback = req.remoteAddress().isLoopback();
        if (state_.config.adminToken.isEmpty() || !loopback || token != state_.config.adminToken) {
            logLine("portal", QStringLiteral("%1 admin action refused").arg(req.remoteAddress().toString()));
            return QHttpServerResponse(QHttpServerResponse::StatusCode::Forbidden);
        }
        bool ok = false;
        const qint64 id = req.query().queryItemValue(QStringLiteral("computer")).toLongLong(&ok);
        if (!ok || !control_->exitNode(id))
            return QHttpServerResponse(QByteArrayLiteral("text/plain"), QByteArrayLiteral("not online\n"),
                                       QHttpServerResponse::StatusCode::NotFound);
        return QHttpServerResponse(QByteArrayLiteral("text/plain"), QByteArrayLiteral("ok\n"));
    });
    const quint16 port = http_->listen(state_.config.address, state_.config.httpPort);
    if (port == 0) {
        logLine("portal", QStringLiteral("cannot listen on %1").arg(endpointText(state_.config.address.toString(), state_.config.httpPort)));
        return false;
    }
    logLine("portal", QStringLiteral("search portal on http://%1/").arg(endpointText(state_.config.address.toString(), port)));
    return true;
#else
    logLine("portal", QStringLiteral("built without Qt HttpServer; no portal"));
    return true;
#endif
}

} // namespace zv::server
