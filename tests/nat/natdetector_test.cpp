#include "common/nat/natdetector.h"
#include "common/nat/natlog.h"
#include "platform/stopwatch.h"
#include "tests/nat/nat_responder.h"
#include "tests/support/sandbox.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTimer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>

using namespace zv::nat;
using zv::test::NatResponder;
using zv::test::NatResponderScript;

namespace {

const QHostAddress kFirst(QStringLiteral("127.0.0.1"));
const QHostAddress kSecond(QStringLiteral("127.0.0.2"));
const QString kThird = QStringLiteral("127.0.0.3");
const QString kMapped = QStringLiteral("198.51.100.7:40000");
const QString kMappedOtherPort = QStringLiteral("198.51.100.7:40001");

QByteArray verb(Variant v, Request r) { return requestDatagram(v, r); }

// A range of n consecutive ports free on every address.
PortRange findFreeRange(int n, const QStringList &addresses)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int first = QRandomGenerator::global()->bounded(20000, 60000);
        bool ok = true;
        std::vector<std::unique_ptr<QUdpSocket>> probes;
        for (const auto &a : addresses) {
            for (int k = 0; k < n && ok; ++k) {
                auto s = std::make_unique<QUdpSocket>();
                ok = s->bind(QHostAddress(a), static_cast<quint16>(first + k), QAbstractSocket::DontShareAddress);
                probes.push_back(std::move(s));
            }
        }
        if (ok)
            return {first, first + n};
    }
    return {};
}

class NatDetectorFixture {
protected:
    void startResponder()
    {
        base_ = NatResponder::findFreeBase(kFirst, kSecond);
        ASSERT_NE(base_, 0);
        QString error;
        ASSERT_TRUE(responder_.start(kFirst, kSecond, base_, &error)) << error.toStdString();
    }

    std::unique_ptr<NatDetector> makeDetector(Variant v, int timeoutMs = 600)
    {
        auto d = std::make_unique<NatDetector>(v, stopwatches_);
        d->setServers(NatServers::make(kFirst.toString(), kSecond.toString(), base_));
        NatTimings t;
        t.replyTimeoutMs = timeoutMs;
        d->setTimings(t);
        QObject::connect(d.get(), &NatDetector::trace, d.get(), [this](const QString &line) { traces_.append(line); });
        return d;
    }

    int sentTotal() const { return int(responder_.received().size()); }

    zv::platform::StopwatchTable stopwatches_;
    NatResponder responder_;
    quint16 base_ = 0;
    QStringList traces_;
};

// ---- Classification against scripted detection servers --------------------

struct ClassifyCase {
    const char *name;
    NatResponderScript script;
    int expected;
    // Datagrams the servers must have received: requests and changed-address
    // requests at A:U, changed-port requests at A:U, requests at B:U+2.
    int requestsFirst;
    int ipPortFirst;
    int portFirst;
    int requestsSecond;
};

void PrintTo(const ClassifyCase &c, std::ostream *os) { *os << c.name; }

NatResponderScript script(auto &&edit)
{
    NatResponderScript s;
    edit(s);
    return s;
}

