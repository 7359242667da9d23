#pragma once
// The serving engine's transport over the node's UDP socket, with the steady
// clock and a QTimer as the sending tick.
#include "node/serving.h"

#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <functional>

namespace zv::node {

class UdpServingTransport final : public ServingTransport {
public:
    using Clock = std::function<std::chrono::nanoseconds()>;
    // socket and tick stay owned by the caller.
    UdpServingTransport(QUdpSocket *socket, QTimer *sendingTick, Clock clock = {});

    void setSocket(QUdpSocket *socket) { socket_ = socket; }
    void sendDatagram(const QString &address, quint16 port, const QByteArray &bytes) override;
    std::chrono::nanoseconds now() const override;
    // Sleeps 1 ms without processing events, so that a tick is never entered
    // again while it walks the table.
    void pause() override;
    void setSendingTick(bool on) override;

private:
    QPointer<QUdpSocket> socket_;
    QPointer<QTimer> tick_;
    Clock clock_;
};

// The steady clock as the node's stopwatches read it.
std::chrono::nanoseconds steadyNow();

} // namespace zv::node
