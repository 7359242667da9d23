#include "common/intake.h"
#include "platform/textcodec.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zv;
using namespace Qt::StringLiterals;

// Readable failure output for texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

// Bytes that cover the whole range, negative values included, and differ
// between the head and the tail of a file.
QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 977 + 7) & 0xFF);
    return bytes;
}

// Independent reference: a wide sum of the bytes from..to-1 as signed values.
long long referenceSum(const QByteArray &bytes, qsizetype from, qsizetype to)
{
    long long sum = 0;
    for (qsizetype i = from; i < to; ++i) {
        const int b = static_cast<unsigned char>(bytes[i]);
        sum += b >= 128 ? b - 256 : b;
    }
    return sum;
}

QString referenceCode(const QByteArray &bytes)
{
    const qsizetype n = bytes.size();
    const long long head = referenceSum(bytes, 0, std::min<qsizetype>(n, 32768));
    const long long tail = referenceSum(bytes, n - std::min<qsizetype>(n, 8192), n);
    return u"%1!%2!%3!0!"_s.arg(n).arg(head).arg(tail);
}

// --- Feature code ------------------------------------------------------------

struct CodeCase {
    const char *name;
    QByteArray content;
    qint32 size; // passed in; 0 = look it up
    QString expected;
};

void PrintTo(const CodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class FeatureCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(FeatureCodes, MatchesTheSums)
{
    const CodeCase &c = GetParam();
    test::Sandbox box;
    const QString file = box.writeFile(u"f.bin"_s, c.content);
    EXPECT_EQ(featureCode(file, c.size), c.expected);
}

std::vector<CodeCase> codeCases()
{
    const QByteArray p10k = pattern(10000);
    const QByteArray p100k = pattern(100000);
    const QByteArray p100 = pattern(100);
    const QByteArray p40k = pattern(40000);
    return {
        {"Empty", {}, 0, u"0!0!0!0!"_s},
        {"Abc", "abc", 0, u"3!294!294!0!"_s},
        {"AbcSizeGiven", "abc", 3, u"3!294!294!0!"_s},
        {"OneByteFF", QByteArray(1, '\xFF'), 0, u"1!-1!-1!0!"_s},
        {"AllNegative", QByteArray(3, '\x80'), 0, u"3!-384!-384!0!"_s},
        // The head covers all 10,000 bytes, the tail the last 8,192.
        {"TenThousand", p10k, 0, referenceCode(p10k)},
        {"TenThousandExplicit", p10k, 10000,
         u"10000!%1!%2!0!"_s.arg(referenceSum(p10k, 0, 10000)).arg(referenceSum(p10k, 1808, 10000))},
        // Head: bytes 0 to 32767; tail: bytes 91808 to 99999.
        {"HundredThousand", p100k, 0,
         u"100000!%1!%2!0!"_s.arg(referenceSum(p100k, 0, 32768)).arg(referenceSum(p100k, 91808, 100000))},
        // A size of -1 (a failed lookup) reads nothing.
        {"SizeMinusOne", p100, -1, u"-1!0!0!0!"_s},
        // A size larger than the file counts only what is there.
        {"SizeBeyondSmallFile", p100, 50000,
         u"50000!%1!%1!0!"_s.arg(referenceSum(p100, 0, 100))},
        {"SizeBeyondLargeFile", p40k, 1000000,
         u"1000000!%1!%2!0!"_s.arg(referenceSum(p40k, 0, 32768)).arg(referenceSum(p40k, 40000 - 8192, 40000))},
        // A size smaller than the file: the head stops at the size, the tail
        // is still taken from the file's end.
        {"SizeBelowFile", p100, 10,
         u"10!%1!%2!0!"_s.arg(referenceSum(p100, 0, 10)).arg(referenceSum(p100, 90, 100))},
        {"MaxSizeGiven", p100, 0x7fffffff,
         u"2147483647!%1!%1!0!"_s.arg(referenceSum(p100, 0, 100))},
    };
}

INSTANTIATE_TEST_SUITE_P(Intake, FeatureCodes, ::testing::ValuesIn(codeCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FeatureCode, UnopenableFileGivesZero)
{
    test::Sandbox box;
    EXPECT_EQ(featureCode(box.path(u"missing.doc"_s)), u"0"_s);
    box.mkdir(u"folder"_s);
    EXPECT_EQ(featureCode(box.path(u"folder"_s)), u"0"_s);
    // A named pipe is not opened (that would wait for a writer).
    const QByteArray fifo = QFile::encodeName(box.path(u"pipe.doc"_s));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_EQ(featureCode(box.path(u"pipe.doc"_s), 3), u"0"_s);
    EXPECT_EQ(featureCode(u"/dev/zero"_s, 100), u"0"_s);
    if (::geteuid() != 0) { // root reads files whatever their permissions
        const QString locked = box.writeFile(u"locked.doc"_s, "abc");
        QFile::setPermissions(locked, QFileDevice::Permissions());
        EXPECT_EQ(featureCode(locked), u"0"_s);
    }
}

TEST(FeatureCode, HiddenFileLooksUpMinusOne)
{
    test::Sandbox box;
    const QString hidden = box.writeFile(u".hidden.doc"_s, "abc");
    EXPECT_EQ(fileSizeLookup(hidden), -1);
    EXPECT_EQ(featureCode(hidden), u"-1!0!0!0!"_s);
}

TEST(FeatureCode, ByteSumWraps)
{
    // 127 x 20 MiB exceeds 2^31: the 32-bit sum wraps instead of overflowing.
    const QByteArray bytes(20 << 20, '\x7F');
    EXPECT_EQ(signedByteSum(bytes.constData(), bytes.size()),
              static_cast<qint32>(static_cast<std::uint32_t>(127ull * (20 << 20))));
    EXPECT_EQ(signedByteSum("\x80\x7F\x01", 3), 0);
    EXPECT_EQ(signedByteSum("", 0), 0);
}

// --- File size lookup --------------------------------------------------------

TEST(FileSizeLookup, ListingRules)
{
    test::Sandbox box;
    const QString file = box.writeFile(u"Report.DOC"_s, QByteArray(1234, 'x'));
    box.writeFile(u"empty.txt"_s, {});
    box.mkdir(u"folder.doc"_s);
    EXPECT_EQ(fileSizeLookup(file), 1234);
    EXPECT_EQ(fileSizeLookup(box.path(u"empty.txt"_s)), 0);
    EXPECT_EQ(fileSizeLookup(box.path(u"report.doc"_s)), -1); // case-sensitive
    EXPECT_EQ(fileSizeLookup(box.path(u"missing.doc"_s)), -1);
    EXPECT_EQ(fileSizeLookup(box.path(u"folder.doc"_s)), -1); // directories skipped
    EXPECT_EQ(fileSizeLookup(box.path(u"nowhere/a.doc"_s)), -1);
    EXPECT_EQ(fileSizeLookup(box.path()), -1);
}

TEST(FileSizeLookup, NamesDifferingOnlyInCase)
{
    // Two files whose names are each other with the case swapped, with the same
    // size and time, so that the folder is listed:
    // each lookup still finds its own entry.
    test::Sandbox box;
    const QString lower = box.writeFile(u"plan.doc"_s, "abcd");
    const QString upper = box.writeFile(u"PLAN.DOC"_s, "efgh");
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 8));
    for (const QString &p : {lower, upper}) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(fileSizeLookup(lower), 4);
    EXPECT_EQ(fileSizeLookup(upper), 4);
    EXPECT_EQ(fileSizeLookup(box.path(u"Plan.doc"_s)), -1);
    // A symbolic link to a file gives the file's size.
    ASSERT_TRUE(QFile::link(lower, box.path(u"link.doc"_s)));
    EXPECT_EQ(fileSizeLookup(box.path(u"link.doc"_s)), 4);
}

