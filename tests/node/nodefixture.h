#pragma once
// A node directory in a sandbox (pc.dll, local.res) and a Node pointed at a
// scripted server with short intervals.
#include "common/nat/natlog.h"
#include "common/store/store.h"
#include "node/node.h"
#include "platform/textfile.h"
#include "tests/node/scriptedserver.h"

#include <gtest/gtest.h>

namespace zv::node::test {

// Binds the socket to 127.0.0.1 on a free port and reports a fixed type.
class FakeNatProbe : public NatProbe {
public:
    NatOutcome bindAndClassify(QUdpSocket &socket, const QStringList &, const QString &firstServer, quint16,
                               const QString &secondServer, const QString &natLogPath) override
    {
        ++runs;
        servers = firstServer + u'|' + secondServer;
        socket.close();
        NatOutcome out;
        out.bound = socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        out.localAddress = QStringLiteral("127.0.0.1");
        out.localPort = socket.localPort();
        out.natType = type;
        nat::writeStoredNatType(natLogPath, type);
        return out;
    }
    bool offer(const QByteArray &datagram, const QHostAddress &) override
    {
        offered.append(datagram);
        return false;
    }
    int type = 1;
    int runs = 0;
    QString servers;
    QList<QByteArray> offered;
};

inline NodeTimings shortTimings()
{
    NodeTimings t;
    t.attemptMs = 400;
    t.loginMs = 1000;
    t.silenceRetryMs = 300;
    t.silenceDropMs = 3000;
    t.heartbeatMs = 150;
    t.keepAliveMs = 100;
    t.updateMs = 200;
    t.relay.connectWaitMs = 1000;
    t.relay.keyWaitMs = 1000;
    return t;
}

class NodeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        writePcDll(0, QString());
        QString error;
        ASSERT_TRUE(store::createLibrary(box.path(QStringLiteral("local.res")), &error)) << error.toStdString();
        ASSERT_TRUE(db.open(box.path(QStringLiteral("local.res")), &error)) << error.toStdString();
    }
    void writePcDll(qint32 id, const QString &key)
    {
        platform::writeLines(box.path(QStringLiteral("pc.dll")),
                             {QStringLiteral("Zorvan_C"), QStringLiteral("1"), QStringLiteral("x"), QString::number(id), key,
                              QStringLiteral("tail")});
    }
    NodeSettings settings(ScriptedServer &server) const
    {
        NodeSettings s;
        s.directory = box.path();
        s.deploy.serverAddress = QStringLiteral("127.0.0.1");
        s.deploy.serverHost = QStringLiteral("127.0.0.1");
        s.deploy.tcpPort = server.tcpPort();
        s.deploy.udpPort = server.udpPort();
        s.deploy.localAddresses = {QStringLiteral("127.0.0.1")};
        s.timings = shortTimings();
        return s;
    }
    std::unique_ptr<Node> makeNode(ScriptedServer &server, NatProbe &probe)
    {
        const auto loaded = loadIdentity(box.path(QStringLiteral("pc.dll")));
        EXPECT_TRUE(loaded.identity) << loaded.error.toStdString();
        return std::make_unique<Node>(settings(server), loaded.identity.value_or(ComputerIdentity{}), db, probe);
    }
    QStringList pcDll() const { return platform::readLines(box.path(QStringLiteral("pc.dll"))).value_or(QStringList{}); }

    zv::test::Sandbox box;
    store::Database db;
    FakeNatProbe probe;
};

} // namespace zv::node::test
