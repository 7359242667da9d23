// Result sets: navigation, fields and Null, row edits through the current
// row, append, delete, requery and refresh.
#include "tests/store/storefixture.h"

using namespace zv;
using namespace zv::test;
using namespace Qt::StringLiterals;

namespace {

class StoreRows : public LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        if (HasFatalFailure())
            return;
        for (int i = 1; i <= 5; ++i)
            ids_ << addRecord(u"f"_s + QString::number(i) + u".doc"_s, u"/lib/"_s);
    }
    QList<qint64> ids_;
};

TEST_F(StoreRows, NavigationOverTopRows)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select top 3 * from table_file where update_state = 1 order by id"_s));
    ASSERT_EQ(rs.recordCount(), 3);
    EXPECT_FALSE(rs.bof());
    EXPECT_FALSE(rs.eof());
    QList<qint64> seen;
    for (; !rs.eof(); rs.next())
        seen << rs.field(u"id"_s).toLongLong();
    EXPECT_EQ(seen, ids_.mid(0, 3));
    EXPECT_FALSE(rs.next());
    EXPECT_TRUE(rs.isNull(u"file_name"_s)); // nothing current after the last row
    EXPECT_TRUE(rs.last());
    EXPECT_EQ(rs.field(u"id"_s).toLongLong(), ids_[2]);
    EXPECT_TRUE(rs.prior());
    EXPECT_TRUE(rs.prior());
    EXPECT_FALSE(rs.prior());
    EXPECT_TRUE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_TRUE(rs.moveTo(1));
    EXPECT_EQ(rs.field(u"id"_s).toLongLong(), ids_[1]);
    EXPECT_FALSE(rs.moveTo(7));
    EXPECT_TRUE(rs.eof());
    EXPECT_TRUE(rs.first());
    EXPECT_EQ(rs.rowId(), ids_[0]);
}

TEST_F(StoreRows, EmptySetIsBofAndEof)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where update_state = 99"_s));
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_TRUE(rs.bof());
    EXPECT_TRUE(rs.eof());
    EXPECT_FALSE(rs.first());
    EXPECT_FALSE(rs.last());
    EXPECT_TRUE(rs.isNull(u"id"_s));
    QString error;
    EXPECT_FALSE(rs.setField(u"score"_s, 1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(rs.deleteCurrent(&error));
    EXPECT_EQ(rs.fieldCount(), 33);
}

TEST_F(StoreRows, FieldsByNameAndNull)
{
    ASSERT_TRUE(db_.exec(u"update table_file set note = '', resume = null, score = null where id = "_s
                         + QString::number(ids_[0])));
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file order by id"_s));
    EXPECT_EQ(rs.fieldNames().first(), u"id"_s);
    EXPECT_EQ(rs.fieldNames().last(), u"int3"_s);
    EXPECT_EQ(str(rs.field(u"FILE_NAME"_s).toString()), "f1.doc");
    EXPECT_EQ(rs.field(u"File_Size"_s).typeId(), QMetaType::LongLong);
    EXPECT_EQ(rs.field(u"file_size"_s).toLongLong(), 0);
    EXPECT_FALSE(rs.isNull(u"note"_s)); // empty text is not Null
    EXPECT_EQ(rs.field(u"note"_s).toString(), QString());
    EXPECT_TRUE(rs.isNull(u"resume"_s));
    EXPECT_TRUE(rs.isNull(u"score"_s));
    EXPECT_FALSE(rs.field(u"score"_s).isValid());
    EXPECT_TRUE(rs.isNull(u"sort"_s));
    EXPECT_FALSE(rs.hasField(u"no_such_column"_s));
    EXPECT_TRUE(rs.isNull(u"no_such_column"_s));
    QString error;
    EXPECT_FALSE(rs.setField(u"no_such_column"_s, 1, &error));
    EXPECT_NE(error.indexOf(u"no_such_column"_s), -1);
    // Null written through a row edit reads back as Null.
    ASSERT_TRUE(rs.next());
    ASSERT_TRUE(rs.setField(u"share"_s, QVariant()));
    ASSERT_TRUE(rs.post(&error)) << str(error);
    EXPECT_TRUE(rs.isNull(u"share"_s));
    EXPECT_EQ(scalar(u"select count(*) from table_file where share is null"_s), 1);
}

TEST_F(StoreRows, CurrentRowEditStoresOnlyThatRowAndThoseColumns)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 ) order by id"_s));
    ASSERT_TRUE(rs.isEditable());
    EXPECT_EQ(str(rs.tableName()), "table_file");
    ASSERT_TRUE(rs.moveTo(1));
    // Another connection changes a column of the same row meanwhile.
    store::Database other;
    ASSERT_TRUE(other.open(path_));
    ASSERT_TRUE(other.exec(u"update table_file set download_times = 7 where id = "_s + QString::number(ids_[1])));

    ASSERT_TRUE(rs.setField(u"update_state"_s, 4));
    ASSERT_TRUE(rs.setField(u"subject"_s, u"数学"_s));
    ASSERT_TRUE(rs.setField(u"licence"_s, -1));
    EXPECT_EQ(rs.state(), store::ResultSet::State::Edit);
    EXPECT_EQ(rs.field(u"update_state"_s).toInt(), 4); // pending value reads back
    QString error;
    ASSERT_TRUE(rs.post(&error)) << str(error);
    EXPECT_EQ(rs.state(), store::ResultSet::State::Browse);
    EXPECT_EQ(rs.field(u"download_times"_s).toInt(), 7); // re-read from the table

    store::ResultSet check;
    ASSERT_TRUE(check.open(db_, u"select * from table_file order by id"_s));
    for (int i = 0; !check.eof(); check.next(), ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(check.field(u"update_state"_s).toInt(), i == 1 ? 4 : 1);
        EXPECT_EQ(check.isNull(u"subject"_s), i != 1);
        EXPECT_EQ(check.field(u"download_times"_s).toInt(), i == 1 ? 7 : 0);
        EXPECT_EQ(check.field(u"licence"_s).toInt(), i == 1 ? -1 : 0);
    }
}

