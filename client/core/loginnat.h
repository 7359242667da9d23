#pragma once
// The client's main UDP socket and its NAT type, obtained after each login:
// the socket is rebound over the machine's IPv4 addresses (local ports 6300
// to 6999) and the type adopted from computer/nat_type.log or detected.
#include "client/core/clientstate.h"
#include "common/nat/natdetector.h"

#include <QObject>
#include <QUdpSocket>

namespace zv::client {

class LoginNat : public QObject {
    Q_OBJECT
public:
    explicit LoginNat(ClientState &state, QObject *parent = nullptr);

    QUdpSocket *udpSocket() const { return socket_; }
    nat::NatDetector &detector() { return detector_; }

    // Rebinds the main socket and obtains the NAT type into the shared state.
    // The detection servers are the shared state's two; the addresses are the
    // configured local addresses, else the machine's.
    nat::NatBindResult obtain();
    const nat::NatBindResult &lastResult() const { return last_; }

    // Ends a running detection at its next poll.
    void cancel() { detector_.cancel(); }

signals:
    void trace(const QString &line);
    // "UDP 本地绑定失败。"
    void message(const QString &text);
    // The login window's hint while detecting.
    void hint(const QString &text);

private:
    ClientState &state_;
    QUdpSocket *socket_;
    nat::NatDetector detector_;
    nat::NatBindResult last_;
};

} // namespace zv::client
