// The data files delivered with the program directory, as the build makes them.
#include "common/sqlquote.h"
#include "common/store/store.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>

using namespace Qt::StringLiterals;

// Readable failure output for texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QString kBuilt = QStringLiteral(ZORVAN_BINARY_DIR "/data/");

struct Db {
    sqlite3 *handle = nullptr;
    ~Db() { sqlite3_close(handle); }
};

QString column(sqlite3_stmt *st, int i)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
    return text ? QString::fromUtf8(text) : QString();
}

// The textbooks the category dialog offers: publisher -> phase -> subjects.
const std::map<QString, std::map<QString, QStringList>> &coverage()
{
    static const std::map<QString, std::map<QString, QStringList>> c{
        {u"人民教育出版社"_s,
         {{u"小学"_s, {u"语文"_s, u"数学"_s, u"英语"_s, u"品德与生活"_s, u"信息技术"_s, u"音乐"_s, u"美术"_s, u"体育与健康"_s}},
          {u"初中"_s, {u"语文"_s, u"数学"_s, u"英语"_s, u"物理"_s, u"化学"_s, u"历史"_s, u"地理"_s, u"生物"_s, u"美术"_s, u"音乐"_s, u"信息技术"_s, u"体育与健康"_s, u"思想品德"_s}},
          {u"高中"_s, {u"语文"_s, u"数学"_s, u"英语"_s, u"物理"_s, u"化学"_s, u"生物"_s, u"历史"_s, u"地理"_s, u"音乐"_s, u"体育与健康"_s, u"思想政治"_s}}}},
        {u"江苏教育出版社"_s,
         {{u"小学"_s, {u"语文"_s, u"数学"_s, u"音乐"_s, u"科学"_s}},
          {u"初中"_s, {u"语文"_s, u"数学"_s, u"物理"_s, u"化学"_s, u"生物"_s}},
          {u"高中"_s, {u"语文"_s, u"数学"_s, u"化学"_s, u"生物"_s}}}},
        {u"广东教育出版社"_s, {{u"初中"_s, {u"物理"_s, u"地理"_s, u"化学"_s}}, {u"高中"_s, {u"语文"_s}}}},
        {u"湖南教育出版社"_s, {{u"初中"_s, {u"英语"_s, u"数学"_s, u"思想品德"_s}}}},
        {u"浙江教育出版社"_s, {{u"初中"_s, {u"科学"_s, u"数学"_s}}}},
        {u"北京师范大学出版社"_s,
         {{u"小学"_s, {u"数学"_s}}, {u"初中"_s, {u"品德与生活"_s, u"英语"_s, u"生物"_s, u"物理"_s, u"语文"_s, u"数学"_s}}}},
        {u"华东师范大学出版社"_s, {{u"初中"_s, {u"数学"_s, u"历史"_s}}}},
    };
    return c;
}

struct CatalogueTable {
    QString table;
    QString publisher;
    QString phase; // empty: every phase, told apart by 学段
};