const ClassifyCase kClassifyCases[] = {
    {"FirstServerSilent", script([](auto &s) { s.answerRequestFirst = false; }), kNoUdp, 5, 0, 0, 0},
    {"PublicAddress", NatResponderScript{}, kPublic, 5, 5, 0, 0},
    {"PublicAddressWithoutChangedAddressReply", script([](auto &s) { s.answerIpPort = false; }), kPublic, 5, 5, 0, 0},
    {"FullCone", script([](auto &s) { s.mappedFirst = s.mappedSecond = kMapped; }), kFullCone, 5, 5, 0, 5},
    {"RestrictedCone", script([](auto &s) {
         s.mappedFirst = s.mappedSecond = kMapped;
         s.answerIpPort = false;
     }),
     kRestrictedCone, 10, 5, 5, 5},
    {"PortRestrictedCone", script([](auto &s) {
         s.mappedFirst = s.mappedSecond = kMapped;
         s.answerIpPort = false;
         s.answerPort = false;
     }),
     kPortRestrictedCone, 10, 5, 5, 5},
    {"ChangedPortReplyAfterShortWait", script([](auto &s) {
         s.mappedFirst = s.mappedSecond = kMapped;
         s.answerIpPort = false;
         s.portReplyDelayMs = 300;
     }),
     kPortRestrictedCone, 10, 5, 5, 5},
    {"SymmetricPortDiffers", script([](auto &s) {
         s.mappedFirst = kMapped;
         s.mappedSecond = kMappedOtherPort;
         s.answerIpPort = false;
     }),
     kSymmetric, 5, 5, 0, 5},
    {"SymmetricSecondServerSilent", script([](auto &s) {
         s.mappedFirst = kMapped;
         s.answerRequestSecond = false;
         s.answerIpPort = false;
     }),
     kSymmetric, 5, 5, 0, 5},
    {"SymmetricReachable", script([](auto &s) {
         s.mappedFirst = kMapped;
         s.mappedSecond = kMappedOtherPort;
     }),
     kSymmetricReachable, 5, 5, 0, 5},
    {"RequestReplyFromThirdAddressIgnored", script([](auto &s) { s.requestRepliesFrom = QHostAddress(kThird); }),
     kNoUdp, 5, 0, 0, 0},
};

class NatClassify : public NatDetectorFixture,
                    public ::testing::TestWithParam<std::tuple<ClassifyCase, Variant>> {};

TEST_P(NatClassify, GivesTypeAfterTheRightDatagrams)
{
    const auto &[c, variant] = GetParam();
    startResponder();
    responder_.setScript(c.script);
    auto detector = makeDetector(variant);
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(kFirst, 0));
    detector->attach(&socket);

    EXPECT_EQ(detector->detect(socket, kFirst.toString()), c.expected);
    EXPECT_EQ(detector->natType(), c.expected);

    // Let stragglers arrive before counting.
    zv::test::waitFor([] { return false; }, 50);
    EXPECT_EQ(responder_.count(verb(variant, Request::ChangeRequest), base_), c.requestsFirst);
    EXPECT_EQ(responder_.count(verb(variant, Request::ChangeIpPort), base_), c.ipPortFirst);
    EXPECT_EQ(responder_.count(verb(variant, Request::ChangePort), base_), c.portFirst);
    EXPECT_EQ(responder_.count(verb(variant, Request::ChangeRequest), base_ + 2), c.requestsSecond);
    EXPECT_EQ(sentTotal(), c.requestsFirst + c.ipPortFirst + c.portFirst + c.requestsSecond)
        << "only the verbs, to the first server's port and the second server's port + 2";
}

INSTANTIATE_TEST_SUITE_P(Cases, NatClassify,
                         ::testing::Combine(::testing::ValuesIn(kClassifyCases),
                                            ::testing::Values(Variant::Client, Variant::Node)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name)
                                 + (std::get<1>(info.param) == Variant::Client ? "_Client" : "_Node");
                         });

// ---- Slots ------------------------------------------------------------------

struct SlotCase {
    const char *name;
    QByteArray datagram;
    QString sender;
    NatReplySlots expected;
};

void PrintTo(const SlotCase &c, std::ostream *os) { *os << c.name; }

