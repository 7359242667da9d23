#pragma once
// What the control channel, the UDP service and the relay share while the
// server runs: the settings, the database and the nodes that are online.
#include "server/config.h"
#include "server/serverstore.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>

namespace zv::server {

class ControlSession;

struct LiveEndpoint {
    ComputerEndpoint endpoint;
    QElapsedTimer seen; // restarted by registrations and keep-alives
};

struct ServerState {
    ServerConfig config;
    ServerStore store;
    // Computers logged in on the control channel, by computer id.
    QHash<qint64, QPointer<ControlSession>> nodes;
    // UDP endpoints registered since the server started, by computer id, and
    // the reverse map "address:port" -> computer id.
    QHash<qint64, LiveEndpoint> endpoints;
    QHash<QString, qint64> endpointOwners;

    QString secondServer() const { return config.altAddress.toString(); }
    ControlSession *node(qint64 computerId) const;
    void setEndpoint(qint64 computerId, const ComputerEndpoint &e);
};

QString endpointText(const QString &address, int port);

} // namespace zv::server
