#include "node/udptransport.h"

#include <QHostAddress>
#include <QThread>

namespace zv::node {

std::chrono::nanoseconds steadyNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

UdpServingTransport::UdpServingTransport(QUdpSocket *socket, QTimer *sendingTick, Clock clock)
    : socket_(socket), tick_(sendingTick), clock_(clock ? std::move(clock) : Clock(steadyNow))
{
}

void UdpServingTransport::sendDatagram(const QString &address, quint16 port, const QByteArray &bytes)
{
    if (!socket_ || socket_->state() != QAbstractSocket::BoundState)
        return;
    // A full send buffer loses the datagram, as UDP may; the downloader's
    // lost list and the marker resends recover it.
    socket_->writeDatagram(bytes, QHostAddress(address), port);
}

std::chrono::nanoseconds UdpServingTransport::now() const
{
    return clock_();
}

void UdpServingTransport::pause()
{
    QThread::msleep(1);
}

void UdpServingTransport::setSendingTick(bool on)
{
    if (!tick_)
        return;
    if (on && !tick_->isActive())
        tick_->start();
    else if (!on)
        tick_->stop();
}

} // namespace zv::node
