#pragma once
// The whole server in one process: control channel, UDP service, relay and
// search portal over one state and one database.
#include "server/config.h"
#include "server/serverstate.h"

#include <QObject>
#include <memory>

class QHttpServer;

namespace zv::server {

class ControlServer;
class UdpService;
class RelayServer;

class Server : public QObject {
    Q_OBJECT
public:
    explicit Server(const ServerConfig &config, QObject *parent = nullptr);
    ~Server() override;
    // Opens the database and every listener; false (logged) when one fails.
    bool start();
    void stop();
    ServerState &state() { return state_; }

private:
    bool startPortal();

    ServerState state_;
    std::unique_ptr<ControlServer> control_;
    std::unique_ptr<UdpService> udp_;
    std::unique_ptr<RelayServer> relay_;
#ifdef ZORVAN_HAVE_HTTPSERVER
    std::unique_ptr<QHttpServer> http_;
#endif
};

} // namespace zv::server