TEST_F(StoreRows, MovingStoresPendingEditAndCancelDropsIt)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file order by id"_s));
    ASSERT_TRUE(rs.setField(u"score"_s, 5));
    ASSERT_TRUE(rs.next());
    ASSERT_TRUE(rs.setField(u"score"_s, 3));
    rs.cancel();
    EXPECT_EQ(rs.field(u"score"_s).toInt(), 0);
    EXPECT_EQ(scalar(u"select score from table_file where id = "_s + QString::number(ids_[0])), 5);
    EXPECT_EQ(scalar(u"select score from table_file where id = "_s + QString::number(ids_[1])), 0);

    // A pending edit that cannot be stored keeps the row where it is.
    ASSERT_TRUE(rs.setField(u"score"_s, qint64(3000000000)));
    EXPECT_FALSE(rs.next());
    EXPECT_FALSE(rs.lastError().isEmpty());
    EXPECT_EQ(rs.position(), 1);
    rs.cancel();
    EXPECT_TRUE(rs.next());
}

TEST_F(StoreRows, AppendMakesTheNewRowCurrent)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 )"_s));
    ASSERT_TRUE(rs.moveTo(2));
    ASSERT_TRUE(rs.append());
    EXPECT_EQ(rs.state(), store::ResultSet::State::Insert);
    EXPECT_EQ(rs.recordCount(), 6);
    EXPECT_EQ(rs.rowId(), -1);
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 8));
    ASSERT_TRUE(rs.setField(u"file_name"_s, u"新.doc"_s));
    ASSERT_TRUE(rs.setField(u"path"_s, u"/lib/新/"_s));
    ASSERT_TRUE(rs.setField(u"file_size"_s, 1234));
    ASSERT_TRUE(rs.setField(u"update_state"_s, 1));
    ASSERT_TRUE(rs.setField(u"modify_datetime"_s, when));
    QString error;
    ASSERT_TRUE(rs.post(&error)) << str(error);
    EXPECT_EQ(rs.state(), store::ResultSet::State::Browse);
    EXPECT_EQ(rs.position(), 5);
    EXPECT_GT(rs.rowId(), ids_.last());
    EXPECT_EQ(rs.field(u"id"_s).toLongLong(), rs.rowId());
    EXPECT_EQ(db_.lastInsertId(), rs.rowId());
    EXPECT_EQ(str(rs.field(u"file_name"_s).toString()), "新.doc");
    EXPECT_EQ(rs.field(u"share"_s).toInt(), 1);         // the table's default
    EXPECT_EQ(rs.field(u"download_times"_s).toInt(), 0);
    EXPECT_EQ(rs.field(u"modify_datetime"_s).toDateTime(), when);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 6);

    // An append that is cancelled leaves no row and restores the position.
    ASSERT_TRUE(rs.moveTo(1));
    ASSERT_TRUE(rs.append());
    ASSERT_TRUE(rs.setField(u"file_name"_s, u"x.doc"_s));
    rs.cancel();
    EXPECT_EQ(rs.recordCount(), 6);
    EXPECT_EQ(rs.position(), 1);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 6);
}

