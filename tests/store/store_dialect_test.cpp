// The statement dialect: top N, #date#, Jet's LIKE, quoting, and the
// statement texts the programs issue, run as they stand.
#include "tests/store/storefixture.h"

using namespace zv;
using namespace zv::test;
using namespace Qt::StringLiterals;

namespace {

struct Rewrite {
    const char *name;
    const char16_t *in;
    const char16_t *out;
};
void PrintTo(const Rewrite &c, std::ostream *os)
{
    *os << c.name;
}

class StoreTranslate : public ::testing::TestWithParam<Rewrite> {};

TEST_P(StoreTranslate, Rewrites)
{
    const auto &c = GetParam();
    EXPECT_EQ(str(store::translateStatement(QString::fromUtf16(c.in))), str(QString::fromUtf16(c.out)));
}

INSTANTIATE_TEST_SUITE_P(
    Statements, StoreTranslate,
    ::testing::Values(
        Rewrite{"top_with_where", u"select top 1000 * from table_file where (update_state > 0) and (update_state < 10)",
                u"select * from table_file where (update_state > 0) and (update_state < 10) LIMIT 1000"},
        Rewrite{"top_alone", u"select top 1000 * from table_file", u"select * from table_file LIMIT 1000"},
        Rewrite{"top_upper_case_order_by", u"SELECT TOP 5 file_name FROM t ORDER BY id",
                u"SELECT file_name FROM t ORDER BY id LIMIT 5"},
        Rewrite{"top_in_subquery", u"select * from t where id in (select top 1 id from t order by id desc)",
                u"select * from t where id in (select id from t order by id desc LIMIT 1)"},
        Rewrite{"top_before_semicolon", u"select top 2 * from t;  ", u"select * from t LIMIT 2;  "},
        Rewrite{"top_before_comment", u"select top 2 * from t -- the first two",
                u"select * from t LIMIT 2 -- the first two"},
        Rewrite{"top_distinct", u"select distinct top 4 subject from t", u"select distinct subject from t LIMIT 4"},
        Rewrite{"top_percent_untouched", u"select top 10 percent * from t", u"select top 10 percent * from t"},
        Rewrite{"column_named_topic", u"select topic, top from t", u"select topic, top from t"},
        Rewrite{"strings_untouched", u"select * from t where a = 'select top 3 #1/2/2006# delete * from' and b <> 'it''s'",
                u"select * from t where a = 'select top 3 #1/2/2006# delete * from' and b <> 'it''s'"},
        Rewrite{"us_date_literal", u"select * from t where modify_datetime > #1/2/2006 10:00:00#",
                u"select * from t where modify_datetime > '2006-01-02 10:00:00'"},
        Rewrite{"iso_date_literal", u"select * from t where d = #2006-01-02#",
                u"select * from t where d = '2006-01-02 00:00:00'"},
        Rewrite{"not_a_date_untouched", u"select * from t where d = #soon#", u"select * from t where d = #soon#"},
        Rewrite{"delete_star", u"delete * from table_file where id = 3", u"delete from table_file where id = 3"},
        Rewrite{"chinese_names", u"select * from 人民教育出版社小学 where 学科='语文' and 章目 like'第一单元' order by ID",
                u"select * from 人民教育出版社小学 where 学科='语文' and 章目 like'第一单元' order by ID"},
        Rewrite{"unclosed_quote_untouched", u"select top 1 * from t where a = 'x", u"select * from t where a = 'x LIMIT 1"}),
    [](const auto &info) { return std::string(info.param.name); });

struct LikeCase {
    const char *name;
    const char16_t *pattern;
    const char16_t *text;
    bool match;
};
void PrintTo(const LikeCase &c, std::ostream *os)
{
    *os << c.name;
}

class StoreJetLike : public LibraryFixture, public ::testing::WithParamInterface<LikeCase> {};

TEST_P(StoreJetLike, MatchesAsJetDoesAlsoInStatements)
{
    const auto &c = GetParam();
    const QString pattern = QString::fromUtf16(c.pattern);
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(store::jetLike(pattern, text), c.match);
    // "x LIKE y" in a statement follows the same rules.
    EXPECT_EQ(scalar(u"select '"_s + sqlQuote(text) + u"' like '"_s + sqlQuote(pattern) + u"'"_s), c.match ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, StoreJetLike,
    ::testing::Values(
        LikeCase{"case_insensitive", u"report.doc", u"Report.DOC", true},
        LikeCase{"case_insensitive_beyond_ascii", u"ÄÖ", u"äö", true},
        LikeCase{"run_at_end", u"a%", u"abc", true}, LikeCase{"run_at_start", u"%c", u"abc", true},
        LikeCase{"run_matches_empty", u"%", u"", true}, LikeCase{"runs_backtrack", u"%a%b%", u"xxaxxbxx", true},
        LikeCase{"runs_need_end", u"%a%b", u"xxaxxbxx", false},
        LikeCase{"one_char", u"a_c", u"abc", true}, LikeCase{"one_char_not_two", u"a_c", u"abbc", false},
        LikeCase{"one_char_not_none", u"_", u"", false},
        LikeCase{"class", u"[abc]x", u"bx", true}, LikeCase{"class_miss", u"[abc]x", u"dx", false},
        LikeCase{"range", u"[a-c]x", u"Bx", true}, LikeCase{"range_miss", u"[a-c]x", u"dx", false},
        LikeCase{"range_upper_matches_lower", u"[A-Z]", u"q", true},
        LikeCase{"negated", u"[!a-c]x", u"dx", true}, LikeCase{"negated_miss", u"[!a-c]x", u"ax", false},
        LikeCase{"bracketed_percent", u"[%]%", u"%abc", true},
        LikeCase{"bracketed_percent_is_literal", u"[%]%", u"abc", false},
        LikeCase{"bracketed_underscore", u"[_]x", u"_x", true},
        LikeCase{"bracketed_underscore_is_literal", u"[_]x", u"ax", false},
        LikeCase{"bracketed_bracket", u"[[]x]", u"[x]", true},
        LikeCase{"bracketed_bracket_is_literal", u"[[]x]", u"x]", false},
        LikeCase{"empty_class_takes_nothing", u"a[]b", u"ab", true},
        LikeCase{"unclosed_bracket_literal", u"a[b", u"a[b", true},
        LikeCase{"closing_bracket_literal", u"a]", u"a]", true},
        LikeCase{"no_wildcard_is_equality", u"第一单元", u"第一单元 ", false},
        LikeCase{"chinese", u"%课件%", u"物理课件.ppt", true},
        LikeCase{"star_and_question_are_plain", u"a*?", u"a*?", true},
        LikeCase{"star_does_not_match_run", u"a*", u"abc", false}),
    [](const auto &info) { return std::string(info.param.name); });

class StoreDialect : public LibraryFixture {};

TEST_F(StoreDialect, LikeWithNullIsNull)
{
    addRecord(u"a.doc"_s, u"/x/"_s);
    ASSERT_TRUE(db_.exec(u"update table_file set path = null"_s));
    EXPECT_EQ(scalar(u"select count(*) from table_file where path like '%'"_s), 0);
    EXPECT_EQ(scalar(u"select count(*) from table_file where not (path like '%')"_s), 0);
    EXPECT_EQ(scalar(u"select count(*) from table_file where path is null"_s), 1);
}

TEST_F(StoreDialect, TopLimitsRows)
{
    for (int i = 0; i < 6; ++i)
        addRecord(u"f"_s + QString::number(i) + u".doc"_s, u"/x/"_s, i < 5 ? 1 : 0);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select top 3 * from table_file where (update_state > 0) and (update_state < 10)"_s));
    EXPECT_EQ(rs.recordCount(), 3);
    EXPECT_TRUE(rs.isEditable());
    ASSERT_TRUE(rs.open(db_, u"select top 100 * from table_file"_s));
    EXPECT_EQ(rs.recordCount(), 6);
}

// A category folder holding "%", "_", "[" or a quote selects only its own
// records and those below it.
TEST_F(StoreDialect, LikeQuotedFolderMatchesOnlyItself)
{
    const QStringList folders = {
        u"/home/t/资源/50%/"_s,  u"/home/t/资源/50%/sub/"_s, u"/home/t/资源/50x/"_s,  u"/home/t/资源/501/"_s,
        u"/home/t/资源/a_b/"_s,  u"/home/t/资源/axb/"_s,     u"/home/t/资源/[x]/"_s,  u"/home/t/资源/x/"_s,
        u"/home/t/资源/[!x]/"_s, u"/home/t/资源/y/"_s,       u"/home/t/O'Brien/"_s,   u"/home/t/O'Brien2/"_s,
        u"/home/t/资源/[a-c]/"_s, u"/home/t/资源/b/"_s,
    };
    for (const QString &f : folders)
        addRecord(u"f.doc"_s, f);
    addRecord(u"gone.doc"_s, u"/home/t/资源/50%/"_s, 2);
    for (const QString &f : folders) {
        SCOPED_TRACE(str(f));
        qint64 expected = 0;
        for (const QString &g : folders)
            expected += g.startsWith(f) ? 1 : 0;
        const QString sql = u"select * from table_file where ( share = 1 ) and ( update_state <> 2 ) and ( update_state <> 12 ) and ( path like '"_s
                            + likeQuote(f) + u"%')"_s;
        store::ResultSet rs;
        QString error;
        ASSERT_TRUE(rs.open(db_, sql, &error)) << str(error);
        EXPECT_EQ(rs.recordCount(), expected);
        for (; !rs.eof(); rs.next())
            EXPECT_TRUE(rs.field(u"path"_s).toString().startsWith(f));
    }
}

TEST_F(StoreDialect, QuotedNamesFindTheirRecordAndOverlongMatchNothing)
{
    const QString name = u"teacher's 'plan'.doc"_s;
    addRecord(name, u"/x/"_s, 1, u"5!1!1!0!"_s);
    addRecord(u"other.doc"_s, u"/x/"_s, 1, u"5!1!1!0!"_s);
    const QString holders = u"select * from table_file where (file_code = '5!1!1!0!') and (file_name = '"_s
                            + sqlQuote(name) + u"') and (update_state <> 2) and (update_state <> 12)"_s;
    store::ResultSet rs;
    QString error;
    ASSERT_TRUE(rs.open(db_, holders, &error)) << str(error);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(str(rs.field(u"file_name"_s).toString()), str(name));

    const QString longName(kMaxQuotedChars + 1, u'a');
    addRecord(longName.left(255), u"/x/"_s);
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where file_name = '"_s + sqlQuote(longName) + u"' and path = '/x/'"_s,
                        &error))
        << str(error);
    EXPECT_EQ(rs.recordCount(), 0);
}

