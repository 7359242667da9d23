#include "node/udpendpoint.h"

#include <QNetworkDatagram>

namespace zv::node {

UdpEndpoint::UdpEndpoint(ServingLibrary &library, FileAccess &files, QObject *parent,
                         ServingEngine::Timings timings)
    : QObject(parent), socket_(new QUdpSocket(this)), Timer_udp_trans(new QTimer(this))
{
    Timer_udp_trans->setObjectName(QStringLiteral("Timer_udp_trans"));
    Timer_udp_trans->setInterval(1);
    Timer_udp_trans->setTimerType(Qt::PreciseTimer);
    transport_ = std::make_unique<UdpServingTransport>(socket_, Timer_udp_trans);
    engine_ = std::make_unique<ServingEngine>(*transport_, library, files, timings);
    connect(Timer_udp_trans, &QTimer::timeout, this, [this] { engine_->tick(); });
    connect(socket_, &QUdpSocket::readyRead, this, &UdpEndpoint::readPending);
}

UdpEndpoint::~UdpEndpoint() = default;

bool UdpEndpoint::bind(const QString &address, quint16 port)
{
    socket_->abort();
    return socket_->bind(QHostAddress(address), port);
}

void UdpEndpoint::close()
{
    socket_->abort();
}

bool UdpEndpoint::bound() const
{
    return socket_->state() == QAbstractSocket::BoundState;
}

QString UdpEndpoint::localAddress() const
{
    return socket_->localAddress().toString();
}

quint16 UdpEndpoint::localPort() const
{
    return socket_->localPort();
}

bool UdpEndpoint::send(const QString &address, quint16 port, const QByteArray &bytes)
{
    if (!bound())
        return false;
    return socket_->writeDatagram(bytes, QHostAddress(address), port) == bytes.size();
}

void UdpEndpoint::readPending()
{
    // Every handler may run nested event loops (NAT detection waits); the
    // loop re-checks the socket each time round.
    QByteArray buffer(kDatagramLimit, Qt::Uninitialized);
    while (socket_->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 port = 0;
        const qint64 n = socket_->readDatagram(buffer.data(), buffer.size(), &from, &port);
        if (n < 0)
            break;
        bool v4 = false;
        const quint32 ip = from.toIPv4Address(&v4);
        const QString address = v4 ? QHostAddress(ip).toString() : from.toString();
        const QByteArray datagram = buffer.left(n);
        if (observer_)
            observer_(address, port, datagram);
        engine_->handleDatagram(address, port, datagram);
    }
}

} // namespace zv::node
