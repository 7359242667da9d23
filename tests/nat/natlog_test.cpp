#include "common/nat/natlog.h"
#include "tests/support/sandbox.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <optional>

using namespace zv::nat;

namespace {

struct StoredCase {
    const char *name;
    const char *bytes; // nullptr: no file
    std::optional<int> expected;
};

void PrintTo(const StoredCase &c, std::ostream *os) { *os << c.name; }

const StoredCase kStoredCases[] = {
    {"NoFile", nullptr, std::nullopt},
    {"EmptyFile", "", std::nullopt},
    {"HeaderOnly", "nat_type\r\n", std::nullopt},
    {"EmptyLine", "nat_type\r\n\r\n0\r\n", std::nullopt},
    {"Seven", "nat_type\r\n7\r\n", std::nullopt},
    {"MinusOne", "nat_type\r\n-1\r\n", std::nullopt},
    {"Text", "nat_type\r\nfour\r\n", std::nullopt},
    {"Zero", "nat_type\r\n0\r\n", 0},
    {"Four", "nat_type\r\n4\r\n0\r\n", 4},
    {"Six", "nat_type\r\n6", 6},
    {"LoneLineFeeds", "nat_type\n3\n1\n", 3},
};

class StoredNatType : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredNatType, ReadsLineOneWhenValid)
{
    zv::test::Sandbox box;
    const QString path = box.path(QStringLiteral("nat_type.log"));
    if (GetParam().bytes)
        box.writeFile(QStringLiteral("nat_type.log"), QByteArray(GetParam().bytes));
    EXPECT_EQ(readStoredNatType(path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredNatType, ::testing::ValuesIn(kStoredCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct WriteCase {
    const char *name;
    const char *before; // nullptr: no file
    const char *afterType; // after the node writes type 5
    const char *afterFlag; // after the client raises the flag to 1
};

void PrintTo(const WriteCase &c, std::ostream *os) { *os << c.name; }

const WriteCase kWriteCases[] = {
    {"MissingFile", nullptr, "nat_type\r\n5\r\n", "nat_type\r\n\r\n1\r\n"},
    {"EmptyFile", "", "nat_type\r\n5\r\n", "nat_type\r\n\r\n1\r\n"},
    {"HeaderOnly", "nat_type\r\n", "nat_type\r\n5\r\n", "nat_type\r\n\r\n1\r\n"},
    {"NodeFile", "nat_type\r\n4\r\n", "nat_type\r\n5\r\n", "nat_type\r\n4\r\n1\r\n"},
    {"FullFile", "nat_type\r\n4\r\n0\r\n", "nat_type\r\n5\r\n0\r\n", "nat_type\r\n4\r\n1\r\n"},
    {"LongFile", "nat_type\r\n4\r\n0\r\nextra\r\nmore", "nat_type\r\n5\r\n0\r\nextra\r\nmore\r\n",
     "nat_type\r\n4\r\n1\r\nextra\r\nmore\r\n"},
};

class NatLogWriters : public ::testing::TestWithParam<WriteCase> {
protected:
    QString prepare(zv::test::Sandbox &box) const
    {
        if (GetParam().before)
            box.writeFile(QStringLiteral("nat_type.log"), QByteArray(GetParam().before));
        return box.path(QStringLiteral("nat_type.log"));
    }
};

TEST_P(NatLogWriters, NodeReplacesLineOneKeepingTheRest)
{
    zv::test::Sandbox box;
    ASSERT_TRUE(writeStoredNatType(prepare(box), 5));
    EXPECT_EQ(box.readFile(QStringLiteral("nat_type.log")), QByteArray(GetParam().afterType));
}

TEST_P(NatLogWriters, ClientReplacesLineTwoKeepingTheRest)
{
    zv::test::Sandbox box;
    const QString path = prepare(box);
    ASSERT_TRUE(writeLibraryBusyFlag(path, 1));
    EXPECT_EQ(box.readFile(QStringLiteral("nat_type.log")), QByteArray(GetParam().afterFlag));
    EXPECT_TRUE(readLibraryBusyFlag(path));
    ASSERT_TRUE(writeLibraryBusyFlag(path, 0));
    EXPECT_FALSE(readLibraryBusyFlag(path));
}

INSTANTIATE_TEST_SUITE_P(Cases, NatLogWriters, ::testing::ValuesIn(kWriteCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(NatLog, NodeAndClientLinesDoNotDisturbEachOther)
{
    zv::test::Sandbox box;
    const QString path = box.path(QStringLiteral("nat_type.log"));
    ASSERT_TRUE(writeLibraryBusyFlag(path, 1)); // the client alone: empty type line
    EXPECT_EQ(readStoredNatType(path), std::nullopt);
    ASSERT_TRUE(writeStoredNatType(path, 3));
    EXPECT_TRUE(readLibraryBusyFlag(path));
    EXPECT_EQ(readStoredNatType(path), 3);
    ASSERT_TRUE(writeLibraryBusyFlag(path, 0));
    EXPECT_EQ(readStoredNatType(path), 3);
}

TEST(NatLog, BusyFlagReadsZeroForMissingOrBadLines)
{
    zv::test::Sandbox box;
    const QString path = box.path(QStringLiteral("nat_type.log"));
    EXPECT_FALSE(readLibraryBusyFlag(path));
    box.writeFile(QStringLiteral("nat_type.log"), "nat_type\r\n4\r\n");
    EXPECT_FALSE(readLibraryBusyFlag(path));
    box.writeFile(QStringLiteral("nat_type.log"), "nat_type\r\n4\r\nyes\r\n");
    EXPECT_FALSE(readLibraryBusyFlag(path));
    box.writeFile(QStringLiteral("nat_type.log"), "nat_type\r\n4\r\n2\r\n");
    EXPECT_FALSE(readLibraryBusyFlag(path));
}

TEST(NatLog, WriterFailsInsteadOfClobberingAFolder)
{
    zv::test::Sandbox box;
    ASSERT_TRUE(box.mkdir(QStringLiteral("nat_type.log")));
    EXPECT_FALSE(writeStoredNatType(box.path(QStringLiteral("nat_type.log")), 1));
    EXPECT_FALSE(writeLibraryBusyFlag(box.path(QStringLiteral("nat_type.log")), 1));
    EXPECT_TRUE(QFileInfo(box.path(QStringLiteral("nat_type.log"))).isDir());
}

} // namespace
