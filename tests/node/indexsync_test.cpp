// Announcement batches, the confirmation and the local index check on a real
// local.res.
#include "common/intake.h"
#include "common/store/store.h"
#include "node/indexsync.h"
#include "platform/textfile.h"
#include "tests/support/sandbox.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace zv;
using namespace zv::node;

namespace {

struct Row {
    QString name = QStringLiteral("a.doc");
    QVariant size = 100;
    QVariant code = QStringLiteral("100!1!2!0!");
    QVariant state = 1;
    QVariant share = 1;
    QVariant userId = 10001;
    QVariant resume = QVariant();
    QString path = QStringLiteral("/nowhere/");
    QVariant written = QVariant();
};

class IndexSyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(store::createLibrary(box.path(QStringLiteral("local.res")), &error)) << error.toStdString();
        ASSERT_TRUE(db.open(box.path(QStringLiteral("local.res")), &error)) << error.toStdString();
        sync.openGate();
    }
    qint64 add(const Row &r)
    {
        store::ResultSet rs;
        EXPECT_TRUE(rs.open(db, QStringLiteral("select * from table_file where id < 0")));
        EXPECT_TRUE(rs.append());
        const std::pair<const char *, QVariant> values[] = {
            {"file_name", r.name}, {"file_size", r.size}, {"file_code", r.code}, {"update_state", r.state},
            {"share", r.share}, {"user_id", r.userId}, {"resume", r.resume}, {"path", r.path},
            {"modify_datetime", r.written}, {"grade", QStringLiteral("七年级")}, {"subject", QStringLiteral("数学")},
            {"score", 3}};
        for (const auto &[column, value] : values) {
            QString error;
            EXPECT_TRUE(rs.setField(QString::fromLatin1(column), value.isValid() ? value : QVariant(), &error))
                << column << error.toStdString();
        }
        QString error;
        EXPECT_TRUE(rs.post(&error)) << error.toStdString();
        return rs.rowId();
    }
    QMap<QString, QVariant> rowOf(qint64 id)
    {
        store::ResultSet rs;
        QMap<QString, QVariant> out;
        if (!rs.open(db, QStringLiteral("select * from table_file where id = %1").arg(id)) || rs.isEmpty())
            return out;
        for (const QString &f : rs.fieldNames())
            out[f] = rs.field(f);
        return out;
    }
    int count(const QString &where)
    {
        store::ResultSet rs;
        rs.open(db, QStringLiteral("select * from table_file where ") + where);
        return int(rs.recordCount());
    }
    // The records of a batch, each as its list of lines.
    static int recordCount(const QStringList &batch)
    {
        int n = 0;
        for (qsizetype i = 4; i < batch.size(); ++n) {
            const int resumeLines = batch.value(i + 13).toInt();
            i += 16 + resumeLines;
        }
        return n;
    }

    zv::test::Sandbox box;
    store::Database db;
    QList<QStringList> sent;
    bool busy = false;
    IndexSync sync{db, [this](const QStringList &m) { sent.append(m); }, [] { return 7; }, [this] { return busy; }};
};

TEST_F(IndexSyncTest, LoginWithNothingMarkedSendsTheHeaderInModeZero)
{
    add({.state = 0});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Login));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0], (QStringList{QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), QStringLiteral("7"),
                                    QStringLiteral("0")}));
    EXPECT_FALSE(sync.gateOpen());
}

TEST_F(IndexSyncTest, PeriodicWithNothingMarkedSendsNothingAndKeepsTheGateOpen)
{
    add({.state = 0});
    EXPECT_FALSE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(sync.gateOpen());
}

TEST_F(IndexSyncTest, RecordLinesWithAThreeLineResumeAndWithAnEmptyOne)
{
    const qint64 a = add({.name = QStringLiteral("课件.ppt"), .resume = QStringLiteral("one\r\ntwo\nthree")});
    const qint64 b = add({.name = QStringLiteral("b.doc"), .state = 4, .resume = QString()});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Login));
    ASSERT_EQ(sent.size(), 1);
    const QStringList &m = sent[0];
    EXPECT_EQ(m[3], QStringLiteral("1"));
    ASSERT_EQ(m.size(), 4 + 19 + 16);
    const QStringList first = m.mid(4, 19);
    EXPECT_EQ(first, (QStringList{QStringLiteral("课件.ppt"), QStringLiteral("100"), QStringLiteral("100!1!2!0!"),
                                  QStringLiteral("七年级"), QStringLiteral("10001"), QStringLiteral("1"), QString(),
                                  QString(), QStringLiteral("数学"), QString(), QString(), QString(), QString(),
                                  QStringLiteral("3"), QStringLiteral("one"), QStringLiteral("two"),
                                  QStringLiteral("three"), QString(), QStringLiteral("3")}));
    const QStringList second = m.mid(23);
    EXPECT_EQ(second[5], QStringLiteral("4"));
    EXPECT_EQ(second[13], QStringLiteral("0"));
    EXPECT_EQ(second[14], QString());
    EXPECT_EQ(second[15], QStringLiteral("3"));
    EXPECT_EQ(rowOf(a)[QStringLiteral("update_state")].toInt(), 11);
    EXPECT_EQ(rowOf(b)[QStringLiteral("update_state")].toInt(), 14);
}

