#include "common/framing.h"
#include "platform/textcodec.h"

#include <gtest/gtest.h>

using namespace zv;

namespace {

struct KeyCase {
    const char *name;
    std::int32_t key;
    std::uint8_t k;
    std::uint8_t h;
};

// Independent statement of the transform: c = NOT(((p + k) XOR k) XOR h).
std::uint8_t reference(std::uint8_t p, std::uint8_t k, std::uint8_t h)
{
    return static_cast<std::uint8_t>(~((static_cast<std::uint8_t>(p + k) ^ k) ^ h));
}

void PrintTo(const KeyCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScrambleKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ScrambleKeys, MatchesTransformAndRoundTrips)
{
    const auto &c = GetParam();
    for (int p = 0; p < 256; ++p) {
        const auto byte = static_cast<std::uint8_t>(p);
        const auto s = scrambleByte(byte, c.key);
        ASSERT_EQ(s, reference(byte, c.k, c.h)) << "byte " << p;
        ASSERT_EQ(unscrambleByte(s, c.key), byte) << "byte " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ScrambleKeys,
                         ::testing::Values(KeyCase{"minus1", -1, 255, 0},
                                           KeyCase{"zero", 0, 0, 0},
                                           KeyCase{"k255", 255, 255, 127},
                                           KeyCase{"k256", 256, 0, 128},
                                           // -3 / 2 rounds toward zero: -1, low byte 255 (a shift would give -2 = 254)
                                           KeyCase{"minus3", -3, 253, 255},
                                           KeyCase{"max", 0x7fffffff, 255, 255},
                                           KeyCase{"min", INT32_MIN, 0, 0},
                                           KeyCase{"k512", 512, 0, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Scramble, KeyWithZeroLowBytesIsComplement)
{
    for (int p = 0; p < 256; ++p)
        EXPECT_EQ(scrambleByte(static_cast<std::uint8_t>(p), 512), static_cast<std::uint8_t>(~p));
}

TEST(Frame, RendersFieldsAndClosingLine)
{
    EXPECT_EQ(renderFrame({}), QByteArray("|\r\n"));
    EXPECT_EQ(renderFrame({QStringLiteral("U_HAND0.5")}), QByteArray("U_HAND0.5\r\n|\r\n"));
    const QByteArray gbk = renderFrame({QStringLiteral("中"), QString()});
    EXPECT_EQ(gbk, QByteArray("\xD6\xD0\r\n\r\n|\r\n"));
}

TEST(Frame, FieldsCannotBreakTheFrame)
{
    const QByteArray f = renderFrame({QStringLiteral("a\r\nb"), QStringLiteral("|"), QStringLiteral("c")});
    EXPECT_EQ(f, QByteArray("a  b\r\n| \r\nc\r\n|\r\n"));
}

TEST(ParseInt32, StrictDecimal)
{
    EXPECT_EQ(parseInt32(QStringLiteral("123")), 123);
    EXPECT_EQ(parseInt32(QStringLiteral("-2147483648")), INT32_MIN);
    EXPECT_FALSE(parseInt32(QStringLiteral("2147483648")));
    EXPECT_FALSE(parseInt32(QStringLiteral("12a")));
    EXPECT_FALSE(parseInt32(QStringLiteral("")));
    EXPECT_FALSE(parseInt32(QStringLiteral(" 1")));
    EXPECT_FALSE(parseInt32(QStringLiteral("-")));
}

std::vector<Message> drain(FrameSplitter &s)
{
    std::vector<Message> out;
    while (auto m = s.next())
        out.push_back(*m);
    return out;
}

TEST(Splitter, FrameSplitOverSeveralReadsIsDispatchedOnce)
{
    FrameSplitter s;
    s.setKey(12345);
    const QByteArray frame = encodeFrame({QStringLiteral("s_reply_t0.5"), QStringLiteral("10.0.0.1"), QStringLiteral("8000")}, 12345);
    // Nothing is dispatched until the break after the closing "|" arrives.
    for (qsizetype i = 0; i + 2 < frame.size(); ++i) {
        s.append(frame.mid(i, 1));
        ASSERT_FALSE(s.next()) << "dispatched early at byte " << i;
    }
    s.append(frame.mid(frame.size() - 2, 1));
    auto m = s.next();
    ASSERT_TRUE(m);
    s.append(frame.right(1));
    EXPECT_EQ(m->fields, (QStringList{QStringLiteral("s_reply_t0.5"), QStringLiteral("10.0.0.1"), QStringLiteral("8000")}));
    EXPECT_FALSE(s.next());
    EXPECT_EQ(s.buffered(), 0);
}

TEST(Splitter, TwoFramesInOneReadBothYielded)
{
    FrameSplitter s;
    s.setKey(-77);
    s.append(encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("12")}, -77)
             + encodeFrame({}, -77));
    auto ms = drain(s);
    ASSERT_EQ(ms.size(), 2u);
    EXPECT_EQ(ms[0].verb(), QStringLiteral("s_u_jifen_update0.5"));
    EXPECT_EQ(ms[0].field(1), QStringLiteral("12"));
    EXPECT_TRUE(ms[1].isEmpty());
}

TEST(Splitter, RawKeyFollowedByScrambledFramesInOneRead)
{
    FrameSplitter s; // key -1: nothing received yet
    const QByteArray bytes = encodeKeyFrame(987654) + encodeFrame({QStringLiteral("A")}, 987654)
                             + encodeFrame({}, 987654);
    s.append(bytes);
    auto ms = drain(s);
    ASSERT_EQ(ms.size(), 3u);
    EXPECT_TRUE(ms[0].plain);
    EXPECT_EQ(ms[0].verb(), kSendKeyVerb);
    EXPECT_EQ(s.key(), 987654);
    EXPECT_EQ(ms[1].verb(), QStringLiteral("A"));
    EXPECT_FALSE(ms[1].plain);
    EXPECT_TRUE(ms[2].isEmpty());
}

TEST(Splitter, ScrambledKeyFrameIsAcceptedToo)
{
    FrameSplitter s;
    s.setKey(5);
    s.append(encodeFrame({kSendKeyVerb, QStringLiteral("99")}, 5) + encodeFrame({QStringLiteral("X")}, 99));
    auto ms = drain(s);
    ASSERT_EQ(ms.size(), 2u);
    EXPECT_EQ(s.key(), 99);
    EXPECT_EQ(ms[1].verb(), QStringLiteral("X"));
}

TEST(Splitter, MalformedKeyKeepsOldKey)
{
    FrameSplitter s;
    s.setKey(7);
    s.append(encodeKeyFrame(1).replace("1\r\n|", "x\r\n|"));
    auto ms = drain(s);
    ASSERT_EQ(ms.size(), 1u);
    EXPECT_EQ(s.key(), 7);
}

TEST(Splitter, LoneLineBreaksAndEmptyFields)
{
    FrameSplitter s;
    s.setKey(0);
    QByteArray plain("a\n\rb\r\n\r\n|\r");
    QByteArray wire = plain;
    scrambleInPlace(wire, 0);
    s.append(wire);
    auto m = s.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->fields, (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b"), QString()}));
    // The LF of the closing CR LF arrives with the next read and is not a message of its own.
    QByteArray rest = QByteArray("\n") + renderFrame({QStringLiteral("n")});
    scrambleInPlace(rest, 0);
    s.append(rest);
    auto ms = drain(s);
    ASSERT_EQ(ms.size(), 1u);
    EXPECT_EQ(ms[0].verb(), QStringLiteral("n"));
}

TEST(Splitter, PipeInsideLineIsNotAClosingLine)
{
    FrameSplitter s;
    s.setKey(0);
    QByteArray wire("a|\r\n||\r\n");
    scrambleInPlace(wire, 0);
    s.append(wire);
    EXPECT_FALSE(s.next());
}

TEST(Splitter, GbkFieldsDecoded)
{
    FrameSplitter s;
    s.setKey(42);
    s.append(encodeFrame({QStringLiteral("s_u_login_reply0.5"), QStringLiteral("张三")}, 42));
    auto m = s.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->field(1), QStringLiteral("张三"));
}

TEST(Splitter, BufferBoundDropsUnendedFrame)
{
    FrameSplitter s(1024);
    s.setKey(3);
    QByteArray junk(600, 'x');
    s.append(junk);
    EXPECT_FALSE(s.next());
    EXPECT_FALSE(s.takeOverflow());
    s.append(junk);
    EXPECT_FALSE(s.next());
    EXPECT_TRUE(s.takeOverflow());
    EXPECT_FALSE(s.takeOverflow());
    EXPECT_EQ(s.buffered(), 0);
    // The connection goes on with the next frame.
    s.append(encodeFrame({QStringLiteral("ok")}, 3));
    auto m = s.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->verb(), QStringLiteral("ok"));
}

TEST(Splitter, LargeFrameInManyReadsIsLinear)
{
    // 4 MiB in 4 KiB reads: each byte is unscrambled and scanned once.
    FrameSplitter s;
    s.setKey(1000);
    QStringList fields{QStringLiteral("big")};
    for (int i = 0; i < 40000; ++i)
        fields.append(QString(100, u'z'));
    const QByteArray frame = encodeFrame(fields, 1000);
    for (qsizetype at = 0; at < frame.size(); at += 4096) {
        s.append(QByteArrayView(frame).sliced(at, std::min<qsizetype>(4096, frame.size() - at)));
        if (at + 4096 < frame.size()) {
            ASSERT_FALSE(s.next());
        }
    }
    auto m = s.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->fields.size(), fields.size());
}

TEST(Splitter, ZeroByteEndsAField)
{
    FrameSplitter s;
    s.setKey(0);
    QByteArray wire("ab\0cd\r\n|\r\n", 10);
    scrambleInPlace(wire, 0);
    s.append(wire);
    auto m = s.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->verb(), QStringLiteral("ab"));
}

} // namespace