TEST_F(StoreRows, AppendToEmptySetAndPlainAppend)
{
    ASSERT_TRUE(db_.exec(u"delete from table_file"_s));
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select file_name, share from table_file"_s));
    ASSERT_TRUE(rs.append());
    QString error;
    ASSERT_TRUE(rs.post(&error)) << str(error); // every column its default
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_TRUE(rs.isNull(u"file_name"_s));
    EXPECT_EQ(rs.field(u"share"_s).toInt(), 1);
    EXPECT_GT(rs.rowId(), 0);
}

// The confirmation walk: 11, 13 and 14 become 0, a row with 12 is deleted and
// the walk continues with the row that followed it.
TEST_F(StoreRows, DeleteContinuesWithFollowingRow)
{
    const int states[] = {11, 12, 12, 14, 3, 12};
    ASSERT_TRUE(db_.exec(u"delete from table_file"_s));
    for (const int s : states)
        addRecord(u"s"_s + QString::number(s) + u".doc"_s, u"/lib/"_s, s);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where update_state > 10"_s));
    ASSERT_EQ(rs.recordCount(), 5);
    QString error;
    while (!rs.eof()) {
        const int s = rs.field(u"update_state"_s).toInt();
        if (s == 12) {
            ASSERT_TRUE(rs.deleteCurrent(&error)) << str(error);
            continue;
        }
        if (s == 11 || s == 13 || s == 14) {
            ASSERT_TRUE(rs.setField(u"update_state"_s, 0));
        }
        rs.next(); // stores the edit
        ASSERT_EQ(rs.state(), store::ResultSet::State::Browse) << str(rs.lastError());
    }
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 3);
    EXPECT_EQ(scalar(u"select count(*) from table_file where update_state = 0"_s), 2);
    EXPECT_EQ(scalar(u"select count(*) from table_file where update_state = 3"_s), 1);
}

TEST_F(StoreRows, RequeryKeepsTheRowByIdAndRefreshRereadsIt)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 ) order by file_name"_s));
    ASSERT_TRUE(rs.moveTo(2));
    const qint64 id = rs.rowId();
    store::Database other;
    ASSERT_TRUE(other.open(path_));
    // StoreRows appear before it; its own values change.
    ASSERT_TRUE(other.exec(u"insert into table_file (file_name, update_state) values ('a1.doc', 1)"_s));
    ASSERT_TRUE(other.exec(u"insert into table_file (file_name, update_state) values ('a2.doc', 1)"_s));
    ASSERT_TRUE(other.exec(u"update table_file set file_size = 99 where id = "_s + QString::number(id)));

    ASSERT_TRUE(rs.refresh());
    EXPECT_EQ(rs.position(), 2);
    EXPECT_EQ(rs.rowId(), id);
    EXPECT_EQ(rs.field(u"file_size"_s).toInt(), 99);
    EXPECT_EQ(rs.recordCount(), 5);

    ASSERT_TRUE(rs.requery());
    EXPECT_EQ(rs.recordCount(), 7);
    EXPECT_EQ(rs.rowId(), id);
    EXPECT_EQ(rs.position(), 4);

    // The current row removed elsewhere: requery keeps the position.
    ASSERT_TRUE(other.exec(u"update table_file set update_state = 2 where id = "_s + QString::number(id)));
    QString error;
    ASSERT_TRUE(rs.requery(&error)) << str(error);
    EXPECT_EQ(rs.recordCount(), 6);
    EXPECT_EQ(rs.position(), 4);
    // Deleted elsewhere: refresh and edits say so.
    ASSERT_TRUE(other.exec(u"delete from table_file where id = "_s + QString::number(rs.rowId())));
    EXPECT_FALSE(rs.refresh(&error));
    ASSERT_TRUE(rs.setField(u"score"_s, 1));
    EXPECT_FALSE(rs.post(&error));
    EXPECT_FALSE(error.isEmpty());
    rs.cancel();
}

