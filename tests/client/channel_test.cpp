// The control channel against a scripted server on loopback.
#include "client/core/controlchannel.h"
#include "tests/client/scriptedpeer.h"
#include "tests/client/testclock.h"
#include "tests/support/sandbox.h"

#include <QSignalSpy>
#include <thread>
#include <gtest/gtest.h>

using namespace zv;
using namespace zv::client;
using zv::test::ScriptedPeer;
using zv::test::waitFor;

namespace {

DeployConfig deployFor(quint16 port)
{
    DeployConfig d;
    d.serverAddress = QStringLiteral("127.0.0.1");
    d.tcpPort = port;
    return d;
}

ChannelTimings fastTimings()
{
    ChannelTimings t;
    t.connectWaitSeconds = 2;
    t.keyWaitSeconds = 2;
    t.pollSleepMs = 1;
    return t;
}

class ChannelTest : public ::testing::Test {
protected:
    explicit ChannelTest(std::optional<std::int32_t> key = 12345)
        : peer(key), state(QStringLiteral("/tmp/"), deployFor(peer.port()), clock.function()),
          channel(state, fastTimings())
    {
        QObject::connect(&channel, &ControlChannel::traceLine, &channel,
                         [this](const QString &line) { trace.append(line); });
    }

    void connectToPeer()
    {
        ASSERT_TRUE(channel.connectAndWaitForKey());
        ASSERT_TRUE(waitFor([&] { return peer.hasClient(); }));
    }

    // Sends bytes from the peer and waits until the channel has read them all.

    zv::test::TestClock clock;
    ScriptedPeer peer;
    ClientState state;
    ControlChannel channel;
    QStringList trace;
};

} // namespace

TEST_F(ChannelTest, ComponentsCarryTheirNames)
{
    EXPECT_EQ(channel.socket()->objectName(), QStringLiteral("ClientSocket1"));
    EXPECT_EQ(channel.heartbeatTimer()->objectName(), QStringLiteral("Timer2"));
    EXPECT_EQ(channel.heartbeatTimer()->interval(), 1000);
    EXPECT_FALSE(channel.heartbeatTimer()->isActive());
    EXPECT_EQ(state.connectionState, kOffline);
    EXPECT_EQ(state.connectionKey.load(), -1);
}

TEST_F(ChannelTest, KeyExchangeThenScrambledBothWays)
{
    connectToPeer();
    EXPECT_EQ(state.connectionState, kOnline);
    EXPECT_EQ(state.connectionKey.load(), 12345);
    EXPECT_TRUE(trace.contains(QStringLiteral("key=12345")));

    channel.send({QStringLiteral("U_SEARCH0.5"), QStringLiteral("100!1!2!0!"), QStringLiteral("课件.ppt")});
    ASSERT_TRUE(waitFor([&] { return peer.received().size() == 1; }));
    EXPECT_EQ(peer.received()[0].fields,
              (QStringList{QStringLiteral("U_SEARCH0.5"), QStringLiteral("100!1!2!0!"), QStringLiteral("课件.ppt")}));
    EXPECT_FALSE(peer.received()[0].plain);

    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    peer.send({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("88")});
    ASSERT_TRUE(waitFor([&] { return points.size() == 1; }));
    EXPECT_EQ(points[0][0].toString(), QStringLiteral("88"));
}

TEST_F(ChannelTest, WhatTheClientSendsIsScrambledOnTheWire)
{
    connectToPeer();
    const QByteArray expected = encodeFrame({QStringLiteral("U_HAND0.5")}, 12345);
    EXPECT_NE(expected, renderFrame({QStringLiteral("U_HAND0.5")}));
    channel.send({QStringLiteral("U_HAND0.5")});
    ASSERT_TRUE(waitFor([&] { return peer.received().size() == 1; }));
    EXPECT_EQ(peer.received()[0].verb(), QStringLiteral("U_HAND0.5"));
}

TEST_F(ChannelTest, FrameSplitOverSeveralReadsIsDispatchedOnce)
{
    connectToPeer();
    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    const QByteArray frame = encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("积分 42")}, 12345);
    for (qsizetype i = 0; i < frame.size(); i += 3) {
        peer.sendRaw(frame.mid(i, 3));
        waitFor([] { return false; }, 5);
        if (i + 3 < frame.size()) {
            EXPECT_EQ(points.size(), 0) << "dispatched before the closing line at byte " << i;
        }
    }
    ASSERT_TRUE(waitFor([&] { return points.size() == 1; }));
    EXPECT_EQ(points[0][0].toString(), QStringLiteral("积分 42"));
    waitFor([] { return false; }, 50);
    EXPECT_EQ(points.size(), 1);
}

