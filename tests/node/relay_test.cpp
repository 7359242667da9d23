// The relay answer: one whole mark in the "C_T" layout, or no answer.
#include "node/relay.h"
#include "tests/node/fakes.h"
#include "tests/support/sandbox.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace zv::node;
using namespace zv::node::test;

namespace {

class RelayAnswerTest : public ::testing::Test {
protected:
    QString addFile(qsizetype size, const QString &name = QStringLiteral("r.bin"), qsizetype codeSize = -1)
    {
        const QString code = QString::number(codeSize < 0 ? size : codeSize) + QStringLiteral("!1!2!0!");
        bytes = patternBytes(size, 3);
        box.writeFile(name, bytes);
        library.records.append({code, box.path(), name});
        return code;
    }
    std::optional<QByteArray> answer(const QString &code, const QString &mark)
    {
        return relayAnswer(library, disk, RetryPolicy{}, code, mark, QStringLiteral("tag9"));
    }
    static QByteArray header(qint64 count, const QString &code, const QString &mark)
    {
        return "C_T\r\n" + QByteArray::number(count) + "\r\n" + code.toLatin1() + "\r\n" + mark.toLatin1()
            + "\r\ntag9\r\n#\r\n";
    }

    zv::test::Sandbox box;
    FakeLibrary library;
    DiskFileAccess disk;
    QByteArray bytes;
};

TEST_F(RelayAnswerTest, LastMarkOfAnExactMultipleCarriesAWholeMark)
{
    const QString code = addFile(2 * 65280);
    const auto a = answer(code, QStringLiteral("1"));
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, header(65280, code, QStringLiteral("1")) + bytes.mid(65280));
}

TEST_F(RelayAnswerTest, ShortLastMarkCarriesTheRest)
{
    const QString code = addFile(70000);
    EXPECT_EQ(*answer(code, QStringLiteral("0")), header(65280, code, QStringLiteral("0")) + bytes.left(65280));
    EXPECT_EQ(*answer(code, QStringLiteral("1")), header(4720, code, QStringLiteral("1")) + bytes.mid(65280));
}

TEST_F(RelayAnswerTest, NoAnswerForBadRequests)
{
    const QString code = addFile(70000);
    for (const char *mark : {"2", "-1", "x", "", "99999999999"})
        EXPECT_FALSE(answer(code, QString::fromLatin1(mark))) << mark;
    EXPECT_FALSE(answer(QStringLiteral("nocode"), QStringLiteral("0")));
    EXPECT_FALSE(answer(QStringLiteral("0!1!2!0!"), QStringLiteral("0")));
    EXPECT_FALSE(answer(QStringLiteral("5!5!5!0!"), QStringLiteral("0"))) << "no record";
}

TEST_F(RelayAnswerTest, FileShorterThanItsCodeGetsNoAnswer)
{
    const QString code = addFile(1000, QStringLiteral("changed.bin"), 2000);
    EXPECT_FALSE(answer(code, QStringLiteral("0")));
}

TEST_F(RelayAnswerTest, MissingFileIsWithdrawnAndTheNextHolderServes)
{
    const QString code = addFile(3000, QStringLiteral("second.bin"));
    library.records.prepend({code, box.path(QStringLiteral("gone")) + u'/', QStringLiteral("second.bin")});
    const auto a = answer(code, QStringLiteral("0"));
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->endsWith(bytes));
    EXPECT_EQ(library.withdrawn, QStringList{code + QStringLiteral("|second.bin")});
}

} // namespace