TEST(FileSizeLookup, TwoGibibytesDoNotFit)
{
    test::Sandbox box;
    const QString below = box.writeFile(u"below.avi"_s, {});
    const QString at = box.writeFile(u"at.avi"_s, {});
    // Sparse files: no disk space is used.
    ASSERT_TRUE(QFile::resize(below, 0x7fffffffll));
    ASSERT_TRUE(QFile::resize(at, 0x80000000ll));
    EXPECT_EQ(fileSizeLookup(below), 0x7fffffff);
    EXPECT_EQ(fileSizeLookup(at), -1);
    EXPECT_EQ(checkIntake(below, {u"avi"_s}), IntakeVerdict::Accepted);
    EXPECT_EQ(checkIntake(at, {u"avi"_s}), IntakeVerdict::TooLarge);
    EXPECT_TRUE(fitsFileSize(0x7fffffffll));
    EXPECT_FALSE(fitsFileSize(0x80000000ll));
    EXPECT_FALSE(fitsFileSize(-1));
}

// --- Kana check --------------------------------------------------------------

struct KanaCase {
    const char *name;
    QByteArray bytes;
    bool accepted;
};

void PrintTo(const KanaCase &c, std::ostream *os)
{
    *os << c.name;
}

class KanaBytes : public ::testing::TestWithParam<KanaCase> {};

