// The transfer table and the sending tick, driven with a clock the test moves.
#include "tests/node/fakes.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

using namespace zv::node;
using namespace zv::node::test;
using namespace std::chrono_literals;

namespace {

const QString kPeer = QStringLiteral("127.0.0.1");
constexpr quint16 kPort = 30000;

QByteArray request(const QString &code, const QString &mark)
{
    return lineList({QStringLiteral("U_P2PFILEREQUEST0.5"), code, mark});
}

class ServingTest : public ::testing::Test {
protected:
    // A served file of size bytes under the code "<size>!1!2!0!".
    QString addFile(qsizetype size, const QString &name = QStringLiteral("f.bin"), int share = 1)
    {
        const QString code = QString::number(size) + QStringLiteral("!1!2!0!");
        content[code] = patternBytes(size);
        box.writeFile(name, content[code]);
        library.records.append({code, box.path(), name, share});
        return code;
    }
    void datagram(const QByteArray &bytes, quint16 port = kPort) { engine.handleDatagram(kPeer, port, bytes); }
    QStringList texts(const QList<SentDatagram> &sent)
    {
        QStringList out;
        for (const auto &d : sent)
            out.append(parseData(d.bytes) ? QStringLiteral("data") : QString::fromLatin1(d.bytes));
        return out;
    }

    zv::test::Sandbox box;
    FakeTransport transport;
    FakeLibrary library;
    DiskFileAccess disk;
    ServingEngine engine{transport, library, disk};
    QMap<QString, QByteArray> content;
};

TEST_F(ServingTest, ExactMarkFileSendsSixtyFourChunksThenEmptyMarkThenError)
{
    const QString code = addFile(65280);
    datagram(request(code, QStringLiteral("0")));
    EXPECT_TRUE(transport.tickOn);
    engine.tick();
    auto sent = transport.take();
    ASSERT_EQ(sent.size(), 65);
    for (int i = 0; i < 64; ++i) {
        const auto d = parseData(sent[i].bytes);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->first, std::uint32_t(i));
        EXPECT_EQ(d->second, content[code].mid(i * 1020, 1020));
        EXPECT_EQ(sent[i].bytes.size(), 1034);
    }
    EXPECT_EQ(sent[64].bytes, "C_P2PFILETRANSMARK0.5-0");

    datagram(lineList({QStringLiteral("U_REPLYTRANSMARK0.5")}));
    datagram(lineList({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QStringLiteral("1")}));
    engine.tick();
    EXPECT_EQ(texts(transport.take()), QStringList{QStringLiteral("C_P2PFILETRANSMARK0.5-1")});

    datagram(lineList({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QStringLiteral("2")}));
    engine.tick();
    EXPECT_EQ(texts(transport.take()), QStringList{QStringLiteral("C_P2PFILETRANSMARK0.5-2error")});
}

TEST_F(ServingTest, ShortLastChunkCarriesOnlyTheRemainingBytes)
{
    const QString code = addFile(1021);
    datagram(request(code, QStringLiteral("0")));
    engine.tick();
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(sent[0].bytes.size(), 1034);
    EXPECT_EQ(sent[1].bytes.size(), 15);
    EXPECT_EQ(parseData(sent[1].bytes)->first, 1u);
    EXPECT_EQ(parseData(sent[1].bytes)->second, content[code].right(1));
    EXPECT_EQ(sent[2].bytes, "C_P2PFILETRANSMARK0.5-0");
}

TEST_F(ServingTest, RepeatedRequestRestartsAtItsMarkWithoutNewLookUp)
{
    const QString code = addFile(3 * 65280);
    datagram(request(code, QStringLiteral("0")));
    engine.tick();
    transport.take();
    datagram(request(code, QStringLiteral("2")));
    EXPECT_EQ(library.lookups, 1);
    EXPECT_EQ(engine.transferCount(), 1);
    engine.tick();
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 65);
    EXPECT_EQ(parseData(sent[0].bytes)->first, 128u);
    EXPECT_EQ(sent[64].bytes, "C_P2PFILETRANSMARK0.5-2");
}