const SlotCase kSlotCases[] = {
    {"RequestFromFirst", "s_re_change_request0.5\r\n1.2.3.4:5", QStringLiteral("127.0.0.1"), {QStringLiteral("1.2.3.4:5"), {}, {}, {}}},
    {"RequestFromSecond", "s_re_change_request0.5\r\n1.2.3.4:6", QStringLiteral("127.0.0.2"), {{}, {}, QStringLiteral("1.2.3.4:6"), {}}},
    {"RequestFromMappedIpv6", "s_re_change_request0.5\r\n1.2.3.4:5", QStringLiteral("::ffff:127.0.0.2"), {{}, {}, QStringLiteral("1.2.3.4:5"), {}}},
    {"RequestFromThird", "s_re_change_request0.5\r\n1.2.3.4:5", QStringLiteral("127.0.0.3"), {}},
    {"IpPortFromAnyone", "s_re_change_ip_port0.5", QStringLiteral("10.9.9.9"), {{}, QStringLiteral("收到"), {}, {}}},
    {"PortFromAnyone", "s_re_change_port0.5\r\n", QStringLiteral("10.9.9.9"), {{}, {}, {}, QStringLiteral("收到")}},
    {"UnknownVerb", "s_re_change_other0.5\r\n1.2.3.4:5", QStringLiteral("127.0.0.1"), {}},
};

class NatSlots : public ::testing::TestWithParam<SlotCase> {};

TEST_P(NatSlots, FilledBySenderAndVerb)
{
    zv::platform::StopwatchTable stopwatches;
    NatDetector detector(Variant::Client, stopwatches);
    detector.setServers(NatServers::make(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), 80));
    detector.handleDatagram(GetParam().datagram, QHostAddress(GetParam().sender));
    const auto &s = detector.replySlots();
    const auto &e = GetParam().expected;
    EXPECT_EQ(s.a, e.a);
    EXPECT_EQ(s.b, e.b);
    EXPECT_EQ(s.c, e.c);
    EXPECT_EQ(s.d, e.d);
}

