// The table_file schema: columns, defaults, value bounds and stored dates.
#include "tests/store/storefixture.h"

#include <QFile>
#include <QTimeZone>

using namespace zv;
using namespace zv::test;
using namespace Qt::StringLiterals;

namespace {

// The columns of table_file in the table's order, with what a new row holds.
struct Expected {
    const char *name;
    const char *type;    // declared type
    const char *dflt;    // default value, nullptr for none
};
constexpr Expected kColumns[] = {
    {"id", "INTEGER", nullptr},          {"file_name", "TEXT", nullptr},     {"file_size", "INTEGER", "0"},
    {"file_code", "TEXT", nullptr},      {"path", "TEXT", nullptr},          {"update_state", "INTEGER", "0"},
    {"type", "TEXT", nullptr},           {"sort", "TEXT", nullptr},          {"phase", "TEXT", nullptr},
    {"grade", "TEXT", nullptr},          {"subject", "TEXT", nullptr},       {"ken", "TEXT", nullptr},
    {"note", "TEXT", nullptr},           {"resume", "TEXT", nullptr},        {"search_times", "INTEGER", "0"},
    {"download_times", "INTEGER", "0"},  {"modify_datetime", "DATETIME", nullptr}, {"score", "INTEGER", "0"},
    {"share", "INTEGER", "1"},           {"user_id", "INTEGER", "0"},        {"zy_user_id", "INTEGER", "0"},
    {"licence", "INTEGER", "0"},         {"deal_state", "INTEGER", "0"},     {"chubanshe", "TEXT", nullptr},
    {"zhang", "TEXT", nullptr},          {"jie", "TEXT", nullptr},           {"zhuanti", "TEXT", nullptr},
    {"char1", "TEXT", nullptr},          {"char2", "TEXT", nullptr},         {"char3", "TEXT", nullptr},
    {"int1", "INTEGER", "0"},            {"int2", "INTEGER", "0"},           {"int3", "INTEGER", "0"},
};

class StoreSchema : public LibraryFixture {};

TEST_F(StoreSchema, ColumnsInOrderWithTypesAndDefaults)
{
    store::ResultSet info;
    ASSERT_TRUE(info.open(db_, u"PRAGMA table_info(table_file)"_s));
    ASSERT_EQ(info.recordCount(), static_cast<qsizetype>(std::size(kColumns)));
    for (const Expected &e : kColumns) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(str(info.field(u"name"_s).toString()), e.name);
        EXPECT_EQ(str(info.field(u"type"_s).toString()), e.type);
        if (e.dflt) {
            EXPECT_EQ(str(info.field(u"dflt_value"_s).toString()), e.dflt);
        } else {
            EXPECT_TRUE(info.isNull(u"dflt_value"_s));
        }
        info.next();
    }
    // The published column list agrees with the table.
    ASSERT_EQ(store::libraryColumns().size(), std::size(kColumns));
    for (size_t i = 0; i < std::size(kColumns); ++i)
        EXPECT_EQ(str(QString::fromUtf16(store::libraryColumns()[i].name)), kColumns[i].name);
}

TEST_F(StoreSchema, RemovalRecordHasNoNullInIntegerColumns)
{
    ASSERT_TRUE(db_.exec(u"insert into table_file (file_code,file_name,update_state,int1) values ('10!1!2!0!','"_s
                         + sqlQuote(u"it's.doc"_s) + u"','2','2')"_s));
    ASSERT_TRUE(db_.exec(u"insert into table_file (file_code,file_name,update_state) values ('10!1!2!0!','b.doc','2')"_s));
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file order by id"_s));
    ASSERT_EQ(rs.recordCount(), 2);
    for (; !rs.eof(); rs.next()) {
        for (const Expected &e : kColumns) {
            const QString name = QString::fromLatin1(e.name);
            if (QByteArray(e.type) == "INTEGER") {
                EXPECT_FALSE(rs.isNull(name)) << e.name;
            }
        }
        EXPECT_EQ(rs.field(u"share"_s).toInt(), 1);
        EXPECT_EQ(rs.field(u"update_state"_s).toInt(), 2);
        EXPECT_EQ(rs.field(u"update_state"_s).typeId(), QMetaType::LongLong); // '2' stored as a number
        EXPECT_TRUE(rs.isNull(u"path"_s));
        EXPECT_TRUE(rs.isNull(u"modify_datetime"_s));
    }
    rs.first();
    EXPECT_EQ(str(rs.field(u"file_name"_s).toString()), "it's.doc");
    EXPECT_EQ(rs.field(u"int1"_s).toInt(), 2);
}

TEST_F(StoreSchema, CreatingAgainKeepsRowsAndUsesWal)
{
    addRecord(u"a.doc"_s, u"/x/"_s);
    QString error;
    ASSERT_TRUE(store::createLibrary(path_, &error)) << str(error);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 1);
    store::ResultSet mode;
    ASSERT_TRUE(mode.open(db_, u"PRAGMA journal_mode"_s));
    EXPECT_EQ(str(mode.field(0).toString()), "wal");
}