TEST_F(ServingTest, TwoCodesFromOneEndpointHoldTwoSlotsAndOneReplyAnswersBoth)
{
    const QString a = addFile(2000, QStringLiteral("a.bin"));
    const QString b = addFile(3000, QStringLiteral("b.bin"));
    datagram(request(a, QStringLiteral("0")));
    datagram(request(b, QStringLiteral("0")));
    ASSERT_EQ(engine.transferCount(), 2);
    engine.tick();
    transport.take();
    EXPECT_FALSE(engine.transfers()[0].markerAnswered);
    EXPECT_FALSE(engine.transfers()[1].markerAnswered);
    datagram(lineList({QStringLiteral("U_REPLYTRANSMARK0.5")}), kPort + 1); // another endpoint
    EXPECT_FALSE(engine.transfers()[0].markerAnswered);
    datagram(lineList({QStringLiteral("U_REPLYTRANSMARK0.5")}));
    EXPECT_TRUE(engine.transfers()[0].markerAnswered);
    EXPECT_TRUE(engine.transfers()[1].markerAnswered);
    transport.advance(5s);
    engine.tick();
    EXPECT_TRUE(transport.take().isEmpty()) << "an answered marker is not resent";
}

TEST_F(ServingTest, LostListIsRepairedAndTheMarkerCarriesIt)
{
    const QString code = addFile(3 * 65280);
    datagram(request(code, QStringLiteral("2")));
    engine.tick();
    transport.take();
    const QString lost = QStringLiteral("<130><140><191>");
    datagram(lineList({QStringLiteral("U_P2PLOSTNUM0.5"), code, QStringLiteral("2"), lost}));
    engine.tick();
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 4);
    const std::uint32_t want[] = {130, 140, 191};
    for (int i = 0; i < 3; ++i) {
        const auto d = parseData(sent[i].bytes);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->first, want[i]);
        EXPECT_EQ(d->second, content[code].mid(qsizetype(want[i]) * 1020, 1020));
    }
    EXPECT_EQ(sent[3].bytes, "C_P2PFILETRANSMARK0.5-2" + lost.toLatin1());
}

struct LostCase {
    const char *name;
    const char *list;
    std::vector<std::uint32_t> chunks;   // chunks resent, in order
    std::vector<int> payloadSizes;
};

class LostListTest : public ServingTest, public ::testing::WithParamInterface<LostCase> {};

