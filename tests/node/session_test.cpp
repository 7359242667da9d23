// The node's connection to a scripted central server: login procedure,
// registration, silence watch, heartbeat, UDP registration and keep-alive.
#include "node/indexsync.h"
#include "node/natdetection.h"
#include "tests/node/nodefixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace zv;
using namespace zv::node;
using namespace zv::node::test;
using zv::test::waitFor;

namespace {

using SessionTest = NodeFixture;

TEST_F(SessionTest, FirstStartRegistersAndRewritesTheIdentityThenTheNextStartLogsIn)
{
    ScriptedServer server;
    {
        auto node = makeNode(server, probe);
        node->start();
        ASSERT_TRUE(node->loggedIn());
        const auto cf = server.withVerb(QStringLiteral("CF_LOGIN0.3"));
        ASSERT_EQ(cf.size(), 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+!\\d+!\\d+!\\d+!$")).match(cf[0].value(1)).hasMatch())
            << cf[0].value(1).toStdString();
        EXPECT_EQ(cf[0].value(2), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(cf[0].value(3).toInt(), server.socket->peerPort());
        EXPECT_EQ(pcDll(), (QStringList{QStringLiteral("Zorvan_C"), QStringLiteral("1"), QStringLiteral("x"),
                                        QStringLiteral("4711"), QStringLiteral("key4711"), QStringLiteral("tail")}));
        EXPECT_EQ(node->secondDetectionServer(), QStringLiteral("127.0.0.2"));
        EXPECT_EQ(node->centralServerAddress(), QStringLiteral("127.0.0.1"));
    }
    server.received.clear();
    auto node = makeNode(server, probe);
    node->start();
    ASSERT_TRUE(node->loggedIn());
    const auto cc = server.withVerb(QStringLiteral("CC_LOGIN0.3"));
    ASSERT_EQ(cc.size(), 1);
    EXPECT_EQ(cc[0].mid(1, 2), (QStringList{QStringLiteral("4711"), QStringLiteral("key4711")}));
    EXPECT_TRUE(server.withVerb(QStringLiteral("CF_LOGIN0.3")).isEmpty());
}

TEST_F(SessionTest, ServerThatNeverSendsTheKeyIsUnreachableAndTheHostNameIsTried)
{
    // The configured address answers without a key; the host name reaches a
    // working server on the same port.
    ScriptedServer silent(QStringLiteral("127.0.0.3"));
    silent.sendKey = false;
    ScriptedServer server(QStringLiteral("127.0.0.1"), silent.tcpPort());
    ASSERT_TRUE(server.tcp.isListening());
    auto s = settings(server);
    s.deploy.serverAddress = QStringLiteral("127.0.0.3");
    Node node(s, ComputerIdentity{}, db, probe);
    QElapsedTimer t;
    t.start();
    node.start();
    EXPECT_TRUE(node.loggedIn());
    EXPECT_EQ(silent.connections, 1);
    EXPECT_EQ(server.connections, 1);
    EXPECT_GE(t.elapsed(), 400) << "the first attempt waits its whole time";
    EXPECT_TRUE(silent.received.isEmpty()) << "nothing is sent before a key";
}

TEST_F(SessionTest, AfterExitTheNodeLogsInAgain)
{
    ScriptedServer server;
    auto node = makeNode(server, probe);
    node->start();
    ASSERT_TRUE(node->loggedIn());
    // The new login can run inside one round of event processing: what the
    // disconnection left is recorded by its signal.
    int drops = 0, logins = 0;
    bool gateOpenOnDrop = true;
    QObject::connect(node.get(), &Node::disconnectedFromServer, node.get(), [&] {
        ++drops;
        gateOpenOnDrop = node->uploadGateOpen() || node->loggedIn();
    });
    QObject::connect(node.get(), &Node::loginSucceeded, node.get(), [&] { ++logins; });
    server.sendMessage({QStringLiteral("s_c_exit0.5")});
    ASSERT_TRUE(waitFor([&] { return drops >= 1; }, 3000));
    EXPECT_FALSE(gateOpenOnDrop);
    ASSERT_TRUE(waitFor([&] { return logins >= 1 && node->loggedIn(); }, 5000));
    EXPECT_EQ(server.connections, 2);
    EXPECT_EQ(server.withVerb(QStringLiteral("CF_LOGIN0.3")).size() + server.withVerb(QStringLiteral("CC_LOGIN0.3")).size(), 2);
    EXPECT_EQ(server.withVerb(QStringLiteral("CC_LOGIN0.3")).size(), 1) << "the second login uses the new identity";
    EXPECT_EQ(probe.runs, 2) << "a reconnection binds and detects again";
}

TEST_F(SessionTest, SilentConnectionIsDroppedAndRebuilt)
{
    ScriptedServer server;
    auto s = settings(server);
    s.timings.silenceDropMs = 600;
    Node node(s, ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(node.loggedIn());
    ASSERT_TRUE(waitFor([&] { return server.connections == 2; }, 3000));
    EXPECT_TRUE(waitFor([&] { return node.loggedIn(); }, 2000));
}

TEST_F(SessionTest, EmptyMessagesKeepTheConnection)
{
    ScriptedServer server;
    auto s = settings(server);
    s.timings.silenceDropMs = 600;
    Node node(s, ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    QTimer pings;
    QObject::connect(&pings, &QTimer::timeout, &server, [&] { server.sendMessage({}); });
    pings.start(100);
    node.start();
    waitFor([] { return false; }, 1500);
    EXPECT_EQ(server.connections, 1);
    EXPECT_TRUE(node.loggedIn());
}

TEST_F(SessionTest, HeartbeatIsSentWhileLoggedIn)
{
    ScriptedServer server;
    auto node = makeNode(server, probe);
    node->start();
    waitFor([] { return false; }, 700);
    const auto hands = server.withVerb(QStringLiteral("C_HAND0.5")).size();
    EXPECT_GE(hands, 3);
    EXPECT_LE(hands, 5);
}

TEST_F(SessionTest, SplitAndJoinedMessagesAreAllHandled)
{
    ScriptedServer server;
    server.autoLogin = false;
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    QObject::connect(&server.tcp, &QTcpServer::newConnection, &server, [&] {
        QTimer::singleShot(50, &server, [&] {
            const QByteArray reply = encodeFrame({QStringLiteral("s_cc_login_reply0.5"), QStringLiteral("127.0.0.2"),
                                                  QStringLiteral("0")}, server.key);
            server.sendRaw(reply.left(7));
            QTimer::singleShot(50, &server, [&, reply] {
                // The rest of the login reply and a confirmation in one read.
                server.sendRaw(reply.mid(7) + encodeFrame({QStringLiteral("s_c_update_reply0.5")}, server.key));
            });
        });
    });
    node.start();
    ASSERT_TRUE(node.loggedIn());
    EXPECT_TRUE(waitFor([&] { return node.timer(QStringLiteral("Timer_update1"))->isActive(); }, 1000))
        << "the confirmation behind the login reply was handled";
}

TEST_F(SessionTest, UdpRegistrationOnceThenEmptyKeepAlives)
{
    ScriptedServer server;
    probe.type = 4;
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(waitFor([&] { return server.udpWithPrefix({}).size() >= 2; }, 2000));
    const auto regs = server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5");
    ASSERT_EQ(regs.size(), 1);
    EXPECT_EQ(regs[0], "C_UDP_LOGIN_TYPE0.5\r\n5\r\n127.0.0.1\r\n" + QByteArray::number(node.udp().localPort()) + "\r\n4\r\n");
    EXPECT_EQ(probe.servers, QStringLiteral("127.0.0.1|127.0.0.2"));
    // A datagram from a peer changes nothing for a cone NAT.
    QUdpSocket peer;
    peer.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    peer.writeDatagram("U_P2PHOLE0.5", QHostAddress(QStringLiteral("127.0.0.1")), node.udp().localPort());
    waitFor([] { return false; }, 300);
    EXPECT_EQ(server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size(), 1);
}

TEST_F(SessionTest, SymmetricNatReRegistersAfterANewPeerUntilConfirmed)
{
    ScriptedServer server;
    probe.type = 5;
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(waitFor([&] { return server.udpWithPrefix({}).size() >= 1; }, 2000));
    EXPECT_EQ(server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size(), 1);
    // The central server's own datagrams never start a re-registration.
    server.udp.writeDatagram("s_port_update_ok0.5", QHostAddress(QStringLiteral("127.0.0.1")), node.udp().localPort());
    waitFor([] { return false; }, 250);
    EXPECT_FALSE(node.reRegistrationPending());

    QUdpSocket peer;
    peer.bind(QHostAddress(QStringLiteral("127.0.0.4")), 0);
    peer.writeDatagram("U_P2PHOLE0.5", QHostAddress(QStringLiteral("127.0.0.1")), node.udp().localPort());
    ASSERT_TRUE(waitFor([&] { return server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size() >= 3; }, 2000))
        << "re-sent on every tick while pending";
    server.udp.writeDatagram("s_port_update_ok0.5", QHostAddress(QStringLiteral("127.0.0.1")), node.udp().localPort());
    ASSERT_TRUE(waitFor([&] { return !node.reRegistrationPending(); }, 1000));
    const auto count = server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size();
    waitFor([] { return false; }, 350);
    EXPECT_LE(server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size(), count + 1);
    EXPECT_GE(server.udpWithPrefix({}).size(), 1u) << "empty keep-alives again";
}

TEST_F(SessionTest, NoUdpPathMeansNoRegistration)
{
    ScriptedServer server;
    probe.type = 0;
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(server.datagrams.isEmpty());
    EXPECT_FALSE(node.timer(QStringLiteral("Timer1"))->isActive());
}

TEST_F(SessionTest, SharedDetectionWritesLineTwoAndKeepsTheBusyFlag)
{
    ScriptedServer server;
    platform::writeLines(box.path(QStringLiteral("nat_type.log")), {QStringLiteral("nat_type"), QStringLiteral("3"), QStringLiteral("1")});
    platform::StopwatchTable watches;
    SharedNatProbe shared(watches);
    shared.detector().setTimings({500, 10, 1});
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, shared);
    shared.setLog([&](const QString &line) { node.log().add(line); });
    node.start();
    ASSERT_TRUE(node.loggedIn());
    EXPECT_EQ(node.natType(), 1) << node.log().lines().join(u'\n').toStdString();
    EXPECT_EQ(platform::readLines(box.path(QStringLiteral("nat_type.log"))).value_or(QStringList{}),
              (QStringList{QStringLiteral("nat_type"), QStringLiteral("1"), QStringLiteral("1")}));
    EXPECT_GE(node.udp().localPort(), 3300);
    EXPECT_LT(node.udp().localPort(), 4000);
    EXPECT_TRUE(waitFor([&] { return server.udpWithPrefix("C_UDP_LOGIN_TYPE0.5").size() == 1; }, 1000));
}

TEST_F(SessionTest, LoginReplyAskingForARebuildChecksTheIndexThenAnnouncesEverything)
{
    ScriptedServer server;
    server.rebuild = true;
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state,file_size,user_id,path) "
                                       "values ('1!1!1!0!','gone.doc',0,1,1,'/none/')")));
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state,file_size,user_id,path) "
                                       "values ('2!2!2!0!','old.doc',12,1,1,'/none/')")));
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(node.loggedIn());
    ASSERT_TRUE(waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 1; }, 2000));
    const QStringList batch = server.withVerb(QStringLiteral("C_UPDATE0.5"))[0];
    EXPECT_EQ(batch.mid(0, 4), (QStringList{QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), QStringLiteral("5"),
                                            QStringLiteral("3")}));
    // The check marked the vanished file removed; the rebuild deleted it and the sent row.
    EXPECT_EQ(batch.size(), 4);
    EXPECT_TRUE(node.timer(QStringLiteral("Timer_update1"))->isActive());
}

