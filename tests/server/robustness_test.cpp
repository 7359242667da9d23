// Bad input does not bring the server down nor make its memory grow without bound.
#include "tests/server/serverhelpers.h"
#include "tests/support/sandbox.h"

#include <QRandomGenerator>
#include <iostream>
#include <gtest/gtest.h>

using namespace zv;
using namespace zv::test;

namespace {

class ServerRobustness : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.output().toStdString(); }
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << server.output().toStdString();
    }

    // Another client is still answered.
    void expectAlive()
    {
        ASSERT_TRUE(server.running());
        FrameClient c;
        ASSERT_TRUE(c.connectTo(server.address(), server.tcpPort()));
        EXPECT_TRUE(c.request({QStringLiteral("U_HAND0.5")}, QString()));
    }

    ServerFixture server;
};

TEST_F(ServerRobustness, HugeFrameWithoutClosingLineIsCutOffWithBoundedMemory)
{
    const qint64 before = server.rssKiB();
    ASSERT_GT(before, 0);
    FrameClient bad;
    ASSERT_TRUE(bad.connectTo(server.address(), server.tcpPort()));
    const QByteArray chunk(1024 * 1024, 'x');
    qint64 sent = 0;
    qint64 peak = before;
    for (int i = 0; i < 100 && bad.connected(); ++i) {
        bad.socket().write(chunk);
        waitFor([&] { return bad.socket().bytesToWrite() < 256 * 1024 || !bad.connected(); }, 5000);
        sent += chunk.size();
        peak = std::max(peak, server.rssKiB());
    }
    // The server closed the connection long before 100 MiB arrived.
    EXPECT_TRUE(waitFor([&] { return !bad.connected(); }, 10000));
    peak = std::max(peak, server.rssKiB());
    std::cout << "server RSS before " << before << " KiB, peak " << peak << " KiB, " << sent / (1024 * 1024)
              << " MiB written before the server closed\n";
    EXPECT_LT(peak - before, 64 * 1024) << "RSS before " << before << " KiB, peak " << peak << " KiB";
    expectAlive();
    EXPECT_TRUE(server.output().contains(QStringLiteral("without a closing line")));
}

TEST_F(ServerRobustness, GarbageBytesAreIgnored)
{
    FrameClient bad;
    ASSERT_TRUE(bad.connectTo(server.address(), server.tcpPort()));
    QByteArray junk(256 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (auto &b : junk)
        b = char(gen.bounded(256));
    // Closing lines here and there turn parts of the junk into messages.
    for (int i = 0; i < junk.size(); i += 997)
        junk.replace(i, 3, "|\r\n");
    bad.sendRaw(junk);
    bad.sendRaw(QByteArray("\r\n|\r\n|\r\n\0\0\0\r\n|\r\n", 14));
    bad.quietFor(300);
    expectAlive();
    // Scrambled garbage with the right key too.
    bad.send({QStringLiteral("U_LOGIN0.3")});
    bad.send({QStringLiteral("U_SEARCH0.5"), QString(5000, u'x'), QStringLiteral("y")});
    bad.send({QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), QStringLiteral("1"), QStringLiteral("2")});
    bad.send({QStringLiteral("U_ASKFOR_T0.5"), QStringLiteral("zz")});
    bad.send({QStringLiteral("NONSENSE")});
    expectAlive();
}

TEST_F(ServerRobustness, BatchWithWrongLineCountIsNotConfirmed)
{
    FrameClient node;
    ASSERT_TRUE(node.connectTo(server.address(), server.tcpPort()));
    const NodeLogin n = registerComputer(node);
    ASSERT_GT(n.id, 0);
    QStringList wrong = batch(n.id, 1, {record(QStringLiteral("a.doc"), 10, QStringLiteral("10!1!1!0!"), 1, 3, {QStringLiteral("one")})});
    wrong[4 + 13] = QStringLiteral("3"); // says three description lines, holds one
    EXPECT_FALSE(node.request(wrong, QStringLiteral("s_c_update_reply0.5"), 800));
    // The connection still works and a sound batch is stored.
    EXPECT_TRUE(node.request(batch(n.id, 1, {record(QStringLiteral("a.doc"), 10, QStringLiteral("10!1!1!0!"), 1)}), QStringLiteral("s_c_update_reply0.5")));
    EXPECT_TRUE(server.output().contains(QStringLiteral("batch not stored")));
    expectAlive();
}

TEST_F(ServerRobustness, PieceRequestForAnUnknownNodeGetsNothing)
{
    FrameClient link;
    ASSERT_TRUE(link.connectTo(server.address(), server.relayPort()));
    link.setRawMode(true);
    link.send({QStringLiteral("U_LINK0.5"), QStringLiteral("987654"), QStringLiteral("70000!1!1!0!"), QStringLiteral("0"), QStringLiteral("0")});
    link.send({QStringLiteral("U_LINK0.5"), QStringLiteral("x"), QStringLiteral("bad"), QStringLiteral("-1"), QStringLiteral("99")});
    EXPECT_TRUE(link.quietFor(500));
    // A node link for a computer that is not logged in is refused.
    FrameClient fake;
    ASSERT_TRUE(fake.connectTo(server.address(), server.relayPort()));
    fake.send({QStringLiteral("C_LINK0.5"), QStringLiteral("987654")});
    EXPECT_TRUE(waitFor([&] { return !fake.connected(); }));
    // A flood on the relay port without closing lines is cut off.
    FrameClient flood;
    ASSERT_TRUE(flood.connectTo(server.address(), server.relayPort()));
    flood.sendRaw(QByteArray(200 * 1024, 'q'));
    EXPECT_TRUE(waitFor([&] { return !flood.connected(); }));
    EXPECT_TRUE(link.connected());
    expectAlive();
    EXPECT_TRUE(server.output().contains(QStringLiteral("which has no link")));
}

TEST_F(ServerRobustness, SeveralMessagesInOneWriteAreAllAnswered)
{
    FrameClient c;
    ASSERT_TRUE(c.connectTo(server.address(), server.tcpPort()));
    const QByteArray two = encodeFrame({QStringLiteral("U_HAND0.5")}, c.key())
                           + encodeFrame({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()}, c.key());
    // Split inside the second frame, so that one read ends mid-message.
    c.sendRaw(two.left(two.size() - 4));
    EXPECT_TRUE(c.waitFor(QString()));
    c.sendRaw(two.right(4));
    const auto r = c.waitFor(QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->field(1), u"u_login_ok");
}

TEST(ServerLimits, ConnectionsBeyondTheLimitAreRefused)
{
    ServerFixture server;
    ASSERT_TRUE(server.start({QStringLiteral("--max-connections"), QStringLiteral("2")}));
    FrameClient a, b, c;
    ASSERT_TRUE(a.connectTo(server.address(), server.tcpPort()));
    ASSERT_TRUE(b.connectTo(server.address(), server.tcpPort()));
    EXPECT_FALSE(c.connectTo(server.address(), server.tcpPort(), 1000));
    EXPECT_TRUE(a.request({QStringLiteral("U_HAND0.5")}, QString()));
    b.socket().disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return server.output().contains(QStringLiteral("disconnected (anonymous, 1 open)")); }));
    FrameClient d;
    EXPECT_TRUE(d.connectTo(server.address(), server.tcpPort()));
}

TEST_F(ServerRobustness, StopsCleanlyOnSigterm)
{
    EXPECT_TRUE(server.stop());
    EXPECT_TRUE(server.output().contains(QStringLiteral("[server] stopped")));
}

} // namespace
