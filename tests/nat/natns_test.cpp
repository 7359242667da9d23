// NAT detection against real Linux address translation: network namespaces
// joined by veth pairs, a router namespace with iptables NAT, the detection
// servers (the reference server with its two addresses) in a "public"
// namespace. Needs root; skipped otherwise.
#include "tests/nat/nat_responder.h"
#include "tests/support/sandbox.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace {

const QString kScript = QStringLiteral(ZV_NETNS_SCRIPT);
const QString kServer = QStringLiteral(ZV_SERVER);
const QString kProbe = QStringLiteral(ZV_NAT_PROBE);

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessRun run(const QString &program, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(program, args);
    ProcessRun r;
    if (!p.waitForStarted(10000)) {
        r.err = p.errorString();
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("timed out");
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err += QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Why this machine cannot run the test, or empty when it can.
QString unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("needs root to create network namespaces (run the suite as root to include it)");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return QStringLiteral("the ip command (iproute2) is missing");
    const ProcessRun list = run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
    if (list.exitCode != 0)
        return QStringLiteral("ip netns does not work here: ") + list.err.trimmed();
    const ProcessRun probe = run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), QStringLiteral("zvn%1-probe").arg(getpid())});
    if (probe.exitCode != 0)
        return QStringLiteral("cannot create network namespaces: ") + probe.err.trimmed();
    run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), QStringLiteral("zvn%1-probe").arg(getpid())});
    return {};
}

// Starts zorvan-server (behind the given command prefix, e.g. "ip netns exec
// NS") with its control channel on 80 and the detection ports U to U+2, and
// waits until it says it is ready.
std::unique_ptr<QProcess> startReferenceServer(QStringList command, const QString &a, const QString &b, quint16 udpPort,
                                               quint16 tcpPort, const QString &dataDir, QString *error)
{
    command << kServer << QStringLiteral("--data-dir") << dataDir << QStringLiteral("--address") << a
            << QStringLiteral("--alt-address") << b << QStringLiteral("--udp-port") << QString::number(udpPort)
            << QStringLiteral("--tcp-port") << QString::number(tcpPort) << QStringLiteral("--no-relay")
            << QStringLiteral("--no-portal");
    auto server = std::make_unique<QProcess>();
    server->setProcessChannelMode(QProcess::MergedChannels);
    const QString program = command.takeFirst();
    server->start(program, command);
    if (!server->waitForStarted(10000)) {
        *error = QStringLiteral("zorvan-server did not start: ") + server->errorString();
        return nullptr;
    }
    QByteArray log;
    while (true) {
        while (server->canReadLine()) {
            const QByteArray line = server->readLine();
            log += line;
            if (line.contains("[server] ready"))
                return server;
        }
        if (!server->waitForReadyRead(20000)) {
            *error = QStringLiteral("zorvan-server not ready: ") + QString::fromLocal8Bit(log + server->readAll());
            server->kill();
            server->waitForFinished(5000);
            return nullptr;
        }
    }
}

// One public network with the detection servers and one site behind a
// router; removed again when the object goes, whatever happened.
class Topology {
public:
    explicit Topology(const QString &prefix) : prefix_(prefix) {}
    ~Topology()
    {
        if (server_) {
            server_->kill();
            server_->waitForFinished(5000);
        }
        run(kScript, {QStringLiteral("down"), prefix_});
    }
    Topology(const Topology &) = delete;
    Topology &operator=(const Topology &) = delete;

    // Builds the namespaces; returns an error text or empty.
    QString build(const QString &mode)
    {
        const ProcessRun pub = run(kScript, {QStringLiteral("public"), prefix_});
        if (pub.exitCode != 0)
            return QStringLiteral("public: ") + pub.err;
        parse(pub.out);
        const ProcessRun site = run(kScript, {QStringLiteral("site"), prefix_, QStringLiteral("1"), mode});
        if (site.exitCode != 0)
            return QStringLiteral("site: ") + site.err;
        parse(site.out);
        return {};
    }

    QString startServer(quint16 udpPort)
    {
        server_ = startReferenceServer({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), value("PUBLIC_NS")},
                                       value("SERVER_A"), value("SERVER_B"), udpPort, 80, data_.path(), &serverError_);
        return server_ ? QString() : serverError_;
    }

    ProcessRun probe(const QString &variant, quint16 udpPort, int timeoutMs)
    {
        return run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), value("HOST_NS"), kProbe,
                                          QStringLiteral("--server"), value("SERVER_A"), QStringLiteral("--alt-server"),
                                          value("SERVER_B"), QStringLiteral("--udp-port"), QString::number(udpPort),
                                          QStringLiteral("--local"), value("HOST_ADDR"), QStringLiteral("--variant"), variant,
                                          QStringLiteral("--timeout-ms"), QString::number(timeoutMs)});
    }

    QString value(const char *key) const { return values_.value(QString::fromLatin1(key)); }