struct ReadOnlyCase {
    const char *name;
    const char16_t *sql;
};
void PrintTo(const ReadOnlyCase &c, std::ostream *os)
{
    *os << c.name;
}
class StoreReadOnlySets : public StoreRows, public ::testing::WithParamInterface<ReadOnlyCase> {};

TEST_P(StoreReadOnlySets, ReadButNotEdited)
{
    store::ResultSet rs;
    QString error;
    ASSERT_TRUE(rs.open(db_, QString::fromUtf16(GetParam().sql), &error)) << str(error);
    EXPECT_FALSE(rs.isEditable());
    EXPECT_GT(rs.recordCount(), 0);
    EXPECT_FALSE(rs.isNull(rs.fieldNames().first()));
    EXPECT_FALSE(rs.setField(rs.fieldNames().first(), 1, &error));
    EXPECT_FALSE(rs.append(&error));
    EXPECT_FALSE(rs.deleteCurrent(&error));
    EXPECT_EQ(rs.rowId(), -1);
    EXPECT_TRUE(rs.refresh(&error)) << str(error);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, StoreReadOnlySets,
    ::testing::Values(ReadOnlyCase{"count", u"select count(*) from table_file"},
                      ReadOnlyCase{"distinct", u"select distinct path from table_file"},
                      ReadOnlyCase{"group_by", u"select path, count(*) from table_file group by path"},
                      ReadOnlyCase{"join", u"select a.file_name, b.id from table_file a, table_file b where a.id = b.id"},
                      ReadOnlyCase{"join_keyword", u"select a.file_name from table_file a join table_file b on a.id = b.id"},
                      ReadOnlyCase{"union", u"select file_name from table_file union select path from table_file"},
                      ReadOnlyCase{"no_table", u"select 1"},
                      ReadOnlyCase{"max_of_column", u"select max(file_size) as m, min (id) from table_file"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StoreRows, ComputedColumnIsReadOnlyInEditableSet)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select file_name, file_size + 1 as bigger, score from table_file t where id > 0"_s));
    ASSERT_TRUE(rs.isEditable());
    EXPECT_EQ(rs.field(u"bigger"_s).toInt(), 1);
    QString error;
    EXPECT_FALSE(rs.setField(u"bigger"_s, 5, &error));
    ASSERT_TRUE(rs.setField(u"score"_s, 2, &error)) << str(error);
    ASSERT_TRUE(rs.post(&error)) << str(error);
    EXPECT_EQ(rs.field(u"score"_s).toInt(), 2);
}

TEST_F(StoreRows, ClosedDatabaseMakesEditsFailWithoutCrash)
{
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file"_s));
    ASSERT_TRUE(rs.setField(u"score"_s, 1));
    db_.close();
    QString error;
    EXPECT_FALSE(rs.post(&error));
    EXPECT_FALSE(error.isEmpty());
    rs.cancel();
    EXPECT_EQ(str(rs.field(u"file_name"_s).toString()), "f1.doc"); // what was read stays readable
    EXPECT_FALSE(rs.requery(&error));
    EXPECT_FALSE(rs.deleteCurrent(&error));
    EXPECT_FALSE(rs.open(db_, u"select * from table_file"_s, &error));
}

TEST_F(StoreRows, FailedOpenLeavesAClosedSet)
{
    store::ResultSet rs;
    QString error;
    EXPECT_FALSE(rs.open(db_, u"select * from no_table"_s, &error));
    EXPECT_NE(error.indexOf(u"no_table"_s), -1) << str(error);
    EXPECT_FALSE(rs.isOpen());
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_FALSE(rs.open(db_, u"select * from table_file; delete from table_file"_s, &error));
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 5);
}

} // namespace
