#pragma once
// The server's settings, taken from its command line.
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace zv::server {

enum class UpdatePolicy { None, Optional, Mandatory };

struct ServerConfig {
    QString dataDir;
    QHostAddress address{QStringLiteral("127.0.0.1")};    // A
    QHostAddress altAddress{QStringLiteral("127.0.0.2")}; // B, the second detection server
    quint16 tcpPort = 80;
    quint16 udpPort = 80;
    quint16 relayPort = 8000;
    quint16 httpPort = 8080;
    bool relayEnabled = true;
    bool portalEnabled = true;
    // The relay address handed to clients and nodes; A unless set.
    QString relayPublicAddress;
    UpdatePolicy updatePolicy = UpdatePolicy::None;
    QString updateTarget;
    QString adminToken;          // empty: the admin actions of the portal are off
    int initialPoints = 10;
    int maxConnections = 1000;   // control channel
    int maxRelayConnections = 400;
    qsizetype maxFrameBytes = 2 * 1024 * 1024;
    int idleTimeoutSec = 600;    // control connections without any message
    bool verbose = false;
};

struct ParsedCommandLine {
    std::optional<ServerConfig> config; // nullopt: exit with exitCode after printing message
    int exitCode = 0;
    QString message;
};

// Parses the program's arguments (argv[0] first).
ParsedCommandLine parseCommandLine(const QStringList &arguments);

} // namespace zv::server