TEST_P(LostListTest, OnlyNumbersInsideTheMarkAreResent)
{
    // Two marks; the second holds 1,000 bytes, so only its chunk 64 has data.
    const QString code = addFile(65280 + 1000);
    datagram(request(code, QStringLiteral("1")));
    engine.tick();
    transport.take();
    datagram(lineList({QStringLiteral("U_P2PLOSTNUM0.5"), code, QStringLiteral("1"), QString::fromLatin1(GetParam().list)}));
    engine.tick();
    auto sent = transport.take();
    ASSERT_FALSE(sent.isEmpty());
    sent.removeLast();
    ASSERT_EQ(sent.size(), qsizetype(GetParam().chunks.size()));
    for (qsizetype i = 0; i < sent.size(); ++i) {
        const auto d = parseData(sent[i].bytes);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->first, GetParam().chunks[i]);
        EXPECT_EQ(d->second.size(), GetParam().payloadSizes[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Elements, LostListTest, ::testing::Values(
    LostCase{"InsideWithData", "<64>", {64}, {1000}},
    LostCase{"PastTheDataGivesHeaderOnly", "<65><127>", {65, 127}, {0, 0}},
    LostCase{"OtherMarksSkipped", "<63><128><64>", {64}, {1000}},
    LostCase{"NotNumbersSkipped", "<abc><><-1><64x><64>", {64}, {1000}},
    LostCase{"HugeNumberSkipped", "<99999999999><64>", {64}, {1000}},
    LostCase{"NoElements", "garbage", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ServingTest, UnansweredMarkerIsResentEverySecondAndTheSlotDroppedAfterTen)
{
    const QString code = addFile(1000);
    datagram(request(code, QStringLiteral("0")));
    engine.tick();
    transport.take();
    transport.advance(900ms);
    engine.tick();
    EXPECT_TRUE(transport.take().isEmpty());
    for (int i = 1; i <= 10; ++i) {
        transport.advance(1001ms);
        engine.tick();
        const auto sent = transport.take();
        ASSERT_EQ(sent.size(), 1) << i;
        EXPECT_EQ(sent[0].bytes, "C_P2PFILETRANSMARK0.5-0");
        ASSERT_EQ(engine.transferCount(), 1);
    }
    transport.advance(1001ms);
    engine.tick();
    EXPECT_EQ(transport.take().size(), 1);
    EXPECT_EQ(engine.transferCount(), 0) << "removed after more than 10 resends";
}

TEST_F(ServingTest, AnsweredIdleTransferIsRemovedAfterTenSeconds)
{
    const QString code = addFile(1000);
    datagram(request(code, QStringLiteral("0")));
    engine.tick();
    datagram(lineList({QStringLiteral("U_REPLYTRANSMARK0.5")}));
    transport.advance(9999ms);
    engine.tick();
    EXPECT_EQ(engine.transferCount(), 1);
    transport.advance(2ms);
    engine.tick();
    EXPECT_EQ(engine.transferCount(), 0);
    EXPECT_TRUE(transport.tickOn) << "a table emptied by time-outs leaves the tick running";
}

TEST_F(ServingTest, HundredAndFirstRequestIsRefusedWithItsMark)
{
    const QString code = addFile(1000);
    for (int i = 0; i < 100; ++i)
        datagram(request(code, QStringLiteral("0")), quint16(40000 + i));
    ASSERT_EQ(engine.transferCount(), 100);
    transport.take();
    datagram(request(code, QStringLiteral("7")), 50000);
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].bytes, "C_P2PLIMIT0.57");
    EXPECT_EQ(sent[0].port, 50000);
    EXPECT_EQ(engine.transferCount(), 100);
    EXPECT_EQ(engine.transfers().last().port, 40099) << "no running transfer is dropped for a refusal";
}

TEST_F(ServingTest, UnknownOrWithheldCodeGetsNoFile)
{
    addFile(1000);
    const QString withheld = addFile(2000, QStringLiteral("w.bin"), 0);
    datagram(request(QStringLiteral("5!5!5!0!"), QStringLiteral("3")));
    datagram(request(withheld, QStringLiteral("0")));
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].bytes, "C_P2PNOFILE0.53");
    EXPECT_EQ(sent[1].bytes, "C_P2PNOFILE0.50");
    EXPECT_EQ(engine.transferCount(), 0);
}

TEST_F(ServingTest, MissingFileIsWithdrawnAndNotAnswered)
{
    const QString code = addFile(1000, QStringLiteral("gone.bin"));
    QFile::remove(box.path(QStringLiteral("gone.bin")));
    datagram(request(code, QStringLiteral("0")));
    EXPECT_TRUE(transport.take().isEmpty());
    EXPECT_EQ(engine.transferCount(), 0);
    EXPECT_EQ(library.withdrawn, QStringList{code + QStringLiteral("|gone.bin")});
}

TEST_F(ServingTest, FileVanishingDuringTheTransferIsWithdrawn)
{
    const QString code = addFile(100000, QStringLiteral("v.bin"));
    datagram(request(code, QStringLiteral("0")));
    engine.tick();
    transport.take();
    QFile::remove(box.path(QStringLiteral("v.bin")));
    datagram(lineList({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QStringLiteral("1")}));
    engine.tick();
    EXPECT_TRUE(transport.take().isEmpty());
    EXPECT_EQ(engine.transferCount(), 0);
    EXPECT_EQ(library.withdrawn.size(), 1);
}

