#pragma once
// The node's NAT probe over the shared detector (node variant: C_ verbs,
// ports 3300 to 3999, always detects, writes line 2 of nat_type.log).
#include "common/nat/natdetector.h"
#include "node/natprobe.h"

#include <functional>

namespace zv::node {

class SharedNatProbe final : public NatProbe {
public:
    explicit SharedNatProbe(platform::StopwatchTable &stopwatches);

    nat::NatDetector &detector() { return detector_; }
    // Where the detector's trace lines go.
    void setLog(std::function<void(const QString &)> log);

    NatOutcome bindAndClassify(QUdpSocket &socket, const QStringList &addresses, const QString &firstServer,
                               quint16 udpPort, const QString &secondServer, const QString &natLogPath) override;
    bool offer(const QByteArray &datagram, const QHostAddress &sender) override;

private:
    nat::NatDetector detector_;
};

} // namespace zv::node