TEST_F(StoreSchema, OpenRefusesMissingAndForeignFiles)
{
    store::Database db;
    QString error;
    EXPECT_FALSE(db.open(box_.path(u"missing.res"_s), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(box_.path(u"missing.res"_s)));
    const QString junk = box_.writeFile(u"junk.res"_s, QByteArray(4096, 'x'));
    error.clear();
    EXPECT_FALSE(db.open(junk, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(db.exec(u"select 1"_s, &error));

    // Read-only: reads work, writes are refused.
    addRecord(u"a.doc"_s, u"/x/"_s);
    ASSERT_TRUE(db.open(path_, &error, store::Database::Mode::ReadOnly)) << str(error);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db, u"select * from table_file"_s));
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_FALSE(db.exec(u"delete from table_file"_s, &error));
    ASSERT_TRUE(rs.setField(u"score"_s, 1));
    EXPECT_FALSE(rs.post(&error));
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 1);
}

// Text lengths: the longest value fits, one more is refused.
struct LengthCase {
    const char *column;
    int max;
};
void PrintTo(const LengthCase &c, std::ostream *os)
{
    *os << c.column;
}
class StoreTextLength : public LibraryFixture, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(StoreTextLength, LongestFitsOneMoreRefused)
{
    const auto &c = GetParam();
    const QString column = QString::fromLatin1(c.column);
    const qint64 id = addRecord(u"a.doc"_s, u"/x/"_s);
    const QString where = u" where id = "_s + QString::number(id);
    const QString fits(c.max, u'字');
    const QString over(c.max + 1, u'a');
    QString error;
    EXPECT_TRUE(db_.exec(u"update table_file set "_s + column + u" = '"_s + fits + u"'"_s + where, &error)) << str(error);
    EXPECT_FALSE(db_.exec(u"update table_file set "_s + column + u" = '"_s + over + u"'"_s + where, &error));
    EXPECT_NE(error.indexOf(column + u"_length"_s), -1) << str(error);

    // The same through a row edit; the refused value leaves the row as it was.
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file"_s + where));
    ASSERT_TRUE(rs.setField(column, over));
    EXPECT_FALSE(rs.post(&error));
    EXPECT_FALSE(error.isEmpty());
    rs.cancel();
    ASSERT_TRUE(rs.requery());
    EXPECT_EQ(rs.field(column).toString().size(), c.max);
}

INSTANTIATE_TEST_SUITE_P(Columns, StoreTextLength,
                         ::testing::Values(LengthCase{"file_name", 255}, LengthCase{"file_code", 100},
                                           LengthCase{"type", 50}, LengthCase{"subject", 50}, LengthCase{"ken", 100},
                                           LengthCase{"zhang", 255}, LengthCase{"char3", 255},
                                           LengthCase{"path", store::kMemoMaxChars},
                                           LengthCase{"resume", store::kMemoMaxChars}),
                         [](const auto &info) { return std::string(info.param.column); });

// 32-bit integer columns.
struct IntCase {
    const char *name;
    const char *expr; // value as written in the statement
    bool accepted;
};
void PrintTo(const IntCase &c, std::ostream *os)
{
    *os << c.name;
}
class StoreInt32Column : public LibraryFixture, public ::testing::WithParamInterface<IntCase> {};

