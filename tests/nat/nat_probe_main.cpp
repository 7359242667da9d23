// Runs one NAT detection the way a program does at login and prints the
// verdict, for the network namespace tests.
#include "common/nat/natdetector.h"
#include "platform/stopwatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QUdpSocket>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("NAT type probe for tests"));
    parser.addHelpOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("first detection server"), QStringLiteral("A"));
    const QCommandLineOption alt(QStringLiteral("alt-server"), QStringLiteral("second detection server"), QStringLiteral("B"));
    const QCommandLineOption port(QStringLiteral("udp-port"), QStringLiteral("UDP port"), QStringLiteral("U"), QStringLiteral("80"));
    const QCommandLineOption local(QStringLiteral("local"), QStringLiteral("local IPv4 address (repeatable)"), QStringLiteral("ADDR"));
    const QCommandLineOption variant(QStringLiteral("variant"), QStringLiteral("client or node"), QStringLiteral("V"),
                                     QStringLiteral("client"));
    const QCommandLineOption timeout(QStringLiteral("timeout-ms"), QStringLiteral("reply wait"), QStringLiteral("MS"),
                                     QStringLiteral("10000"));
    const QCommandLineOption log(QStringLiteral("nat-log"), QStringLiteral("nat_type.log path"), QStringLiteral("PATH"));
    parser.addOptions({server, alt, port, local, variant, timeout, log});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = false;
    const int udpPort = parser.value(port).toInt(&ok);
    if (!ok || udpPort <= 0 || udpPort > 65535 || !parser.isSet(server) || !parser.isSet(local)) {
        err << "need --server, --local and a valid --udp-port\n";
        return 2;
    }
    const auto v = parser.value(variant) == QStringLiteral("node") ? zv::nat::Variant::Node : zv::nat::Variant::Client;

    zv::platform::StopwatchTable stopwatches;
    zv::nat::NatDetector detector(v, stopwatches);
    detector.setServers(zv::nat::NatServers::make(parser.value(server), parser.value(alt), static_cast<quint16>(udpPort)));
    zv::nat::NatTimings timings;
    timings.replyTimeoutMs = std::max(1, parser.value(timeout).toInt());
    detector.setTimings(timings);
    QObject::connect(&detector, &zv::nat::NatDetector::trace, &detector, [&err](const QString &line) {
        err << line << '\n';
        err.flush();
    });

    QUdpSocket socket;
    detector.attach(&socket);
    const QString logPath = parser.isSet(log) ? parser.value(log) : QStringLiteral("/nonexistent/nat_type.log");
    const auto result = detector.bindAndClassify(socket, parser.values(local), logPath);
    out << "local=" << result.localAddress << ':' << result.localPort << '\n';
    out << "nat_type=" << result.natType << '\n';
    return result.bound ? 0 : 1;
}