TEST_F(StoreDialect, ExecRefusesSecondStatementAndOverlongText)
{
    addRecord(u"a.doc"_s, u"/x/"_s);
    QString error;
    EXPECT_FALSE(db_.exec(u"delete from table_file where file_name = ''; drop table table_file"_s, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 1);
    EXPECT_TRUE(db_.exec(u"update table_file set score = 3; -- done"_s, &error)) << str(error);
    EXPECT_FALSE(db_.exec(QString(store::kMaxStatementChars + 1, u' '), &error));
    EXPECT_FALSE(db_.exec(u"   "_s, &error));
    EXPECT_FALSE(db_.exec(u"selec * from table_file"_s, &error));
    EXPECT_FALSE(error.isEmpty());
}

// Every statement text the programs issue, with sample values, runs as it
// stands and selects what it should.
struct Issued {
    const char *name;
    const char16_t *sql;
    int rows; // rows selected afterwards by the check, or rows of a select
};
void PrintTo(const Issued &c, std::ostream *os)
{
    *os << c.name;
}

class StoreIssuedStatements : public LibraryFixture, public ::testing::WithParamInterface<Issued> {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        if (HasFatalFailure())
            return;
        // 1..3 live under /lib/数学/, 4 removed (2), 5 settled (12), 6 sent (11), 7 downloaded
        addRecord(u"一.doc"_s, u"/lib/数学/"_s, 1, u"1!1!1!0!"_s);
        addRecord(u"二.ppt"_s, u"/lib/数学/第一章/"_s, 4, u"2!2!2!0!"_s);
        addRecord(u"it's.doc"_s, u"/lib/数学/"_s, 0, u"3!3!3!0!"_s);
        addRecord(u"gone.doc"_s, u"/lib/数学/"_s, 2, u"4!4!4!0!"_s);
        addRecord(u"done.doc"_s, u"/lib/语文/"_s, 12, u"5!5!5!0!"_s);
        addRecord(u"sent.doc"_s, u"/lib/语文/"_s, 11, u"6!6!6!0!"_s);
        addRecord(u"下载.mp3"_s, u"/home/t/下载资源/"_s, 1, u"7!7!7!0!"_s);
        EXPECT_TRUE(db_.exec(u"update table_file set deal_state = 1, ken = '勾股定理', type = 'mp3', grade = '3', score = 2 where file_code = '7!7!7!0!'"_s));
    }
};