TEST_F(ChannelTest, TwoMessagesInOneReadAreBothDispatchedInOrder)
{
    connectToPeer();
    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    const QByteArray both = encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("1")}, 12345)
                            + encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("2")}, 12345);
    // Both frames go in one channel read.
    channel.receive(both);
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0][0].toString(), QStringLiteral("1"));
    EXPECT_EQ(points[1][0].toString(), QStringLiteral("2"));
    // And over the socket too.
    peer.sendRaw(both);
    ASSERT_TRUE(waitFor([&] { return points.size() == 4; }));
}

TEST_F(ChannelTest, UnknownVerbIsDroppedAndTheNextMessageStillArrives)
{
    connectToPeer();
    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    const int traces = trace.size();
    peer.send({QStringLiteral("s_something_new0.9"), QStringLiteral("x")});
    peer.send({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("7")});
    ASSERT_TRUE(waitFor([&] { return points.size() == 1; }));
    EXPECT_EQ(points[0][0].toString(), QStringLiteral("7"));
    EXPECT_EQ(trace.size(), traces);
    EXPECT_TRUE(state.searchReply.isEmpty());
    EXPECT_TRUE(state.relayAddress.isEmpty());
}

TEST_F(ChannelTest, ScrambledKeyFrameIsAcceptedToo)
{
    connectToPeer();
    channel.receive(encodeFrame({kSendKeyVerb, QStringLiteral("-77")}, 12345));
    EXPECT_EQ(state.connectionKey.load(), -77);
    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    channel.receive(encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("5")}, -77));
    ASSERT_EQ(points.size(), 1);
}