private:
    void parse(const QString &out)
    {
        for (const auto &line : out.split(u'\n', Qt::SkipEmptyParts)) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                values_.insert(line.left(eq), line.mid(eq + 1).trimmed());
        }
    }

    QString prefix_;
    QHash<QString, QString> values_;
    zv::test::Sandbox data_;
    std::unique_ptr<QProcess> server_;
    QString serverError_;
};

struct NsCase {
    const char *name;
    const char *mode;
    const char *variant;
    bool server;
    std::set<int> expected;
};

void PrintTo(const NsCase &c, std::ostream *os) { *os << c.name; }

const NsCase kNsCases[] = {
    {"NoNat_Client", "none", "client", true, {1}},
    {"NoNat_Node", "none", "node", true, {1}},
    {"Masquerade_Client", "masquerade", "client", true, {4}},
    {"Masquerade_Node", "masquerade", "node", true, {4}},
    {"RandomFully_Client", "random", "client", true, {5, 6}},
    {"RandomFully_Node", "random", "node", true, {5, 6}},
    {"FullCone_Client", "fullcone", "client", true, {2}},
    {"FullCone_Node", "fullcone", "node", true, {2}},
    {"UdpBlocked_Client", "block", "client", true, {0}},
    {"NoServer_Node", "none", "node", false, {0}},
};

class NatNamespaces : public ::testing::TestWithParam<NsCase> {
protected:
    static void SetUpTestSuite()
    {
        reason_ = unavailableReason();
        if (!reason_.isEmpty())
            return;
        run(kScript, {QStringLiteral("reap")});
        const ProcessRun check = run(kScript, {QStringLiteral("check")});
        checkError_ = check.exitCode == 0 ? QString() : check.err;
    }

    static inline QString reason_;
    static inline QString checkError_;
    static inline int counter_ = 0;
};

TEST_P(NatNamespaces, ClassifiesRealNat)
{
    if (!reason_.isEmpty())
        GTEST_SKIP() << "network namespace NAT test skipped: " << reason_.toStdString();
    ASSERT_TRUE(checkError_.isEmpty()) << "namespaces work but NAT does not: " << checkError_.toStdString();

    const auto &c = GetParam();
    Topology topology(QStringLiteral("zvn%1-%2").arg(getpid()).arg(++counter_));
    const QString built = topology.build(QString::fromLatin1(c.mode));
    ASSERT_TRUE(built.isEmpty()) << built.toStdString();
    const quint16 udpPort = 80; // the deployed default, with the second server on 82
    if (c.server) {
        const QString started = topology.startServer(udpPort);
        ASSERT_TRUE(started.isEmpty()) << started.toStdString();
    }

    const ProcessRun r = topology.probe(QString::fromLatin1(c.variant), udpPort, 2000);
    const QRegularExpression re(QStringLiteral("nat_type=(-?\\d+)"));
    const auto m = re.match(r.out);
    ASSERT_TRUE(m.hasMatch()) << "probe output: " << r.out.toStdString() << r.err.toStdString();
    const int type = m.captured(1).toInt();
    EXPECT_TRUE(c.expected.count(type)) << "got type " << type << "\n" << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("local=") + topology.value("HOST_ADDR")))
        << r.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, NatNamespaces, ::testing::ValuesIn(kNsCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The probe against the reference server on loopback: no NAT, type 1. Runs
// without root.
TEST(NatTools, ProbeAgainstReferenceServerOnLoopback)
{
    const quint16 base = zv::test::NatResponder::findFreeBase(QHostAddress(QStringLiteral("127.0.0.1")),
                                                              QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(base, 0);
    QTcpServer pick;
    ASSERT_TRUE(pick.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const quint16 tcpPort = pick.serverPort();
    pick.close();
    zv::test::Sandbox data;
    QString error;
    auto server = startReferenceServer({}, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), base, tcpPort, data.path(), &error);
    ASSERT_TRUE(server) << error.toStdString();
    for (const char *variant : {"client", "node"}) {
        const ProcessRun r = run(kProbe, {QStringLiteral("--server"), QStringLiteral("127.0.0.1"), QStringLiteral("--alt-server"),
                                          QStringLiteral("127.0.0.2"), QStringLiteral("--udp-port"), QString::number(base),
                                          QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--variant"),
                                          QString::fromLatin1(variant), QStringLiteral("--timeout-ms"), QStringLiteral("2000")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("nat_type=1"))) << variant << ": " << r.out.toStdString() << r.err.toStdString();
    }
    server->kill();
    server->waitForFinished(5000);
}

} // namespace