TEST_P(StoreIssuedStatements, RunAsTheyStand)
{
    const auto &c = GetParam();
    const QString sql = QString::fromUtf16(c.sql);
    QString error;
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, sql, &error)) << str(error);
    if (sql.startsWith(u"select"_s, Qt::CaseInsensitive)) {
        EXPECT_EQ(rs.recordCount(), c.rows);
    } else {
        EXPECT_EQ(db_.changes(), c.rows);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StoreIssuedStatements,
    ::testing::Values(
        Issued{"live_records", u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 )", 5},
        Issued{"downloaded", u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 ) and ( deal_state <> 0 )", 1},
        Issued{"wizard_lists_nothing", u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 ) and ( path = ' ')", 0},
        Issued{"category", u"select top 100 * from table_file where ( share = 1 ) and ( update_state <> 2 ) and ( update_state <> 12 ) and ( path like '/lib/数学/%') or ( share = 1 ) and ( update_state <> 2 ) and ( update_state <> 12 ) and ( path like '/home/t/下载资源/%')", 4},
        Issued{"detail_lookup", u"select top 100 * from table_file where ( update_state <> 2 ) and ( update_state <> 12 ) and ( file_name = 'it''s.doc') and ( path = '/lib/数学/' )", 1},
        Issued{"by_location", u"select * from table_file where file_name = 'gone.doc' and path = '/lib/数学/'", 1},
        Issued{"three_lines", u"select * from table_file where (file_name = '一.doc')\r\nand (path = '/lib/数学/')\r\nand (update_state <>2) and (update_state<>12)", 1},
        Issued{"three_lines_joined", u"select * from table_file where (file_name = '一.doc')and (path = '/lib/数学/')and (update_state <>2) and (update_state<>12)", 1},
        Issued{"holder_count", u"select * from table_file where (file_code = '3!3!3!0!') and (file_name = 'it''s.doc') and (update_state <> 2) and (update_state <> 12)", 1},
        Issued{"file_request", u"select * from table_file where file_code='1!1!1!0!' and update_state <> 2 and update_state <> 12", 1},
        Issued{"file_request_removed", u"select * from table_file where file_code='4!4!4!0!' and (update_state <> 2) and (update_state <> 12)", 0},
        Issued{"vanished_holders", u"select * from table_file where file_code='2!2!2!0!' and file_name='二.ppt' and (update_state <> 2) and (update_state <> 12)", 1},
        Issued{"by_code", u"select * from table_file where file_code = '7!7!7!0!'", 1},
        Issued{"batch", u"select top 1000 * from table_file where (update_state > 0) and (update_state < 10)", 4},
        Issued{"confirmation", u"select * from table_file where update_state > 10", 2},
        Issued{"full_rebuild_select", u"select top 1000 * from table_file", 7},
        Issued{"word_search", u"select * from table_file where ((file_name like '%doc%') or (ken like '%doc%') or (resume like '%doc%')) and (( update_state <> 2 ) and ( update_state <> 12) and (path like '%/%'))", 3},
        Issued{"word_search_ken", u"select * from table_file where ((file_name like '%勾股%') or (ken like '%勾股%') or (resume like '%勾股%')) and (( update_state <> 2 ) and ( update_state <> 12) and (path like '/home/t/%'))", 1},
        Issued{"condition_search", u"select * from table_file where ((id>=0) and (file_name like '%载%') and (type like '%mp3%') and (grade = 3) and (score = 2)) and (( update_state <> 2 ) and ( update_state <> 12) and (path like '%/%'))", 1},
        Issued{"delete_category", u"update table_file set update_state = 2 , int1 = 2 where ( update_state <> 12 ) and ( path like '/lib/数学/%')", 4},
        Issued{"removal_client", u"insert into table_file (file_code,file_name,update_state,int1) values ('1!1!1!0!','it''s old.doc','2','2')", 1},
        Issued{"removal_node", u"insert into table_file (file_code,file_name,update_state) values ('1!1!1!0!','old.doc','2')", 1},
        Issued{"rebuild_marks", u"update table_file set update_state=1", 7},
        Issued{"delete_removed", u"delete from table_file where (update_state = 2) or (update_state = 12)", 2},
        Issued{"delete_all", u"delete from table_file", 7}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StoreCatalogue, ChoiceAndWizardStatements)
{
    Sandbox box;
    const QString path = box.path(u"chubanshe.res"_s);
    QString error;
    ASSERT_TRUE(store::createDatabase(
        path,
        {u"create table 人民教育出版社小学 (ID integer primary key, 学科 text, 学段 text, 年级 text, 章目 text, 节 text)"_s,
         u"create table 江苏教育出版社 (ID integer primary key, 学科 text, 学段 text, 年级 text, 章目 text, 节 text)"_s,
         u"insert into 人民教育出版社小学 (学科,学段,年级,章目,节) values ('语文','小学','一年级上册','第一单元','识字')"_s,
         u"insert into 人民教育出版社小学 (学科,学段,年级,章目,节) values ('语文','小学','一年级上册','第一单元','拼音')"_s,
         u"insert into 人民教育出版社小学 (学科,学段,年级,章目,节) values ('语文','小学','一年级上册','第[1]单元_50%',null)"_s,
         u"insert into 人民教育出版社小学 (学科,学段,年级,章目,节) values ('语文','小学','一年级上册','第11单元x50a',null)"_s,
         u"insert into 江苏教育出版社 (学科,学段,年级,章目,节) values ('数学','初中','七年级上册',null,null)"_s},
        &error))
        << str(error);
    store::Database db;
    ASSERT_TRUE(db.open(path, &error)) << str(error);
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db, u"select * from 人民教育出版社小学 where 学科='语文' order by ID"_s, &error)) << str(error);
    EXPECT_EQ(rs.recordCount(), 4);
    EXPECT_EQ(str(rs.field(u"年级"_s).toString()), "一年级上册");
    ASSERT_TRUE(rs.open(db, u"select * from 人民教育出版社小学 where 学科='语文' and 年级='一年级上册' and 章目 like'第一单元' order by ID"_s));
    EXPECT_EQ(rs.recordCount(), 2);
    // The chapter goes through LIKE pattern quoting and matches itself only.
    ASSERT_TRUE(rs.open(db, u"select * from 人民教育出版社小学 where 学科='语文' and 年级='一年级上册' and 章目 like'"_s
                                + likeQuote(u"第[1]单元_50%"_s) + u"' order by ID"_s));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_TRUE(rs.isNull(u"节"_s));
    ASSERT_TRUE(rs.open(db, u"select * from 江苏教育出版社 where ( 学段 = '初中' ) and ( 学科 = '数学' ) order by ID"_s));
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_TRUE(rs.isNull(u"章目"_s));
    ASSERT_TRUE(rs.open(db, u"select * from 江苏教育出版社 where 学科='数学' and 学段='初中' and 年级='七年级上册'"_s));
    EXPECT_EQ(rs.recordCount(), 1);
}

} // namespace
