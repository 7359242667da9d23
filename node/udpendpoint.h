#pragma once
// The node's UDP socket: binding, reading datagrams through the 1,034-byte
// receive buffer, and handing them first to an observer (registration and NAT
// detection replies) and then to the serving engine. Owns Timer_udp_trans.
#include "node/serving.h"
#include "node/udptransport.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <memory>

namespace zv::node {

class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    using Observer = std::function<void(const QString &address, quint16 port, const QByteArray &datagram)>;

    UdpEndpoint(ServingLibrary &library, FileAccess &files, QObject *parent = nullptr,
                ServingEngine::Timings timings = {});
    ~UdpEndpoint() override;

    // Makes the socket inactive and binds it to address:port; false when the
    // port cannot be taken.
    bool bind(const QString &address, quint16 port);
    void close();
    bool bound() const;
    QString localAddress() const;
    quint16 localPort() const;

    // Sends bytes to address:port; false when the socket is not bound or the
    // send failed.
    bool send(const QString &address, quint16 port, const QByteArray &bytes);

    void setObserver(Observer observer) { observer_ = std::move(observer); }
    QUdpSocket *socket() { return socket_; }
    ServingEngine &engine() { return *engine_; }
    QTimer *sendingTick() { return Timer_udp_trans; }

private:
    void readPending();

    QUdpSocket *socket_;
    QTimer *Timer_udp_trans;
    std::unique_ptr<UdpServingTransport> transport_;
    std::unique_ptr<ServingEngine> engine_;
    Observer observer_;
};

} // namespace zv::node