INSTANTIATE_TEST_SUITE_P(Cases, NatSlots, ::testing::ValuesIn(kSlotCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(NatServersTest, SecondServerListensTwoPortsHigher)
{
    const auto s = NatServers::make(QStringLiteral("a"), QStringLiteral("b"), 6000);
    EXPECT_EQ(s.firstPort, 6000);
    EXPECT_EQ(s.secondPort, 6002);
    EXPECT_EQ(NatServers::make(QStringLiteral("a"), QStringLiteral("b"), 65534).secondPort, 0);
}

// ---- Waits ------------------------------------------------------------------

class NatWaits : public NatDetectorFixture, public ::testing::Test {};

TEST_F(NatWaits, TenSecondsAreMeasuredOnTheStopwatch)
{
    // A clock that jumps one second per reading: the 10 s limit of the real
    // timings passes after a dozen polls.
    std::int64_t fake = 0;
    zv::platform::StopwatchTable jumping([&fake] { return std::chrono::nanoseconds(fake += 1'000'000'000); });
    startResponder();
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    NatDetector detector(Variant::Client, jumping);
    detector.setServers(NatServers::make(kFirst.toString(), kSecond.toString(), base_));
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(kFirst, 0));
    detector.attach(&socket);
    QElapsedTimer wall;
    wall.start();
    EXPECT_EQ(detector.detect(socket, kFirst.toString()), kNoUdp);
    EXPECT_LT(wall.elapsed(), 5000);
    EXPECT_GE(fake, 10'000'000'000) << "gave up before 10 s had passed on the stopwatch";
}

TEST_F(NatWaits, CancelEndsTheRunAndKeepsTheType)
{
    startResponder();
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    auto detector = makeDetector(Variant::Client, 10000);
    detector->setNatType(3);
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(kFirst, 0));
    detector->attach(&socket);
    QTimer::singleShot(100, detector.get(), [&] { detector->cancel(); });
    QElapsedTimer wall;
    wall.start();
    EXPECT_EQ(detector->detect(socket, kFirst.toString()), 3);
    EXPECT_LT(wall.elapsed(), 5000);
    EXPECT_EQ(detector->natType(), 3);
    EXPECT_TRUE(traces_.contains(QStringLiteral("NAT detection cancelled")));
}

TEST_F(NatWaits, SocketDestroyedDuringAWaitEndsTheRun)
{
    startResponder();
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    auto detector = makeDetector(Variant::Node, 10000);
    auto *socket = new QUdpSocket;
    ASSERT_TRUE(socket->bind(kFirst, 0));
    QTimer::singleShot(50, socket, &QObject::deleteLater);
    QElapsedTimer wall;
    wall.start();
    detector->detect(*socket, kFirst.toString());
    EXPECT_LT(wall.elapsed(), 5000);
    EXPECT_EQ(detector->natType(), kNotDetermined);
}

TEST_F(NatWaits, ARunStartedFromInsideAWaitReturnsAtOnce)
{
    // Event handlers run inside the waits; one that asks for a detection
    // while a run is under way must not start a second one.
    startResponder();
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    auto detector = makeDetector(Variant::Client, 300);
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(kFirst, 0));
    detector->attach(&socket);
    int inner = -2;
    bool wasRunning = false;
    QTimer::singleShot(50, detector.get(), [&] {
        wasRunning = detector->running();
        inner = detector->detect(socket, kFirst.toString());
    });
    EXPECT_EQ(detector->detect(socket, kFirst.toString()), kNoUdp);
    EXPECT_TRUE(wasRunning);
    EXPECT_EQ(inner, kNotDetermined);
    zv::test::waitFor([] { return false; }, 30);
    EXPECT_EQ(sentTotal(), 5);
}

TEST_F(NatWaits, SlotsAreEmptiedBeforeEachRun)
{
    startResponder();
    auto detector = makeDetector(Variant::Client);
    QUdpSocket socket;
    ASSERT_TRUE(socket.bind(kFirst, 0));
    detector->attach(&socket);
    EXPECT_EQ(detector->detect(socket, kFirst.toString()), kPublic);
    // A second login whose first server has gone silent must not reuse the
    // old mapping.
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    EXPECT_EQ(detector->detect(socket, kFirst.toString()), kNoUdp);
}

// ---- Binding and nat_type.log at login -----------------------------------------

class NatBinding : public NatDetectorFixture, public ::testing::Test {
protected:
    void SetUp() override
    {
        startResponder();
        logPath_ = box_.path(natLogFileName());
    }

    zv::test::Sandbox box_;
    QString logPath_;
};

TEST_F(NatBinding, ClientBindsDetectsAndTracesTheCode)
{
    auto detector = makeDetector(Variant::Client);
    const PortRange range = findFreeRange(3, {QStringLiteral("127.0.0.1")});
    ASSERT_GT(range.first, 0);
    detector->setPortRange(range);
    QSignalSpy hints(detector.get(), &NatDetector::hint);
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1")}, logPath_);
    EXPECT_TRUE(r.bound);
    EXPECT_FALSE(r.adopted);
    EXPECT_EQ(r.natType, kPublic);
    EXPECT_EQ(r.localAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(r.localPort, range.first);
    EXPECT_EQ(socket.state(), QAbstractSocket::BoundState);
    ASSERT_EQ(hints.count(), 1);
    EXPECT_EQ(hints.at(0).at(0).toString(), QStringLiteral("正在检测网络类型,请稍候..."));
    EXPECT_TRUE(traces_.contains(QStringLiteral("1")));
    EXPECT_FALSE(QFileInfo::exists(logPath_)) << "the client never writes the type";
}

struct AdoptCase {
    const char *name;
    const char *log; // nullptr: no file
    bool adopted;
    int natType;
};

void PrintTo(const AdoptCase &c, std::ostream *os) { *os << c.name; }

const AdoptCase kAdoptCases[] = {
    {"NoFile", nullptr, false, kPublic},
    {"Seven", "nat_type\r\n7\r\n", false, kPublic},
    {"MinusOne", "nat_type\r\n-1\r\n", false, kPublic},
    {"EmptyLine", "nat_type\r\n\r\n0\r\n", false, kPublic},
    {"NotANumber", "nat_type\r\nx\r\n", false, kPublic},
    {"Four", "nat_type\r\n4\r\n0\r\n", true, kPortRestrictedCone},
    {"Six", "nat_type\r\n6\r\n", true, kSymmetricReachable},
};

class NatAdoption : public NatBinding, public ::testing::WithParamInterface<AdoptCase> {};

TEST_P(NatAdoption, ValidStoredTypeIsAdoptedWithoutADatagram)
{
    if (GetParam().log)
        box_.writeFile(natLogFileName(), GetParam().log);
    auto detector = makeDetector(Variant::Client);
    detector->setPortRange(findFreeRange(3, {QStringLiteral("127.0.0.1")}));
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1")}, logPath_);
    zv::test::waitFor([] { return false; }, 30);
    EXPECT_TRUE(r.bound);
    EXPECT_EQ(r.adopted, GetParam().adopted);
    EXPECT_EQ(r.natType, GetParam().natType);
    if (GetParam().adopted)
        EXPECT_EQ(sentTotal(), 0);
    else
        EXPECT_EQ(sentTotal(), 10);
}

INSTANTIATE_TEST_SUITE_P(Cases, NatAdoption, ::testing::ValuesIn(kAdoptCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(NatBinding, ClientMovesToTheNextAddressOnNoAnswerWithoutResettingThePort)
{
    // The servers ignore 127.0.0.3, tried first (the list runs last to first).
    responder_.setScript(script([](auto &s) { s.ignoreFrom = {kThird}; }));
    const PortRange range = findFreeRange(3, {QStringLiteral("127.0.0.1"), kThird});
    ASSERT_GT(range.first, 0);
    QUdpSocket blocker;
    ASSERT_TRUE(blocker.bind(QHostAddress(kThird), static_cast<quint16>(range.first), QAbstractSocket::DontShareAddress));
    auto detector = makeDetector(Variant::Client, 300);
    detector->setPortRange(range);
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1"), kThird}, logPath_);
    EXPECT_EQ(r.natType, kPublic);
    EXPECT_EQ(r.localAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(r.localPort, range.first + 1) << "the port counter carries over from the previous address";
    EXPECT_EQ(socket.localAddress(), kFirst);
    const int zero = int(traces_.indexOf(QStringLiteral("0")));
    const int one = int(traces_.indexOf(QStringLiteral("1")));
    EXPECT_GE(zero, 0);
    EXPECT_GT(one, zero);
}

TEST_F(NatBinding, ClientStaysOnTheFirstAddressWhenEveryAddressGivesZero)
{
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    const PortRange range = findFreeRange(3, {QStringLiteral("127.0.0.1"), kThird});
    auto detector = makeDetector(Variant::Client, 200);
    detector->setPortRange(range);
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1"), kThird}, logPath_);
    EXPECT_EQ(r.natType, kNoUdp);
    EXPECT_TRUE(r.bound);
    EXPECT_EQ(socket.localAddress(), kFirst);
    EXPECT_EQ(traces_.count(QStringLiteral("0")), 2);
}

TEST_F(NatBinding, ClientShowsBindFailureAndSkipsTheAddress)
{
    const PortRange range = findFreeRange(2, {QStringLiteral("127.0.0.1"), kThird});
    ASSERT_GT(range.first, 0);
    QUdpSocket block0, block1;
    ASSERT_TRUE(block0.bind(QHostAddress(kThird), static_cast<quint16>(range.first), QAbstractSocket::DontShareAddress));
    ASSERT_TRUE(block1.bind(QHostAddress(kThird), static_cast<quint16>(range.first + 1), QAbstractSocket::DontShareAddress));
    auto detector = makeDetector(Variant::Client);
    detector->setPortRange(range);
    QSignalSpy messages(detector.get(), &NatDetector::message);
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {kThird}, logPath_);
    EXPECT_FALSE(r.bound);
    EXPECT_EQ(r.natType, kNotDetermined);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.at(0).at(0).toString(), QStringLiteral("UDP 本地绑定失败。"));
    EXPECT_EQ(sentTotal(), 0);
}

TEST_F(NatBinding, ClientWithoutAddressesKeepsItsType)
{
    auto detector = makeDetector(Variant::Client);
    detector->setNatType(2);
    QUdpSocket socket;
    const auto r = detector->bindAndClassify(socket, {}, logPath_);
    EXPECT_FALSE(r.bound);
    EXPECT_EQ(r.natType, 2);
    EXPECT_EQ(sentTotal(), 0);
}

TEST_F(NatBinding, CancelStopsTheAddressLoop)
{
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    auto detector = makeDetector(Variant::Client, 10000);
    detector->setPortRange(findFreeRange(3, {QStringLiteral("127.0.0.1"), kThird}));
    QUdpSocket socket;
    detector->attach(&socket);
    QTimer::singleShot(100, detector.get(), [&] { detector->cancel(); });
    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1"), kThird}, logPath_);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.natType, kNotDetermined);
    for (const auto &d : responder_.received())
        EXPECT_EQ(d.from, kThird) << "the second address was tried after the cancel";
}

TEST_F(NatBinding, NodeAlwaysDetectsAndWritesLineOneKeepingTheFlag)
{
    box_.writeFile(natLogFileName(), "nat_type\r\n4\r\n1\r\n");
    auto detector = makeDetector(Variant::Node);
    const PortRange range = findFreeRange(3, {QStringLiteral("127.0.0.1")});
    detector->setPortRange(range);
    QUdpSocket socket;
    detector->attach(&socket);

    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1")}, logPath_);
    EXPECT_TRUE(r.bound);
    EXPECT_FALSE(r.adopted);
    EXPECT_EQ(r.natType, kPublic);
    EXPECT_EQ(r.localPort, range.first);
    EXPECT_EQ(responder_.count("C_CHANGE_REQUEST0.5", base_), 5);
    EXPECT_EQ(box_.readFile(natLogFileName()), QByteArray("nat_type\r\n1\r\n1\r\n"));
}

TEST_F(NatBinding, NodeCreatesTheFileAndResetsToZeroFirst)
{
    responder_.setScript(script([](auto &s) { s.answerRequestFirst = false; }));
    auto detector = makeDetector(Variant::Node, 200);
    detector->setPortRange(findFreeRange(3, {QStringLiteral("127.0.0.1")}));
    detector->setNatType(5);
    QUdpSocket socket;
    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1")}, logPath_);
    EXPECT_EQ(r.natType, kNoUdp);
    EXPECT_EQ(box_.readFile(natLogFileName()), QByteArray("nat_type\r\n0\r\n"));
}

TEST_F(NatBinding, NodeAbandonsUdpWhenItsPortsRunOut)
{
    box_.writeFile(natLogFileName(), "nat_type\r\n4\r\n0\r\n");
    const PortRange range = findFreeRange(1, {QStringLiteral("127.0.0.1"), kThird});
    ASSERT_GT(range.first, 0);
    QUdpSocket blocker;
    ASSERT_TRUE(blocker.bind(QHostAddress(kThird), static_cast<quint16>(range.first), QAbstractSocket::DontShareAddress));
    auto detector = makeDetector(Variant::Node);
    detector->setPortRange(range);
    QSignalSpy messages(detector.get(), &NatDetector::message);
    QUdpSocket socket;
    const auto r = detector->bindAndClassify(socket, {QStringLiteral("127.0.0.1"), kThird}, logPath_);
    EXPECT_FALSE(r.bound);
    EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(messages.count(), 0);
    EXPECT_EQ(sentTotal(), 0) << "127.0.0.1 must not be tried after the ports ran out";
    EXPECT_EQ(box_.readFile(natLogFileName()), QByteArray("nat_type\r\n4\r\n0\r\n"));
}

} // namespace