TEST_P(StoreInt32Column, RangeAndType)
{
    const auto &c = GetParam();
    const qint64 id = addRecord(u"a.doc"_s, u"/x/"_s);
    QString error;
    const bool ok = db_.exec(u"update table_file set file_size = "_s + QString::fromLatin1(c.expr) + u" where id = "_s
                                 + QString::number(id),
                             &error);
    EXPECT_EQ(ok, c.accepted) << str(error);
    if (!ok) {
        EXPECT_NE(error.indexOf(u"file_size_range"_s), -1) << str(error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoreInt32Column,
    ::testing::Values(IntCase{"max", "2147483647", true}, IntCase{"min", "-2147483648", true},
                      IntCase{"minus_one", "-1", true}, IntCase{"text_number", "'12'", true},
                      IntCase{"whole_real", "3.0", true}, IntCase{"over_max", "2147483648", false},
                      IntCase{"under_min", "-2147483649", false}, IntCase{"fraction", "2.5", false},
                      IntCase{"text", "'abc'", false}, IntCase{"overflowing_sum", "2147483647 + 1", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StoreSchema, IncrementAtMaximumIsRefusedAndRowEditOverflowToo)
{
    const qint64 id = addRecord(u"a.doc"_s, u"/x/"_s);
    const QString where = u" where id = "_s + QString::number(id);
    ASSERT_TRUE(db_.exec(u"update table_file set download_times = 2147483647"_s + where));
    QString error;
    EXPECT_FALSE(db_.exec(u"update table_file set download_times = download_times + 1"_s + where, &error));
    EXPECT_EQ(scalar(u"select download_times from table_file"_s + where), 2147483647);

    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file"_s + where));
    ASSERT_TRUE(rs.setField(u"user_id"_s, qint64(1) << 32));
    EXPECT_FALSE(rs.post(&error));
    EXPECT_NE(error.indexOf(u"user_id_range"_s), -1) << str(error);
    EXPECT_EQ(rs.state(), store::ResultSet::State::Edit);
    rs.cancel();
    EXPECT_EQ(rs.field(u"user_id"_s).toLongLong(), 0);
    EXPECT_EQ(scalar(u"select user_id from table_file"_s + where), 0);
}

// Dates read back as the local date and time they were given.
struct DateCase {
    const char *name;
    QDateTime given;
};
void PrintTo(const DateCase &c, std::ostream *os)
{
    *os << c.name;
}
class StoreDateRoundTrip : public LibraryFixture, public ::testing::WithParamInterface<DateCase> {};

TEST_P(StoreDateRoundTrip, ThroughRowEditAndStatement)
{
    const QDateTime given = GetParam().given;
    const qint64 id = addRecord(u"a.doc"_s, u"/x/"_s);
    const QString where = u" where id = "_s + QString::number(id);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file"_s + where));
    ASSERT_TRUE(rs.setField(u"modify_datetime"_s, given));
    QString error;
    ASSERT_TRUE(rs.post(&error)) << str(error);
    EXPECT_EQ(rs.field(u"modify_datetime"_s).typeId(), QMetaType::QDateTime);
    EXPECT_EQ(rs.field(u"modify_datetime"_s).toDateTime(), given);
    ASSERT_TRUE(rs.requery());
    const QDateTime back = rs.field(u"modify_datetime"_s).toDateTime();
    EXPECT_EQ(back, given);
    EXPECT_EQ(back.toLocalTime().date(), given.toLocalTime().date());
    EXPECT_EQ(back.toLocalTime().time(), given.toLocalTime().time());

    // Stored as local text, so a statement compares it as written.
    store::ResultSet raw;
    ASSERT_TRUE(raw.open(db_, u"select modify_datetime || '' as m, typeof(modify_datetime) as t from table_file"_s + where));
    EXPECT_EQ(str(raw.field(u"t"_s).toString()), "text");
    EXPECT_EQ(str(raw.field(u"m"_s).toString()), str(given.toLocalTime().toString(u"yyyy-MM-dd hh:mm:ss"_s)));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, StoreDateRoundTrip,
    ::testing::Values(DateCase{"leap_day", QDateTime(QDate(2008, 2, 29), QTime(23, 59, 58))},
                      DateCase{"dos_epoch", QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0))},
                      DateCase{"dos_end", QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58))},
                      DateCase{"given_in_utc", QDateTime(QDate(2026, 7, 1), QTime(12, 0, 2), QTimeZone::utc())},
                      DateCase{"winter", QDateTime(QDate(2026, 1, 15), QTime(8, 30, 10))}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StoreSchema, DateColumnRefusesTextThatIsNotADate)
{
    const qint64 id = addRecord(u"a.doc"_s, u"/x/"_s);
    const QString where = u" where id = "_s + QString::number(id);
    QString error;
    EXPECT_TRUE(db_.exec(u"update table_file set modify_datetime = #2/28/2006 10:00:02#"_s + where, &error)) << str(error);
    EXPECT_EQ(store::fromStoredDateTime(u"2006-02-28 10:00:02"_s), QDateTime(QDate(2006, 2, 28), QTime(10, 0, 2)));
    for (const QString &bad : {u"'2006-02-30 10:00:00'"_s, u"'yesterday'"_s, u"20060102"_s, u"'2006-1-2 10:00:00'"_s}) {
        EXPECT_FALSE(db_.exec(u"update table_file set modify_datetime = "_s + bad + where, &error)) << str(bad);
        EXPECT_NE(error.indexOf(u"modify_datetime_form"_s), -1) << str(error);
    }
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file"_s + where));
    EXPECT_EQ(rs.field(u"modify_datetime"_s).toDateTime(), QDateTime(QDate(2006, 2, 28), QTime(10, 0, 2)));
}

TEST(StoreCreate, AnyOtherDatabase)
{
    Sandbox box;
    const QString path = box.path(u"chubanshe.res"_s);
    QString error;
    ASSERT_TRUE(store::createDatabase(
        path,
        {u"create table 人民教育出版社小学 (ID integer primary key, 学科 text, 学段 text, 年级 text, 章目 text, 节 text)"_s,
         u"insert into 人民教育出版社小学 (学科,学段,年级,章目,节) values ('语文','小学','一年级上册','第一单元',null)"_s},
        &error))
        << str(error);
    // A failing statement leaves nothing half-made.
    const QString other = box.path(u"other.res"_s);
    EXPECT_FALSE(store::createDatabase(other, {u"create table t (a)"_s, u"insert into nowhere values (1)"_s}, &error));
    store::Database db;
    ASSERT_TRUE(db.open(other, &error)) << str(error);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db, u"select count(*) from sqlite_master"_s));
    EXPECT_EQ(rs.field(0).toInt(), 0);
}

} // namespace