// Every reply of the server's catalogue and where it ends up.
TEST_F(ChannelTest, RepliesAreStoredInTheirSlots)
{
    connectToPeer();
    QSignalSpy login(&channel, &ControlChannel::loginReply);
    QSignalSpy reg(&channel, &ControlChannel::registerReply);

    const QStringList search = {QStringLiteral("s_u_search_reply0.5"), QStringLiteral("1"), QStringLiteral("2048"),
                                QStringLiteral("3"), QStringLiteral("数学"), QStringLiteral("初中"),
                                QStringLiteral("人教版"), QStringLiteral("七年级"), QStringLiteral("第一章"),
                                QStringLiteral("第一节"), QStringLiteral("有理数"), QStringLiteral("教案"),
                                QStringLiteral("课件"), QStringLiteral("1"), QStringLiteral("说明"),
                                QStringLiteral("0"), QStringLiteral("9"), QStringLiteral("10.0.0.9"),
                                QStringLiteral("6000"), QStringLiteral("2")};
    peer.send(search);
    peer.send({QStringLiteral("s_u_login_reply0.5"), QStringLiteral("id error")});
    peer.send({QStringLiteral("s_u_register_reply0.5"), QStringLiteral("e_mail already exist")});
    peer.send({QStringLiteral("s_reply_t0.5"), QStringLiteral("10.1.1.1"), QStringLiteral("7000")});
    peer.send({QStringLiteral("s_reply_newport0.5"), QStringLiteral("10.2.2.2"), QStringLiteral("7001")});
    peer.send({QStringLiteral("s_reply_binding0.5"), QStringLiteral("10.3.3.3"), QStringLiteral("7002")});
    peer.send({QStringLiteral("s_u_us_search_reply0.5"), QStringLiteral("0")});
    peer.send({QStringLiteral("s_u_us_search_reply0.5"), QStringLiteral("3")});
    ASSERT_TRUE(waitFor([&] { return trace.contains(QStringLiteral("收到3")); }));

    QStringList expectedSearch = search.mid(1);
    expectedSearch.append(QStringLiteral("|"));
    EXPECT_EQ(state.searchReply.take(), expectedSearch);
    ASSERT_EQ(login.size(), 1);
    EXPECT_EQ(login[0][0].value<Message>().field(1), QStringLiteral("id error"));
    ASSERT_EQ(reg.size(), 1);
    EXPECT_EQ(state.relayAddress.take(), (AddressReply{QStringLiteral("10.1.1.1"), 7000}));
    EXPECT_EQ(state.newPort.take(), (AddressReply{QStringLiteral("10.2.2.2"), 7001}));
    EXPECT_EQ(state.binding.take(), (AddressReply{QStringLiteral("10.3.3.3"), 7002}));

    const auto at = trace.indexOf(QStringLiteral("s_reply_t0.5"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(trace.mid(at, 5), (QStringList{QStringLiteral("s_reply_t0.5"), QStringLiteral("10.1.1.1"),
                                             QStringLiteral("7000"), QStringLiteral("|"), QStringLiteral("1:7000")}));
    const auto us0 = trace.indexOf(QStringLiteral("收到0"));
    ASSERT_GE(us0, 0);
    EXPECT_EQ(trace.value(us0 + 1), QStringLiteral("无可用资源下载！"));
    const auto us3 = trace.indexOf(QStringLiteral("收到3"));
    EXPECT_EQ(trace.value(us3 + 1), QStringLiteral("下载资源被用户停止！"));
}

TEST_F(ChannelTest, RelayReplyWithPortZeroStoresNothing)
{
    connectToPeer();
    const int traces = trace.size();
    channel.receive(encodeFrame({QStringLiteral("s_reply_t0.5"), QStringLiteral("10.1.1.1"), QStringLiteral("0")}, 12345));
    EXPECT_TRUE(state.relayAddress.isEmpty());
    EXPECT_EQ(trace.size(), traces);
}

TEST_F(ChannelTest, AReplyNobodyTookIsReplacedByTheNewerOne)
{
    connectToPeer();
    channel.receive(encodeFrame({QStringLiteral("s_reply_binding0.5"), QStringLiteral("a"), QStringLiteral("1")}, 12345));
    channel.receive(encodeFrame({QStringLiteral("s_reply_binding0.5"), QStringLiteral("b"), QStringLiteral("2")}, 12345));
    EXPECT_EQ(state.binding.take(), (AddressReply{QStringLiteral("b"), 2}));
    EXPECT_TRUE(trace.contains(QStringLiteral("绑定地址 未取走，已替换")));
}

struct Malformed {
    const char *name;
    QStringList fields;
};

void PrintTo(const Malformed &c, std::ostream *os) { *os << c.name; }

class MalformedTest : public ChannelTest, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedTest, IsDroppedWithoutStickingTheChannel)
{
    connectToPeer();
    const std::int32_t key = state.connectionKey.load();
    channel.receive(encodeFrame(GetParam().fields, key));
    EXPECT_EQ(state.connectionKey.load(), key);
    EXPECT_TRUE(state.relayAddress.isEmpty());
    EXPECT_TRUE(state.newPort.isEmpty());
    EXPECT_TRUE(state.binding.isEmpty());
    // The next message gets through.
    QSignalSpy points(&channel, &ControlChannel::pointsReceived);
    peer.send({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("9")});
    ASSERT_TRUE(waitFor([&] { return points.size() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(
    Channel, MalformedTest,
    ::testing::Values(
        Malformed{"KeyNotANumber", {kSendKeyVerb, QStringLiteral("12a")}},
        Malformed{"KeyTooLarge", {kSendKeyVerb, QStringLiteral("99999999999")}},
        Malformed{"KeyMissing", {kSendKeyVerb}},
        Malformed{"RelayPortNotANumber", {QStringLiteral("s_reply_t0.5"), QStringLiteral("1.2.3.4"), QStringLiteral("8o")}},
        Malformed{"RelayPortMissing", {QStringLiteral("s_reply_t0.5"), QStringLiteral("1.2.3.4")}},
        Malformed{"NewPortNegative", {QStringLiteral("s_reply_newport0.5"), QStringLiteral("1.2.3.4"), QStringLiteral("-5")}},
        Malformed{"NewPortTooLarge", {QStringLiteral("s_reply_newport0.5"), QStringLiteral("1.2.3.4"), QStringLiteral("70000")}},
        Malformed{"BindingPortEmpty", {QStringLiteral("s_reply_binding0.5"), QStringLiteral("1.2.3.4"), QString()}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ChannelTest, EmptyMessageRestartsTheSilenceWatch)
{
    connectToPeer();
    channel.startHeartbeat();
    clock.advanceSeconds(200);
    EXPECT_GT(state.stopwatches.read(kSilenceWatch), 199);
    peer.sendRaw(encodeFrame({}, 12345));
    ASSERT_TRUE(waitFor([&] { return state.stopwatches.read(kSilenceWatch) < 10; }));
}

TEST_F(ChannelTest, HeartbeatEverySixtySecondsEvenWhenLoggedOut)
{
    connectToPeer();
    channel.startHeartbeat();
    channel.tick();
    clock.advanceSeconds(59);
    channel.tick();
    waitFor([] { return false; }, 50);
    EXPECT_TRUE(peer.receivedWithVerb(QStringLiteral("U_HAND0.5")).isEmpty());
    clock.advanceSeconds(2);
    channel.tick();
    ASSERT_TRUE(waitFor([&] { return peer.receivedWithVerb(QStringLiteral("U_HAND0.5")).size() == 1; }));
    channel.tick();
    clock.advanceSeconds(61);
    channel.tick();
    ASSERT_TRUE(waitFor([&] { return peer.receivedWithVerb(QStringLiteral("U_HAND0.5")).size() == 2; }));
    // Silence while logged out: no re-login.
    clock.advanceSeconds(400);
    channel.tick();
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_TRUE(channel.heartbeatTimer()->isActive());
}

TEST_F(ChannelTest, HeartbeatWhileDisconnectedDoesNothing)
{
    channel.startHeartbeat();
    clock.advanceSeconds(61);
    channel.tick();
    EXPECT_LT(state.stopwatches.read(kHeartbeatWatch), 1);
    EXPECT_EQ(peer.connections(), 0);
}

struct Relogin {
    const char *name;
    QString kind;
    QStringList expected;
};

void PrintTo(const Relogin &c, std::ostream *os) { *os << c.name; }

class ReloginTest : public ChannelTest, public ::testing::WithParamInterface<Relogin> {};

TEST_P(ReloginTest, AfterThreeHundredSecondsOfSilence)
{
    connectToPeer();
    state.loginState = kLoginUser;
    state.loginKind = GetParam().kind;
    state.userId = QStringLiteral("4711");
    state.profile[kProfileEmail] = QStringLiteral("li@school.cn");
    state.loginPassword = QStringLiteral("密码pw");
    channel.startHeartbeat();
    clock.advanceSeconds(299);
    peer.sendRaw(encodeFrame({}, 12345)); // an empty message in time
    ASSERT_TRUE(waitFor([&] { return state.stopwatches.read(kSilenceWatch) < 10; }));
    clock.advanceSeconds(299.5);
    channel.tick();
    EXPECT_EQ(peer.connections(), 1);
    clock.advanceSeconds(1);
    channel.tick();
    ASSERT_TRUE(waitFor([&] { return !peer.receivedWithVerb(QStringLiteral("U_LOGIN0.3")).isEmpty(); }));
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(peer.receivedWithVerb(QStringLiteral("U_LOGIN0.3")).first().fields, GetParam().expected);
    EXPECT_TRUE(channel.heartbeatTimer()->isActive());
    EXPECT_LT(state.stopwatches.read(kSilenceWatch), 10);
    EXPECT_EQ(state.loginState, kLoginUser);
}

INSTANTIATE_TEST_SUITE_P(
    Channel, ReloginTest,
    ::testing::Values(Relogin{"ById", QStringLiteral("ID"),
                              {QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("4711"),
                               QStringLiteral("密码pw")}},
                      Relogin{"ByEmail", QStringLiteral("EMAIL"),
                              {QStringLiteral("U_LOGIN0.3"), QStringLiteral("E_MAIL"), QStringLiteral("li@school.cn"),
                               QStringLiteral("密码pw")}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ChannelTest, FailedReloginLogsOutAndStopsTimer2)
{
    connectToPeer();
    state.loginState = kLoginGuest;
    channel.startHeartbeat();
    peer.dropClient();
    peer.stopListening();
    ASSERT_TRUE(waitFor([&] { return state.connectionState == kOffline; }));
    QSignalSpy failed(&channel, &ControlChannel::reloginFailed);
    clock.advanceSeconds(301);
    channel.tick();
    EXPECT_EQ(failed.size(), 1);
    EXPECT_TRUE(state.loginState.isEmpty());
    EXPECT_FALSE(channel.heartbeatTimer()->isActive());
    EXPECT_LT(state.stopwatches.read(kSilenceWatch), 10);
}

TEST_F(ChannelTest, SendFromAnotherThreadArrivesWhole)
{
    connectToPeer();
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            channel.send({QStringLiteral("U_ASKFOR_T0.5"), QString::number(i)});
    });
    for (int i = 0; i < 20; ++i)
        channel.send({QStringLiteral("U_DOWNLOADED0.5"), QString::number(i)});
    worker.join();
    ASSERT_TRUE(waitFor([&] { return peer.received().size() == 40; }));
    int next = 0;
    for (const auto &m : peer.receivedWithVerb(QStringLiteral("U_ASKFOR_T0.5")))
        EXPECT_EQ(m.field(1), QString::number(next++));
    EXPECT_EQ(next, 20);
}

class NoKeyChannelTest : public ChannelTest {
protected:
    NoKeyChannelTest() : ChannelTest(std::nullopt) {}
};

TEST_F(NoKeyChannelTest, ConnectWithoutKeyFails)
{
    EXPECT_FALSE(channel.connectAndWaitForKey());
    EXPECT_EQ(state.connectionState, kOnline);
    EXPECT_EQ(state.connectionKey.load(), -1);
    // The key arriving later is taken.
    peer.sendKey(-3);
    ASSERT_TRUE(waitFor([&] { return state.connectionKey.load() == -3; }));
}

TEST_F(NoKeyChannelTest, CancelEndsTheWaitAtOnce)
{
    const double start = state.stopwatches.general();
    EXPECT_FALSE(channel.connectAndWaitForKey([] { return true; }));
    EXPECT_LT(state.stopwatches.general() - start, 1.0);
}
