// NAT detection against real Linux address translation: network namespaces
// joined by veth pairs, a router namespace with iptables NAT, the detection
// servers in a "public" namespace. Needs root; skipped otherwise.
#include "tests/nat/nat_responder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace {

const QString kScript = QStringLiteral(ZV_NETNS_SCRIPT);
const QString kResponder = QStringLiteral(ZV_NAT_RESPONDER);
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

// One public network with the detection servers and one site behind a
// router; removed again when the object goes, whatever happened.
class Topology {
public:
    explicit Topology(const QString &prefix) : prefix_(prefix) {}
    ~Topology()
    {
        if (responder_) {
            responder_->kill();
            responder_->waitForFinished(5000);
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

    QString startResponder(quint16 udpPort)
    {
        responder_ = std::make_unique<QProcess>();
        responder_->setProcessChannelMode(QProcess::SeparateChannels);
        responder_->start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), value("PUBLIC_NS"), kResponder,
                                                 QStringLiteral("--address"), value("SERVER_A"), QStringLiteral("--alt-address"),
                                                 value("SERVER_B"), QStringLiteral("--udp-port"), QString::number(udpPort)});
        if (!responder_->waitForStarted(10000))
            return QStringLiteral("responder did not start: ") + responder_->errorString();
        while (!responder_->canReadLine()) {
            if (!responder_->waitForReadyRead(20000))
                return QStringLiteral("responder not ready: ") + QString::fromLocal8Bit(responder_->readAllStandardError());
        }
        const QByteArray line = responder_->readLine().trimmed();
        return line == "ready" ? QString() : QStringLiteral("responder said: ") + QString::fromLocal8Bit(line);
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
    std::unique_ptr<QProcess> responder_;
};

struct NsCase {
    const char *name;
    const char *mode;
    const char *variant;
    bool responder;
    std::set<int> expected;
};

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
    if (c.responder) {
        const QString started = topology.startResponder(udpPort);
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

// The two helper programs themselves, on loopback: no NAT, type 1.
TEST(NatTools, ProbeAgainstResponderOnLoopback)
{
    QProcess responder;
    const quint16 base = zv::test::NatResponder::findFreeBase(QHostAddress(QStringLiteral("127.0.0.1")),
                                                              QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(base, 0);
    responder.start(kResponder, {QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--alt-address"),
                                 QStringLiteral("127.0.0.2"), QStringLiteral("--udp-port"), QString::number(base)});
    ASSERT_TRUE(responder.waitForStarted(10000));
    while (!responder.canReadLine())
        ASSERT_TRUE(responder.waitForReadyRead(20000)) << responder.readAllStandardError().toStdString();
    ASSERT_EQ(responder.readLine().trimmed(), QByteArray("ready"));
    const ProcessRun r = run(kProbe, {QStringLiteral("--server"), QStringLiteral("127.0.0.1"), QStringLiteral("--alt-server"),
                               QStringLiteral("127.0.0.2"), QStringLiteral("--udp-port"), QString::number(base),
                               QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--timeout-ms"),
                               QStringLiteral("2000")});
    responder.kill();
    responder.waitForFinished(5000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("nat_type=1"))) << r.out.toStdString() << r.err.toStdString();
}

} // namespace
