#include "server/serverstate.h"

#include "server/controlserver.h"

namespace zv::server {

QString endpointText(const QString &address, int port)
{
    return address + u':' + QString::number(port);
}

void ServerState::setEndpoint(qint64 computerId, const ComputerEndpoint &e)
{
    auto it = endpoints.find(computerId);
    if (it != endpoints.end()) {
        const QString old = endpointText(it->endpoint.publicAddress, it->endpoint.publicPort);
        if (endpointOwners.value(old) == computerId)
            endpointOwners.remove(old);
    }
    LiveEndpoint &live = endpoints[computerId];
    live.endpoint = e;
    live.seen.start();
    endpointOwners.insert(endpointText(e.publicAddress, e.publicPort), computerId);
}

} // namespace zv::server

namespace zv::server {

ControlSession *ServerState::node(qint64 computerId) const
{
    return nodes.value(computerId).data();
}

} // namespace zv::server