TEST_F(SessionTest, LoginBatchThenPeriodicBatchesAfterEachConfirmation)
{
    ScriptedServer server;
    server.autoConfirm = true;
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state,file_size,user_id,path) "
                                       "values ('1!1!1!0!','a.doc',1,1,1,'/none/')")));
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 1; }, 2000));
    EXPECT_EQ(server.withVerb(QStringLiteral("C_UPDATE0.5"))[0].value(3), QStringLiteral("1"));
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state,file_size,user_id,path) "
                                       "values ('2!2!2!0!','b.doc',4,1,1,'/none/')")));
    ASSERT_TRUE(waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 2; }, 2000))
        << "Timer_update1 announces what was marked";
    EXPECT_EQ(server.withVerb(QStringLiteral("C_UPDATE0.5"))[1].value(3), QStringLiteral("2"));
    // With the library busy nothing more goes out.
    platform::writeLines(box.path(QStringLiteral("nat_type.log")), {QStringLiteral("nat_type"), QStringLiteral("1"), QStringLiteral("1")});
    ASSERT_TRUE(db.exec(QStringLiteral("update table_file set update_state = 4")));
    waitFor([] { return false; }, 600);
    EXPECT_EQ(server.withVerb(QStringLiteral("C_UPDATE0.5")).size(), 2);
    platform::writeLines(box.path(QStringLiteral("nat_type.log")), {QStringLiteral("nat_type"), QStringLiteral("1"), QStringLiteral("0")});
    EXPECT_TRUE(waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 3; }, 2000));
}

} // namespace