TEST_P(KanaBytes, ScansAsDoubleByteText)
{
    EXPECT_EQ(kanaCheckBytes(GetParam().bytes), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Intake, KanaBytes,
    ::testing::Values(
        KanaCase{"Hiragana", "/a/\xA4\xA2.doc", false},
        KanaCase{"HiraganaFirst", "/a/\xA4\xA1.doc", false},
        KanaCase{"HiraganaLast", "/a/\xA4\xF3.doc", false},
        KanaCase{"AfterHiragana", "/a/\xA4\xF4.doc", true},
        KanaCase{"Katakana", "/a/\xA5\xA2.doc", false},
        KanaCase{"KatakanaLast", "/a/\xA5\xF6.doc", false},
        KanaCase{"AfterKatakana", "/a/\xA5\xF7.doc", true},
        KanaCase{"BeforeKana", "/a/\xA4\xA0.doc", true},
        // B0 A4 is one character, A2 A1 the next: no A4 A2 pair is read.
        KanaCase{"PairsNotBytes", "/a/\xB0\xA4\xA2\xA1.doc", true},
        KanaCase{"LoneLeadAtEnd", "/a/b\xA4", true},
        KanaCase{"Ascii", "/home/t/lesson.doc", true},
        KanaCase{"LongestPath", QByteArray(4096, 'a'), true},
        KanaCase{"TooLong", QByteArray(4097, 'a'), false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(KanaCheck, OnTheEncodedPath)
{
    EXPECT_FALSE(passesKanaCheck(u"/home/t/あいう.doc"_s));
    EXPECT_FALSE(passesKanaCheck(u"/home/t/カタカナ/a.doc"_s));
    EXPECT_TRUE(passesKanaCheck(u"/home/t/教案/挨ⅰ.doc"_s));
    // The character behind A4 F4 round-trips through the codec and passes.
    const QString beyond = platform::fromAnsi("\xA4\xF4");
    ASSERT_EQ(platform::toAnsi(beyond), QByteArray("\xA4\xF4"));
    EXPECT_TRUE(passesKanaCheck(u"/home/t/"_s + beyond + u".doc"_s));
    // 2048 Chinese characters are 4096 bytes; one more ASCII byte is too many.
    const QString chinese = u"/"_s + QString(2047, QChar(u'教')) + u"a"_s;
    EXPECT_EQ(platform::toAnsi(chinese).size(), 4096);
    EXPECT_TRUE(passesKanaCheck(chinese));
    EXPECT_FALSE(passesKanaCheck(chinese + u"b"_s));
}

// --- Type of a path and intake -----------------------------------------------

TEST(TypeOfPath, TextAfterTheLastDot)
{
    const std::pair<QString, QString> cases[] = {
        {u"/home/t/Report.DOC"_s, u"doc"_s},
        {u"/old.versions/README"_s, u"versions/readme"_s},
        {u"/home/t/archive.tar.GZ"_s, u"gz"_s},
        {u"/home/t/README"_s, QString()},
        {u"/home/t/trailing."_s, QString()},
        {u"/home/t/page.files"_s, u"files"_s},
        {u"/home/t/课件.PPT"_s, u"ppt"_s},
    };
    for (const auto &[path, type] : cases)
        EXPECT_EQ(typeOfPath(path), type) << path.toStdString();
}

TEST(Intake, VerdictsInOrder)
{
    test::Sandbox box;
    const QStringList types{u"doc"_s, u"ppt"_s, u"files"_s};
    EXPECT_FALSE(passesFileTypeTest(u"DOC"_s, types)); // exact comparison
    EXPECT_TRUE(passesFileTypeTest(u"doc"_s, types));

    EXPECT_EQ(checkIntake(box.writeFile(u"Report.DOC"_s, "x"), types), IntakeVerdict::Accepted);
    EXPECT_EQ(checkIntake(box.writeFile(u"あ.doc"_s, "x"), types), IntakeVerdict::Kana);
    EXPECT_EQ(checkIntake(box.writeFile(u"a.txt"_s, "x"), types), IntakeVerdict::TypeRefused);
    EXPECT_EQ(checkIntake(box.path(u"gone.doc"_s), types), IntakeVerdict::Missing);
    EXPECT_EQ(checkIntake(u"/"_s + QString(4100, u'a') + u".doc"_s, types), IntakeVerdict::PathTooLong);
    box.mkdir(u"old.versions"_s);
    EXPECT_EQ(checkIntake(box.writeFile(u"old.versions/README"_s, "x"), types), IntakeVerdict::TypeRefused);
    box.mkdir(u"page.files"_s);
    EXPECT_EQ(checkIntake(box.path(u"page.files"_s), types), IntakeVerdict::Accepted);
}

// --- Folder walk -------------------------------------------------------------

TEST(FolderWalk, FilesFoldersAndHiddenEntries)
{
    test::Sandbox box;
    box.writeFile(u"root/a.doc"_s, "a");
    box.writeFile(u"root/.hidden.doc"_s, "h");
    box.writeFile(u"root/.hiddendir/x.doc"_s, "x");
    box.writeFile(u"root/sub/b.txt"_s, "b");
    box.writeFile(u"root/sub/deeper/c.ppt"_s, "c");
    box.writeFile(u"root/page.files/img.gif"_s, "g");
    box.writeFile(u"root/page.htm"_s, "p");
    box.mkdir(u"root/empty"_s);
    ASSERT_TRUE(QFile::link(box.path(u"root/sub"_s), box.path(u"root/link"_s)));
    ASSERT_TRUE(QFile::link(box.path(u"root/a.doc"_s), box.path(u"root/link.doc"_s)));

    const QString root = box.path(u"root"_s);
    const QStringList expected{
        root + u"/a.doc"_s,
        root + u"/page.files"_s,
        root + u"/page.htm"_s,
        root + u"/sub/b.txt"_s,
        root + u"/sub/deeper/c.ppt"_s,
    };
    for (const QString &start : {root, root + u'/'}) {
        QStringList list{u"kept"_s};
        int calls = 0;
        walkFolder(start, list, [&calls] { ++calls; });
        EXPECT_EQ(list, QStringList{u"kept"_s} + expected) << start.toStdString();
        // a.doc, empty, page.files, page.htm, sub, b.txt, deeper, c.ppt
        EXPECT_EQ(calls, 8);
    }
    EXPECT_EQ(typeOfPath(expected.at(1)), u"files"_s);

    QStringList none;
    walkFolder(box.path(u"missing"_s), none);
    walkFolder(QString(), none);
    EXPECT_TRUE(none.isEmpty());
}

TEST(FolderWalk, EntriesCarryListingSizes)
{
    test::Sandbox box;
    box.writeFile(u"d/one.doc"_s, QByteArray(7, 'x'));
    box.mkdir(u"d/sub"_s);
    const QList<FolderEntry> entries = listFolderEntries(box.path(u"d/"_s));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].name, u"one.doc"_s);
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_EQ(entries[0].size, 7);
    EXPECT_EQ(entries[1].name, u"sub"_s);
    EXPECT_TRUE(entries[1].isDirectory);
}

// --- Name trimming -----------------------------------------------------------

TEST(TrimName, EachKindOnceInOrder)
{
    const std::pair<QString, QString> cases[] = {
        {u"  name  "_s, u"name"_s},
        {u"\u3000\u3000name\u3000\u3000"_s, u"name"_s},
        // blank, ideographic space, blank: the second blank stays.
        {u" \u3000 name"_s, u" name"_s},
        {u"\u3000 name"_s, u" name"_s},
        {u" \u3000name"_s, u"name"_s},
        {u"name \u3000 "_s, u"name "_s},
        {u"name\u3000 "_s, u"name"_s},
        {u"名 字"_s, u"名 字"_s},
        {u"   "_s, QString()},
        {u"\u3000 \u3000"_s, u" "_s},
        {QString(), QString()},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(trimName(in), out) << in.toStdString();
}

// --- DOS time ----------------------------------------------------------------

TEST(DosTime, EvenSecondsWithoutMilliseconds)
{
    const QDate day(2009, 2, 16);
    const std::pair<QTime, QTime> cases[] = {
        {QTime(10, 20, 31, 789), QTime(10, 20, 30)},
        {QTime(10, 20, 30, 500), QTime(10, 20, 30)},
        {QTime(10, 20, 30), QTime(10, 20, 30)},
        {QTime(23, 59, 59, 999), QTime(23, 59, 58)},
        {QTime(0, 0, 1), QTime(0, 0, 0)},
    };
    for (const auto &[in, out] : cases) {
        const QDateTime rounded = roundToDosTime(QDateTime(day, in));
        EXPECT_EQ(rounded, QDateTime(day, out)) << in.toString().toStdString();
        EXPECT_EQ(rounded.timeSpec(), Qt::LocalTime);
    }
    // A time given in UTC comes back as the local time of the same moment.
    const QDateTime utc(day, QTime(3, 4, 5, 6), QTimeZone::utc());
    const QDateTime local = roundToDosTime(utc);
    EXPECT_EQ(local.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(local.toUTC(), QDateTime(day, QTime(3, 4, 4), QTimeZone::utc()));
    EXPECT_FALSE(roundToDosTime(QDateTime()).isValid());
}

TEST(DosTime, LastWriteTimeOfAFile)
{
    test::Sandbox box;
    const QString file = box.writeFile(u"a.doc"_s, "x");
    const QDateTime written(QDate(2020, 5, 6), QTime(7, 8, 9, 250));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(written, QFileDevice::FileModificationTime));
    f.close();
    EXPECT_EQ(dosLastWriteTime(file), QDateTime(QDate(2020, 5, 6), QTime(7, 8, 8)));
    EXPECT_FALSE(dosLastWriteTime(box.path(u"missing"_s)).isValid());
}

// --- Relative path -----------------------------------------------------------

TEST(RelativePath, GradeChapterSection)
{
    using Opt = std::optional<QString>;
    struct Case {
        QString relative;
        Opt grade, zhang, jie;
    };
    const Case cases[] = {
        {QString(), std::nullopt, std::nullopt, std::nullopt},
        {u"一年级"_s, u"一年级"_s, std::nullopt, std::nullopt},
        {u"一年级/第一单元"_s, u"一年级"_s, u"第一单元"_s, std::nullopt},
        {u"一年级/第一单元/识字"_s, u"一年级"_s, u"第一单元"_s, u"识字"_s},
        {u"一年级/第一单元/识字/更深"_s, u"一年级"_s, u"第一单元"_s, u"识字"_s},
    };
    for (const Case &c : cases) {
        const GradeChapterSection s = splitRelativePath(c.relative);
        EXPECT_EQ(s.grade, c.grade) << c.relative.toStdString();
        EXPECT_EQ(s.zhang, c.zhang) << c.relative.toStdString();
        EXPECT_EQ(s.jie, c.jie) << c.relative.toStdString();
    }
}

} // namespace