TEST_F(IndexSyncTest, RowsWithNullInARequiredColumnAreNotSentAndKeepTheirMark)
{
    const qint64 nullShare = add({.share = QVariant()});
    const qint64 nullSize = add({.size = QVariant()});
    const qint64 nullUser = add({.userId = QVariant()});
    const qint64 good = add({});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(recordCount(sent[0]), 1);
    for (qint64 id : {nullShare, nullSize, nullUser})
        EXPECT_EQ(rowOf(id)[QStringLiteral("update_state")].toInt(), 1);
    EXPECT_EQ(rowOf(good)[QStringLiteral("update_state")].toInt(), 11);
}

TEST_F(IndexSyncTest, WithheldRecordIsAnnouncedAsRemovalInEveryKindOfBatch)
{
    const qint64 id = add({.share = 0});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(sent[0][4 + 5], QStringLiteral("2"));
    EXPECT_EQ(rowOf(id)[QStringLiteral("update_state")].toInt(), 11);
    sync.confirm();
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Full));
    EXPECT_EQ(sent[1][3], QStringLiteral("3"));
    EXPECT_EQ(sent[1][4 + 5], QStringLiteral("2")) << "a full rebuild does not offer a withheld record";
}

TEST_F(IndexSyncTest, FullRebuildOfTwoThousandFiveHundredRows)
{
    for (int i = 0; i < 2500; ++i)
        add({.name = QStringLiteral("f%1.doc").arg(i), .state = i % 3 == 0 ? 0 : 11});
    add({.name = QStringLiteral("gone.doc"), .state = 2});
    add({.name = QStringLiteral("gone2.doc"), .state = 12});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Full));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0][3], QStringLiteral("3"));
    EXPECT_EQ(recordCount(sent[0]), 1000);
    EXPECT_EQ(count(QStringLiteral("update_state = 2 or update_state = 12")), 0) << "removed rows are deleted first";
    EXPECT_FALSE(sent[0].contains(QStringLiteral("gone.doc")));
    EXPECT_FALSE(sync.announce(IndexSync::Kind::Periodic)) << "the gate waits for the confirmation";

    sync.confirm();
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(sent[1][3], QStringLiteral("2"));
    EXPECT_EQ(recordCount(sent[1]), 1000);
    sync.confirm();
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(recordCount(sent[2]), 500);
    sync.confirm();
    EXPECT_FALSE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(count(QStringLiteral("update_state = 0")), 2500);
}

TEST_F(IndexSyncTest, ConfirmationSettlesEveryRowAboveTen)
{
    const qint64 s11 = add({.state = 11}), s12 = add({.state = 12}), s13 = add({.state = 13}),
                 s14 = add({.state = 14}), s1 = add({.state = 1}), s5 = add({.state = 5}), s15 = add({.state = 15});
    sync.closeGate();
    sync.confirm();
    EXPECT_TRUE(sync.gateOpen());
    EXPECT_EQ(rowOf(s11)[QStringLiteral("update_state")].toInt(), 0);
    EXPECT_TRUE(rowOf(s12).isEmpty());
    EXPECT_EQ(rowOf(s13)[QStringLiteral("update_state")].toInt(), 0);
    EXPECT_EQ(rowOf(s14)[QStringLiteral("update_state")].toInt(), 0);
    EXPECT_EQ(rowOf(s1)[QStringLiteral("update_state")].toInt(), 1);
    EXPECT_EQ(rowOf(s5)[QStringLiteral("update_state")].toInt(), 5);
    EXPECT_EQ(rowOf(s15)[QStringLiteral("update_state")].toInt(), 15);
}

TEST_F(IndexSyncTest, StatesFiveToNineAreSentButNotMoved)
{
    const qint64 id = add({.state = 7});
    ASSERT_TRUE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_EQ(sent[0][4 + 5], QStringLiteral("7"));
    EXPECT_EQ(rowOf(id)[QStringLiteral("update_state")].toInt(), 7);
}

TEST_F(IndexSyncTest, LibraryBusyFlagHoldsBatchesBack)
{
    add({});
    busy = true;
    EXPECT_FALSE(sync.announce(IndexSync::Kind::Periodic));
    EXPECT_FALSE(sync.announce(IndexSync::Kind::Login));
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(sync.gateOpen());
    busy = false;
    EXPECT_TRUE(sync.announce(IndexSync::Kind::Periodic));
}