TEST(ServingOpenRetry, FileThatWillNotOpenIsTriedForABoundedTimeThenRefused)
{
    FakeTransport transport;
    FakeLibrary library;
    library.records.append({QStringLiteral("9!9!9!0!"), QStringLiteral("/x/"), QStringLiteral("locked.bin")});
    StubbornFiles files(-1);
    ServingEngine engine(transport, library, files);
    engine.handleDatagram(kPeer, kPort, request(QStringLiteral("9!9!9!0!"), QStringLiteral("0")));
    const auto before = transport.clock;
    engine.tick();
    EXPECT_GE(transport.clock - before, 100ms);
    EXPECT_LE(transport.clock - before, 110ms);
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].bytes, "C_P2PNOFILE0.50");
    EXPECT_EQ(engine.transferCount(), 0);
    EXPECT_TRUE(library.withdrawn.isEmpty());
}

TEST(ServingOpenRetry, FileThatOpensOnTheThirdTryIsServed)
{
    zv::test::Sandbox box;
    box.writeFile(QStringLiteral("late.bin"), patternBytes(50));
    FakeTransport transport;
    FakeLibrary library;
    library.records.append({QStringLiteral("50!1!1!0!"), box.path(), QStringLiteral("late.bin")});
    StubbornFiles files(2);
    ServingEngine engine(transport, library, files);
    engine.handleDatagram(kPeer, kPort, request(QStringLiteral("50!1!1!0!"), QStringLiteral("0")));
    engine.tick();
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(parseData(sent[0].bytes)->second.size(), 50);
}

TEST_F(ServingTest, TransferEndRemovesTheSlotAndStopsTheTick)
{
    const QString code = addFile(1000);
    datagram(request(code, QStringLiteral("0")));
    datagram(lineList({QStringLiteral("U_P2PTRANSEND0.5"), QStringLiteral("other")}));
    EXPECT_EQ(engine.transferCount(), 1);
    datagram(lineList({QStringLiteral("U_P2PTRANSEND0.5"), code}), kPort + 1);
    EXPECT_EQ(engine.transferCount(), 1) << "another endpoint does not end this transfer";
    datagram(lineList({QStringLiteral("U_P2PTRANSEND0.5"), code}));
    EXPECT_EQ(engine.transferCount(), 0);
    EXPECT_FALSE(transport.tickOn);
}

TEST_F(ServingTest, PunchesAreAnswered)
{
    datagram("U_P2PHOLE0.5");
    datagram("s_p2paskfor0.5127.0.0.5:31234");
    datagram("s_p2paskfor0.5nonsense");
    datagram("s_p2paskfor0.5127.0.0.5:0");
    const auto sent = transport.take();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].bytes, "C_P2PSUCCESS0.5");
    EXPECT_EQ(sent[0].port, kPort);
    EXPECT_EQ(sent[1].bytes, "C_P2PHOLING0.5");
    EXPECT_EQ(sent[1].address, QStringLiteral("127.0.0.5"));
    EXPECT_EQ(sent[1].port, 31234);
}

TEST_F(ServingTest, MalformedRequestsAreIgnored)
{
    const QString code = addFile(1000);
    for (const QByteArray &bad : {QByteArray("U_P2PFILEREQUEST0.5"), request(code, QStringLiteral("-1")),
                                  request(code, QStringLiteral("x")), request(code, QString()),
                                  QByteArray("U_P2PLOSTNUM0.5\r\n"), QByteArray()})
        datagram(bad);
    EXPECT_TRUE(transport.take().isEmpty());
    EXPECT_EQ(engine.transferCount(), 0);
}

} // namespace
