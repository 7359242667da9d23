#include "client/core/loginnat.h"

#include "common/nat/natlog.h"
#include "platform/netaddr.h"

namespace zv::client {

LoginNat::LoginNat(ClientState &state, QObject *parent)
    : QObject(parent), state_(state), socket_(new QUdpSocket(this)),
      detector_(nat::Variant::Client, state.stopwatches, this)
{
    socket_->setObjectName(QStringLiteral("IdUDPServer1"));
    detector_.setObjectName(QStringLiteral("NatDetector"));
    detector_.attach(socket_);
    connect(&detector_, &nat::NatDetector::trace, this, &LoginNat::trace);
    connect(&detector_, &nat::NatDetector::message, this, &LoginNat::message);
    connect(&detector_, &nat::NatDetector::hint, this, &LoginNat::hint);
}

nat::NatBindResult LoginNat::obtain()
{
    detector_.setNatType(state_.natType);
    detector_.setServers(
        nat::NatServers::make(state_.firstDetectionServer, state_.secondDetectionServer, state_.serverUdpPort));
    const QStringList addresses = platform::localIPv4Addresses(state_.deploy.localAddresses);
    last_ = detector_.bindAndClassify(*socket_, addresses, state_.computerFile(nat::natLogFileName()));
    state_.natType = detector_.natType();
    emit trace(QStringLiteral("nat_type=%1").arg(state_.natType));
    return last_;
}

} // namespace zv::client