TEST_F(IndexSyncTest, LocalIndexCheckRecodesChangedFilesAndWithdrawsVanishedOnes)
{
    const QString folder = box.path(QStringLiteral("lib")) + u'/';
    box.writeFile(QStringLiteral("lib/same.doc"), QByteArray(300, 'a'));
    box.writeFile(QStringLiteral("lib/changed.doc"), QByteArray(500, 'b'));
    box.writeFile(QStringLiteral("lib/shared.doc"), QByteArray(700, 'c'));
    const QString sameFull = folder + QStringLiteral("same.doc");
    const QString changedFull = folder + QStringLiteral("changed.doc");
    const qint64 same = add({.name = QStringLiteral("same.doc"), .size = 300, .code = featureCode(sameFull),
                             .state = 0, .path = folder, .written = dosLastWriteTime(sameFull)});
    const qint64 changed = add({.name = QStringLiteral("changed.doc"), .size = 400, .code = QStringLiteral("400!9!9!0!"),
                                .state = 0, .path = folder, .written = dosLastWriteTime(changedFull)});
    // Two rows hold shared.doc under one old code: no removal record for it.
    const qint64 shared1 = add({.name = QStringLiteral("shared.doc"), .size = 1, .code = QStringLiteral("1!1!1!0!"),
                                .state = 0, .path = folder});
    const qint64 shared2 = add({.name = QStringLiteral("shared.doc"), .size = 1, .code = QStringLiteral("1!1!1!0!"),
                                .state = 0, .path = QStringLiteral("/elsewhere/")});
    const qint64 vanishedOnly = add({.name = QStringLiteral("only.doc"), .code = QStringLiteral("5!5!5!0!"), .state = 0});
    const qint64 vanishedTwin1 = add({.name = QStringLiteral("twin.doc"), .code = QStringLiteral("6!6!6!0!"), .state = 0});
    const qint64 vanishedTwin2 = add({.name = QStringLiteral("twin.doc"), .code = QStringLiteral("6!6!6!0!"), .state = 0,
                                      .path = QStringLiteral("/other/")});
    int rows = 0;
    sync.checkLocalIndex([&] { ++rows; });

    EXPECT_EQ(rows, 7);
    EXPECT_EQ(rowOf(same)[QStringLiteral("update_state")].toInt(), 0) << "unchanged";

    const auto c = rowOf(changed);
    EXPECT_EQ(c[QStringLiteral("update_state")].toInt(), 1);
    EXPECT_EQ(c[QStringLiteral("file_size")].toInt(), 500);
    EXPECT_EQ(c[QStringLiteral("file_code")].toString(), featureCode(changedFull));
    EXPECT_EQ(count(QStringLiteral("file_code = '400!9!9!0!' and file_name = 'changed.doc' and update_state = 2")), 1)
        << "a removal record for the old code";

    EXPECT_EQ(rowOf(shared1)[QStringLiteral("update_state")].toInt(), 1) << "a Null time counts as changed";
    EXPECT_EQ(count(QStringLiteral("file_code = '1!1!1!0!' and path is null")), 0) << "no removal record while another row holds it";
    EXPECT_EQ(rowOf(shared2)[QStringLiteral("update_state")].toInt(), 2) << "vanished, and by now the only holder";

    EXPECT_EQ(rowOf(vanishedOnly)[QStringLiteral("update_state")].toInt(), 2);
    EXPECT_TRUE(rowOf(vanishedTwin1).isEmpty()) << "another record holds it: deleted without announcement";
    EXPECT_EQ(rowOf(vanishedTwin2)[QStringLiteral("update_state")].toInt(), 2);
}

TEST_F(IndexSyncTest, AConfirmationInsideTheCheckDoesNotDisturbItsWalk)
{
    for (int i = 0; i < 5; ++i)
        add({.name = QStringLiteral("v%1.doc").arg(i), .code = QStringLiteral("%1!0!0!0!").arg(i), .state = 0});
    add({.name = QStringLiteral("sent.doc"), .state = 12});
    int rows = 0;
    sync.checkLocalIndex([&] {
        if (++rows == 2)
            sync.confirm();
    });
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(count(QStringLiteral("update_state = 2")), 5);
    EXPECT_EQ(count(QStringLiteral("file_name = 'sent.doc'")), 0);
}

TEST_F(IndexSyncTest, DeleteAllEmptiesTheTable)
{
    add({});
    add({.state = 12});
    EXPECT_TRUE(sync.deleteAll());
    EXPECT_EQ(count(QStringLiteral("1 = 1")), 0);
}

} // namespace
