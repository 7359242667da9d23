#include "server/config.h"

#include <QCommandLineParser>
#include <QDir>

namespace zv::server {

static std::optional<quint16> parsePort(const QString &text)
{
    bool ok = false;
    const uint v = text.toUInt(&ok);
    if (!ok || v > 65535)
        return std::nullopt;
    return static_cast<quint16>(v);
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Zorvan central server, relay server and search portal.\n"
        "Control channel on A:tcp-port, NAT detection on A:udp-port, A:udp-port+1, B:udp-port+1 and "
        "B:udp-port+2, relay on A:relay-port, portal on A:http-port."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QStringLiteral("Folder of the server database (created when missing)."), QStringLiteral("DIR"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("First address A (default 127.0.0.1)."), QStringLiteral("A"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption alt(QStringLiteral("alt-address"), QStringLiteral("Second address B, the second detection server (default 127.0.0.2)."), QStringLiteral("B"), QStringLiteral("127.0.0.2"));
    const QCommandLineOption tcp(QStringLiteral("tcp-port"), QStringLiteral("Control channel port on A (default 80)."), QStringLiteral("P"), QStringLiteral("80"));
    const QCommandLineOption udp(QStringLiteral("udp-port"), QStringLiteral("UDP port U on A (default 80); U+1 on A and B, U+2 on B are used too."), QStringLiteral("U"), QStringLiteral("80"));
    const QCommandLineOption relay(QStringLiteral("relay-port"), QStringLiteral("Relay server port on A (default 8000)."), QStringLiteral("R"), QStringLiteral("8000"));
    const QCommandLineOption relayAddr(QStringLiteral("relay-address"), QStringLiteral("Relay address named to clients and nodes (default A)."), QStringLiteral("ADDR"));
    const QCommandLineOption noRelay(QStringLiteral("no-relay"), QStringLiteral("Runs no relay server; relay requests are answered with port 0."));
    const QCommandLineOption http(QStringLiteral("http-port"), QStringLiteral("Search portal port on A (default 8080)."), QStringLiteral("H"), QStringLiteral("8080"));
    const QCommandLineOption noPortal(QStringLiteral("no-portal"), QStringLiteral("Runs no search portal."));
    const QCommandLineOption policy(QStringLiteral("update-policy"), QStringLiteral("none, optional or mandatory (default none)."), QStringLiteral("POLICY"), QStringLiteral("none"));
    const QCommandLineOption target(QStringLiteral("update-target"), QStringLiteral("Update target named in update replies (path or address)."), QStringLiteral("TARGET"));
    const QCommandLineOption admin(QStringLiteral("admin-token"), QStringLiteral("Enables the portal's admin actions for requests from loopback carrying this token."), QStringLiteral("TOKEN"));
    const QCommandLineOption points(QStringLiteral("initial-points"), QStringLiteral("Points of a new account (default 10)."), QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption maxConn(QStringLiteral("max-connections"), QStringLiteral("Simultaneous control connections (default 1000)."), QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption maxFrame(QStringLiteral("max-frame-kib"), QStringLiteral("Largest accepted message in KiB (default 2048)."), QStringLiteral("KIB"), QStringLiteral("2048"));
    const QCommandLineOption idle(QStringLiteral("idle-timeout"), QStringLiteral("Seconds after which a silent control connection is closed (default 600)."), QStringLiteral("S"), QStringLiteral("600"));
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")}, QStringLiteral("Logs every message, not only connection events and requests."));
    for (const auto *o : {&help, &dataDir, &address, &alt, &tcp, &udp, &relay, &relayAddr, &noRelay, &http, &noPortal,
                          &policy, &target, &admin, &points, &maxConn, &maxFrame, &idle, &verbose})
        p.addOption(*o);

    ParsedCommandLine out;
    if (!p.parse(arguments)) {
        out.exitCode = 2;
        out.message = p.errorText() + u'\n';
        return out;
    }
    if (p.isSet(help)) {
        out.message = p.helpText();
        return out;
    }
    if (!p.positionalArguments().isEmpty()) {
        out.exitCode = 2;
        out.message = QStringLiteral("unexpected argument: %1\n").arg(p.positionalArguments().first());
        return out;
    }
    auto fail = [&out](const QString &text) {
        out.exitCode = 2;
        out.message = text + u'\n';
        return out;
    };

    ServerConfig c;
    c.dataDir = p.isSet(dataDir) ? p.value(dataDir) : QDir::currentPath() + QStringLiteral("/server-data");
    if (!c.address.setAddress(p.value(address)) || c.address.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("--address needs an IPv4 address"));
    if (!c.altAddress.setAddress(p.value(alt)) || c.altAddress.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("--alt-address needs an IPv4 address"));
    if (c.address == c.altAddress)
        return fail(QStringLiteral("--address and --alt-address must differ"));
    const struct {
        const QCommandLineOption *option;
        quint16 *port;
    } ports[] = {{&tcp, &c.tcpPort}, {&udp, &c.udpPort}, {&relay, &c.relayPort}, {&http, &c.httpPort}};
    for (const auto &entry : ports) {
        const auto v = parsePort(p.value(*entry.option));
        if (!v)
            return fail(QStringLiteral("--%1 needs a port number").arg(entry.option->names().constFirst()));
        *entry.port = *v;
    }
    if (c.udpPort > 65533)
        return fail(QStringLiteral("--udp-port must leave room for U+2"));
    c.relayEnabled = !p.isSet(noRelay);
    c.portalEnabled = !p.isSet(noPortal);
    c.relayPublicAddress = p.isSet(relayAddr) ? p.value(relayAddr) : c.address.toString();
    const QString pol = p.value(policy);
    if (pol == u"none")
        c.updatePolicy = UpdatePolicy::None;
    else if (pol == u"optional")
        c.updatePolicy = UpdatePolicy::Optional;
    else if (pol == u"mandatory")
        c.updatePolicy = UpdatePolicy::Mandatory;
    else
        return fail(QStringLiteral("--update-policy is none, optional or mandatory"));
    c.updateTarget = p.value(target);
    if (c.updatePolicy != UpdatePolicy::None && c.updateTarget.isEmpty())
        return fail(QStringLiteral("--update-policy optional or mandatory needs --update-target"));
    c.adminToken = p.value(admin);
    bool ok = false;
    c.initialPoints = p.value(points).toInt(&ok);
    if (!ok || c.initialPoints < 0)
        return fail(QStringLiteral("--initial-points needs a number"));
    c.maxConnections = p.value(maxConn).toInt(&ok);
    if (!ok || c.maxConnections < 1 || c.maxConnections > 100000)
        return fail(QStringLiteral("--max-connections needs a number from 1 to 100000"));
    const int kib = p.value(maxFrame).toInt(&ok);
    if (!ok || kib < 4 || kib > 65536)
        return fail(QStringLiteral("--max-frame-kib needs a number from 4 to 65536"));
    c.maxFrameBytes = qsizetype(kib) * 1024;
    c.idleTimeoutSec = p.value(idle).toInt(&ok);
    if (!ok || c.idleTimeoutSec < 1)
        return fail(QStringLiteral("--idle-timeout needs a number of seconds"));
    c.verbose = p.isSet(verbose);
    out.config = c;
    return out;
}

} // namespace zv::server