TEST(Catalogue, NineTablesInTextbookOrder)
{
    Db db;
    const QByteArray file = (kBuilt + u"chubanshe.res"_s).toUtf8();
    ASSERT_EQ(sqlite3_open_v2(file.constData(), &db.handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK)
        << file.constData();

    const CatalogueTable tables[] = {
        {u"人民教育出版社小学"_s, u"人民教育出版社"_s, u"小学"_s},
        {u"人民教育出版社初中"_s, u"人民教育出版社"_s, u"初中"_s},
        {u"人民教育出版社高中"_s, u"人民教育出版社"_s, u"高中"_s},
        {u"江苏教育出版社"_s, u"江苏教育出版社"_s, {}},
        {u"广东教育出版社"_s, u"广东教育出版社"_s, {}},
        {u"湖南教育出版社"_s, u"湖南教育出版社"_s, {}},
        {u"浙江教育出版社"_s, u"浙江教育出版社"_s, {}},
        {u"北京师范大学出版社"_s, u"北京师范大学出版社"_s, {}},
        {u"华东师范大学出版社"_s, u"华东师范大学出版社"_s, {}},
    };
    int tableCount = 0;
    {
        sqlite3_stmt *st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.handle, "select count(*) from sqlite_master where type='table'", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        tableCount = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    EXPECT_EQ(tableCount, 9);

    for (const CatalogueTable &t : tables) {
        SCOPED_TRACE(t.table.toStdString());
        // Columns, in order.
        QStringList columns;
        sqlite3_stmt *st = nullptr;
        const QByteArray info = (u"pragma table_info("_s + t.table + u')').toUtf8();
        ASSERT_EQ(sqlite3_prepare_v2(db.handle, info.constData(), -1, &st, nullptr), SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW)
            columns << column(st, 1);
        sqlite3_finalize(st);
        EXPECT_EQ(columns, (QStringList{u"ID"_s, u"学科"_s, u"学段"_s, u"年级"_s, u"章目"_s, u"节"_s}));

        // Rows: offered textbooks only, and every grade (and every chapter
        // of a grade) one consecutive run in ID order.
        const QByteArray select = (u"select 学科, 学段, 年级, 章目, 节 from "_s + t.table + u" order by ID"_s).toUtf8();
        ASSERT_EQ(sqlite3_prepare_v2(db.handle, select.constData(), -1, &st, nullptr), SQLITE_OK);
        std::map<QString, QString> lastGrade;   // textbook -> grade of its previous row
        std::map<QString, QString> lastChapter; // textbook + grade -> chapter of its previous row
        QSet<QString> closedGrades, closedChapters;
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            const QString subject = column(st, 0), phase = column(st, 1), grade = column(st, 2);
            const bool hasChapter = sqlite3_column_type(st, 3) != SQLITE_NULL;
            const QString chapter = column(st, 3);
            EXPECT_FALSE(grade.isEmpty());
            if (!t.phase.isEmpty()) {
                EXPECT_EQ(phase, t.phase);
            }
            const auto &phases = coverage().at(t.publisher);
            ASSERT_TRUE(phases.count(phase)) << phase.toStdString();
            EXPECT_TRUE(phases.at(phase).contains(subject)) << subject.toStdString();

            const QString book = phase + u'|' + subject;
            if (lastGrade.count(book) && lastGrade[book] != grade) {
                closedGrades.insert(book + u'|' + lastGrade[book]);
                EXPECT_FALSE(closedGrades.contains(book + u'|' + grade)) << grade.toStdString();
            }
            lastGrade[book] = grade;
            const QString gradeKey = book + u'|' + grade;
            const QString chapterText = hasChapter ? chapter : u"<null>"_s;
            if (lastChapter.count(gradeKey) && lastChapter[gradeKey] != chapterText) {
                closedChapters.insert(gradeKey + u'|' + lastChapter[gradeKey]);
                EXPECT_FALSE(closedChapters.contains(gradeKey + u'|' + chapterText)) << chapterText.toStdString();
            }
            lastChapter[gradeKey] = chapterText;
        }
        sqlite3_finalize(st);
        EXPECT_GT(rows, 0);
    }
}

// Distinct non-Null values of a column, in result order, as the choice lists
// of the detail panel collect them.
QStringList distinctValues(zv::store::Database &db, const QString &statement, const QString &columnName)
{
    zv::store::ResultSet rs;
    QString error;
    EXPECT_TRUE(rs.open(db, statement, &error)) << error.toStdString();
    QStringList values;
    for (bool more = rs.first(); more && !rs.eof(); more = rs.next()) {
        const QVariant v = rs.field(columnName);
        if (!v.isNull() && !values.contains(v.toString()))
            values << v.toString();
    }
    return values;
}

TEST(Catalogue, ChoiceListStatementsThroughTheStore)
{
    zv::store::Database db;
    QString error;
    ASSERT_TRUE(db.open(kBuilt + u"chubanshe.res"_s, &error, zv::store::Database::Mode::ReadOnly))
        << error.toStdString();

    EXPECT_EQ(distinctValues(db, u"select * from 人民教育出版社初中 where 学科='数学' order by ID"_s, u"年级"_s),
              (QStringList{u"七年级上册"_s, u"七年级下册"_s}));
    EXPECT_EQ(distinctValues(db,
                  u"select * from 江苏教育出版社 where 学科='数学' and 学段='高中' and 年级='必修1'"_s, u"章目"_s),
              (QStringList{u"第1章 集合"_s, u"第2章 函数"_s}));
    const QString sections = u"select * from 人民教育出版社初中 where 学科='数学' and 年级='七年级上册' and 章目 like'"_s
        + zv::likeQuote(u"第一章 有理数"_s) + u"' order by ID"_s;
    EXPECT_EQ(distinctValues(db, sections, u"节"_s),
              (QStringList{u"1.1 正数和负数"_s, u"1.2 有理数"_s, u"1.3 有理数的加减法"_s,
                           u"1.4 有理数的乘除法"_s, u"1.5 有理数的乘方"_s}));
    // A chapter without sections and a grade row without a chapter add nothing.
    EXPECT_TRUE(distinctValues(db,
                    u"select * from 人民教育出版社小学 where 学科='数学' and 年级='一年级上册' and 章目 like'数学乐园' order by ID"_s,
                    u"节"_s).isEmpty());
    EXPECT_EQ(distinctValues(db, u"select * from 人民教育出版社小学 where 学科='语文' and 年级='一年级上册' order by ID"_s,
                             u"章目"_s).first(),
              u"识字（一）"_s);
}

TEST(RegionList, GbkLinesWithAllProvinces)
{
    QFile file(kBuilt + u"quyu.obj"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_FALSE(bytes.isEmpty());
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));

    QStringDecoder gbk("GBK");
    ASSERT_TRUE(gbk.isValid());
    const QString text = gbk.decode(bytes);
    ASSERT_FALSE(gbk.hasError());

    const QStringList provinces{u"北京"_s, u"上海"_s, u"天津"_s, u"重庆"_s, u"河北"_s, u"山西"_s, u"内蒙古"_s,
        u"辽宁"_s, u"吉林"_s, u"黑龙江"_s, u"江苏"_s, u"浙江"_s, u"安徽"_s, u"福建"_s, u"江西"_s, u"山东"_s,
        u"河南"_s, u"湖北"_s, u"湖南"_s, u"广东"_s, u"广西"_s, u"海南"_s, u"四川"_s, u"贵州"_s, u"云南"_s,
        u"西藏"_s, u"陕西"_s, u"甘肃"_s, u"青海"_s, u"宁夏"_s, u"新疆"_s, u"香港"_s, u"澳门"_s, u"台湾"_s};
    QStringList runs;
    std::map<QString, int> cities;
    const QStringList lines = text.split(u"\r\n"_s, Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype space = line.indexOf(u' ');
        ASSERT_GT(space, 0) << line.toStdString();
        const QString province = line.left(space);
        EXPECT_FALSE(line.mid(space + 1).trimmed().isEmpty()) << line.toStdString();
        if (runs.isEmpty() || runs.last() != province)
            runs << province;
        ++cities[province];
    }
    // Every province stands in one run, and the runs are exactly the 34.
    EXPECT_EQ(runs.size(), 34);
    EXPECT_EQ(QSet<QString>(runs.begin(), runs.end()), QSet<QString>(provinces.begin(), provinces.end()));
    for (const QString &p : provinces)
        EXPECT_GE(cities[p], 3) << p.toStdString();
}

TEST(HelpDocument, WebArchiveWithThePage)
{
    QFile file(kBuilt + u"help/help.mht"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray archive = file.readAll();
    EXPECT_TRUE(archive.contains("MIME-Version: 1.0\r\n"));
    EXPECT_TRUE(archive.contains("Content-Type: multipart/related;"));
    const qsizetype body = archive.indexOf("Content-Location: file:///help.html\r\n\r\n");
    ASSERT_GT(body, 0);
    const qsizetype start = body + qsizetype(sizeof("Content-Location: file:///help.html\r\n\r\n") - 1);
    const qsizetype end = archive.indexOf("\r\n\r\n--", start);
    ASSERT_GT(end, start);
    const QByteArray html = QByteArray::fromBase64(archive.mid(start, end - start));
    const QString page = QString::fromUtf8(html);
    EXPECT_TRUE(page.startsWith(u"<!DOCTYPE html>"_s));
    for (const QString &topic : {u"登录"_s, u"添加文件"_s, u"自动上传"_s, u"Zorvan搜索"_s, u"正在下载"_s})
        EXPECT_TRUE(page.contains(topic)) << topic.toStdString();
}

} // namespace
