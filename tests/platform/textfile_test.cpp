#include "platform/textcodec.h"
#include "platform/textfile.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

using namespace zv::platform;

namespace {

struct SplitCase {
    const char *name;
    QByteArray bytes;
    QStringList lines;
};

void PrintTo(const SplitCase &c, std::ostream *os)
{
    *os << c.name;
}

class SplitLines : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLines, Splits)
{
    EXPECT_EQ(splitLines(GetParam().bytes), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, SplitLines,
    ::testing::Values(
        SplitCase{"empty", QByteArray(), {}},
        SplitCase{"crlf", QByteArray("a\r\nb\r\n"), {QStringLiteral("a"), QStringLiteral("b")}},
        SplitCase{"noFinalBreak", QByteArray("a\r\nb"), {QStringLiteral("a"), QStringLiteral("b")}},
        SplitCase{"loneCrAndLf", QByteArray("a\rb\nc"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
        SplitCase{"emptyLines", QByteArray("\r\n\r\nx\r\n"), {QString(), QString(), QStringLiteral("x")}},
        SplitCase{"lfCr", QByteArray("a\n\rb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        SplitCase{"gbk", QByteArray("\xB1\xB1\xBE\xA9 \xB6\xAB\xB3\xC7\r\n"), {QStringLiteral("北京 东城")}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TextFile, WritesCrLfGb18030AndReadsBack)
{
    zv::test::Sandbox box;
    const QString path = box.path(QStringLiteral("x.ls"));
    const QStringList lines{QStringLiteral("false"), QString(), QStringLiteral("c:/下载资源/"), QStringLiteral("𠀀")};
    ASSERT_TRUE(writeLines(path, lines));
    const QByteArray raw = box.readFile(QStringLiteral("x.ls"));
    EXPECT_TRUE(raw.startsWith("false\r\n\r\nc:/"));
    EXPECT_TRUE(raw.endsWith("\r\n"));
    EXPECT_TRUE(raw.contains(toAnsi(QStringLiteral("下载资源"))));
    EXPECT_EQ(toAnsi(QStringLiteral("中")), QByteArray("\xD6\xD0")); // GBK bytes for GBK characters
    auto back = readLines(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, lines);
}

TEST(TextFile, MissingFileIsNullopt)
{
    zv::test::Sandbox box;
    EXPECT_FALSE(readLines(box.path(QStringLiteral("none"))));
}

TEST(TextFile, FailedWriteKeepsOldFile)
{
    zv::test::Sandbox box;
    const QString path = box.path(QStringLiteral("d/x.ls"));
    EXPECT_FALSE(writeLines(path, {QStringLiteral("a")})); // folder missing
    box.mkdir(QStringLiteral("d"));
    ASSERT_TRUE(writeLines(path, {QStringLiteral("a")}));
    EXPECT_EQ(readLines(path)->value(0), QStringLiteral("a"));
}

TEST(TextFile, TouchCreatesOnlyWhenMissing)
{
    zv::test::Sandbox box;
    const QString path = box.writeFile(QStringLiteral("t"), "keep");
    EXPECT_TRUE(touchFile(path));
    EXPECT_EQ(box.readFile(QStringLiteral("t")), QByteArray("keep"));
    EXPECT_TRUE(touchFile(box.path(QStringLiteral("n"))));
    EXPECT_TRUE(QFileInfo::exists(box.path(QStringLiteral("n"))));
}

} // namespace
