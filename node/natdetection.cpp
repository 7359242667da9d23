#include "node/natdetection.h"

namespace zv::node {

SharedNatProbe::SharedNatProbe(platform::StopwatchTable &stopwatches) : detector_(nat::Variant::Node, stopwatches) {}

NatOutcome SharedNatProbe::bindAndClassify(QUdpSocket &socket, const QStringList &addresses,
                                           const QString &firstServer, quint16 udpPort, const QString &secondServer,
                                           const QString &natLogPath)
{
    detector_.setServers(nat::NatServers::make(firstServer, secondServer, udpPort));
    const nat::NatBindResult r = detector_.bindAndClassify(socket, addresses, natLogPath);
    NatOutcome out;
    out.bound = r.bound;
    out.localAddress = r.localAddress;
    out.localPort = r.localPort;
    out.natType = nat::isValidNatType(r.natType) ? r.natType : 0;
    return out;
}

void SharedNatProbe::setLog(std::function<void(const QString &)> log)
{
    QObject::disconnect(&detector_, &nat::NatDetector::trace, nullptr, nullptr);
    QObject::connect(&detector_, &nat::NatDetector::trace, &detector_, [log = std::move(log)](const QString &line) {
        if (log)
            log(line);
    });
}

bool SharedNatProbe::offer(const QByteArray &datagram, const QHostAddress &sender)
{
    return detector_.handleDatagram(datagram, sender);
}

} // namespace zv::node
