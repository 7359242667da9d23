// The settings and list files of the client.
#include "client/core/settingsfiles.h"
#include "platform/textcodec.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace zv::client;
using zv::test::Sandbox;

namespace {
const QString kFolder = QStringLiteral("/home/t/下载资源/");

bool holdsLineBreakOrZero(const QByteArray &bytes)
{
    return bytes.contains('\0') || bytes.contains('\r') || bytes.contains('\n');
}
} // namespace

TEST(ShiftTest, ValuesWithoutEscapeAreTheShiftItself)
{
    // "abc": 0x61+100, 0x62+101, 0x63+102.
    EXPECT_EQ(shiftEncode(QStringLiteral("abc")), QByteArray("\xC5\xC7\xC9"));
    // GBK bytes are shifted the same way: 中 = D6 D0.
    EXPECT_EQ(shiftEncode(QStringLiteral("中")), QByteArray("\x3A\x35"));
    EXPECT_EQ(shiftDecode(QByteArray("\xC5\xC7\xC9")), QStringLiteral("abc"));
    EXPECT_EQ(shiftEncode(QString()), QByteArray());
}

TEST(ShiftTest, EveryPrintableAsciiCharacterAtEveryPositionRoundTrips)
{
    for (int pos = 0; pos < 258; ++pos) {
        for (char16_t c = 0x20; c < 0x7F; ++c) {
            const QString plain = QString(pos, u'x') + QChar(c);
            const QByteArray stored = shiftEncode(plain);
            ASSERT_FALSE(holdsLineBreakOrZero(stored)) << "pos " << pos << " char " << int(c);
            ASSERT_EQ(shiftDecode(stored), plain) << "pos " << pos << " char " << int(c);
        }
    }
}

TEST(ShiftTest, EveryGbkCharacterRoundTrips)
{
    // Every double-byte GBK code (lead 81..FE, trail 40..FE without 7F) at an
    // even and an odd position.
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        QString row;
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const QString ch = zv::platform::fromAnsi(QByteArrayView(bytes, 2));
            if (ch.size() != 1 || ch[0] == QChar(0xFFFD))
                continue;
            row += ch;
        }
        for (qsizetype i = 0; i < row.size(); i += 60) {
            for (const QString &prefix : {QString(), QStringLiteral("p")}) {
                const QString plain = prefix + row.mid(i, 60);
                const QByteArray stored = shiftEncode(plain);
                ASSERT_FALSE(holdsLineBreakOrZero(stored)) << "lead " << lead;
                ASSERT_EQ(shiftDecode(stored), plain) << "lead " << lead;
            }
        }
    }
}

struct Password {
    const char *name;
    QString plain;
};

void PrintTo(const Password &c, std::ostream *os) { *os << c.name; }

class PasswordTest : public ::testing::TestWithParam<Password> {};

TEST_P(PasswordTest, RoundTripsThroughTheSettingsFile)
{
    Sandbox box;
    SettingsFile s = SettingsFile::defaults(kFolder);
    s.lines[kSetAutoLogin] = QStringLiteral("true");
    s.lines[kSetLoginKind] = QStringLiteral("EMAIL");
    s.lines[kSetAccount] = QStringLiteral("老师@学校.cn");
    s.lines[kSetPassword] = GetParam().plain;
    const QString path = box.path(QStringLiteral("syslofile.ls"));
    ASSERT_TRUE(s.save(path));
    const QByteArray raw = box.readFile(QStringLiteral("syslofile.ls"));
    EXPECT_EQ(raw.count("\r\n"), 7);
    EXPECT_EQ(raw.count('\n'), 7);
    EXPECT_EQ(raw.count('\r'), 7);
    const auto back = SettingsFile::load(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->lines, s.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PasswordTest,
    ::testing::Values(Password{"Ascii", QStringLiteral("Secret-123!")},
                      Password{"AllPrintable", QStringLiteral(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~")},
                      Password{"Gbk", QStringLiteral("我的密码是数学老师")},
                      Password{"Mixed", QStringLiteral("语文ab12乙丙丁")},
                      // 0x9C 0xA6 0xA9 at position 0 shift to 0x00, 0x0A and 0x0D.
                      Password{"EscapesAtStart", zv::platform::fromAnsi("\x9C\x40")},
                      Password{"LongestKept", QString(259, u'z')}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ShiftTest, ValuesAreCutAt259BytesOnACharacterBoundary)
{
    EXPECT_EQ(shiftDecode(shiftEncode(QString(300, u'a'))).size(), 259);
    // 130 two-byte characters are 260 bytes: the last one does not fit.
    EXPECT_EQ(shiftDecode(shiftEncode(QString(130, QChar(0x4E2D)))), QString(129, QChar(0x4E2D)));
}

TEST(ShiftTest, ControlCharactersAreDropped)
{
    EXPECT_EQ(shiftDecode(shiftEncode(QStringLiteral("a\tb\rc\nd"))), QStringLiteral("abcd"));
}

TEST(ShiftTest, DamagedEscapeKeepsWhatCameBefore)
{
    QByteArray stored = shiftEncode(QStringLiteral("ab"));
    stored += static_cast<char>(102); // the marker of position 2, with nothing after it
    EXPECT_EQ(shiftDecode(stored), QStringLiteral("ab"));
}

TEST(SettingsTest, FirstStartCreatesTheFolderAndSevenDefaultLines)
{
    Sandbox box;
    const QString computer = box.path(QStringLiteral("computer/"));
    const StartupSettings s = loadOrCreateSettings(computer, kFolder);
    EXPECT_TRUE(s.created);
    EXPECT_EQ(s.maxDownloads, 10);
    EXPECT_EQ(s.downloadFolder, kFolder);
    EXPECT_EQ(box.readFile(QStringLiteral("computer/syslofile.ls")),
              zv::platform::toAnsi(QStringLiteral("false\r\n\r\n\r\n\r\nfalse\r\n10\r\n") + kFolder
                                   + QStringLiteral("\r\n")));
}

struct SettingsCase {
    const char *name;
    QByteArray file;
    int maxDownloads;
    QString folder;
};

void PrintTo(const SettingsCase &c, std::ostream *os) { *os << c.name; }

class SettingsCaseTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsCaseTest, ReadsLinesFiveAndSix)
{
    Sandbox box;
    box.writeFile(QStringLiteral("computer/syslofile.ls"), GetParam().file);
    const QByteArray before = box.readFile(QStringLiteral("computer/syslofile.ls"));
    const StartupSettings s = loadOrCreateSettings(box.path(QStringLiteral("computer/")), kFolder);
    EXPECT_FALSE(s.created);
    EXPECT_EQ(s.maxDownloads, GetParam().maxDownloads);
    EXPECT_EQ(s.downloadFolder, GetParam().folder);
    EXPECT_EQ(box.readFile(QStringLiteral("computer/syslofile.ls")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsCaseTest,
    ::testing::Values(
        SettingsCase{"Abc", "false\r\n\r\n\r\n\r\nfalse\r\nabc\r\n/data/d/\r\n", 10, QStringLiteral("/data/d/")},
        SettingsCase{"EmptyFolder", "false\r\n\r\n\r\n\r\nfalse\r\n7\r\n\r\n", 7, kFolder},
        SettingsCase{"MissingLines", "true\r\nID\r\n", 10, kFolder},
        SettingsCase{"EmptyFile", "", 10, kFolder},
        SettingsCase{"Twenty", "false\n\n\n\nfalse\n20\n/x/\n", 20, QStringLiteral("/x/")},
        SettingsCase{"ZeroIsRefused", "false\r\n\r\n\r\n\r\nfalse\r\n0\r\n/x/\r\n", 10, QStringLiteral("/x/")},
        SettingsCase{"TooManyRefused", "false\r\n\r\n\r\n\r\nfalse\r\n21\r\n/x/\r\n", 10, QStringLiteral("/x/")},
        SettingsCase{"FolderWithoutSlash", "false\r\n\r\n\r\n\r\nfalse\r\n3\r\n/y\r\n", 3, QStringLiteral("/y/")},
        SettingsCase{"NoFinalBreak", "false\r\n\r\n\r\n\r\nfalse\r\n4\r\n/z/", 4, QStringLiteral("/z/")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileTypesTest, MissingListIsWrittenWithThe48DefaultsInOrder)
{
    Sandbox box;
    const QStringList types = loadOrCreateFileTypes(box.path(QStringLiteral("computer/filetype.ls")));
    ASSERT_EQ(types.size(), 48);
    EXPECT_EQ(types.first(), QStringLiteral("bmp"));
    EXPECT_EQ(types.last(), QStringLiteral("html"));
    QByteArray expected = defaultFileTypes().join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    EXPECT_EQ(box.readFile(QStringLiteral("computer/filetype.ls")), expected);
    EXPECT_TRUE(expected.startsWith("bmp\r\njpg\r\njpeg\r\ngif\r\nwmf\r\nemf\r\ntif\r\nmid\r\nmidi\r\nrmi\r\n"));
}

TEST(FileTypesTest, ExistingListIsLoadedAsItIs)
{
    Sandbox box;
    box.writeFile(QStringLiteral("filetype.ls"), "doc\r\nDOCX\r\n\r\n");
    EXPECT_EQ(loadOrCreateFileTypes(box.path(QStringLiteral("filetype.ls"))),
              (QStringList{QStringLiteral("doc"), QStringLiteral("DOCX"), QString()}));
}

TEST(LibraryUserTest, FirstUseIsRecordedOnce)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("computer/useridinfo.ls"));
    EXPECT_TRUE(recordLibraryUser(path, QStringLiteral("1001")));
    EXPECT_FALSE(recordLibraryUser(path, QStringLiteral("1001")));
    EXPECT_TRUE(recordLibraryUser(path, QStringLiteral("1002")));
    EXPECT_EQ(box.readFile(QStringLiteral("computer/useridinfo.ls")), QByteArray("1001\r\n1002\r\n"));
}

struct BusyCase {
    const char *name;
    std::optional<QByteArray> before;
    QByteArray after;
};

void PrintTo(const BusyCase &c, std::ostream *os) { *os << c.name; }

class BusyFlagTest : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyFlagTest, WritesLineTwo)
{
    Sandbox box;
    if (GetParam().before)
        box.writeFile(QStringLiteral("nat_type.log"), *GetParam().before);
    ASSERT_TRUE(setLibraryBusyFlag(box.path(QStringLiteral("nat_type.log")), QStringLiteral("1")));
    EXPECT_EQ(box.readFile(QStringLiteral("nat_type.log")), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Settings, BusyFlagTest,
                         ::testing::Values(BusyCase{"Missing", std::nullopt, "nat_type\r\n\r\n1\r\n"},
                                           BusyCase{"Replaced", "nat_type\r\n3\r\n0\r\n", "nat_type\r\n3\r\n1\r\n"},
                                           BusyCase{"Appended", "nat_type\r\n3\r\n", "nat_type\r\n3\r\n1\r\n"},
                                           BusyCase{"ShortAppended", "nat_type\r\n", "nat_type\r\n1\r\n"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EmptyFileTest, CreatedOnceAndLeftAlone)
{
    Sandbox box;
    EXPECT_TRUE(ensureEmptyFile(box.path(QStringLiteral("dir.obj"))));
    EXPECT_TRUE(QFileInfo::exists(box.path(QStringLiteral("dir.obj"))));
    box.writeFile(QStringLiteral("web_recorder.set"), "keep");
    EXPECT_TRUE(ensureEmptyFile(box.path(QStringLiteral("web_recorder.set"))));
    EXPECT_EQ(box.readFile(QStringLiteral("web_recorder.set")), QByteArray("keep"));
}

TEST(BackupTest, CopiesTheLibraryAndTheCategoryTable)
{
    Sandbox box;
    box.writeFile(QStringLiteral("prog/computer/local.res"), "db-new");
    box.writeFile(QStringLiteral("prog/computer/dir_info.obj"), "cats");
    box.writeFile(QStringLiteral("backup/zorvan_local.res"), "db-old");
    EXPECT_EQ(makeBackupCopies(box.path(QStringLiteral("prog")), box.path(QStringLiteral("backup"))), 2);
    EXPECT_EQ(box.readFile(QStringLiteral("backup/zorvan_local.res")), QByteArray("db-new"));
    EXPECT_EQ(box.readFile(QStringLiteral("backup/zorvan_dir_info.obj")), QByteArray("cats"));
}

TEST(BackupTest, MissingSourcesAndUnwritableFolderAreIgnored)
{
    Sandbox box;
    box.writeFile(QStringLiteral("prog/computer/local.res"), "db");
    EXPECT_EQ(makeBackupCopies(box.path(QStringLiteral("prog")), box.path(QStringLiteral("backup"))), 1);
    box.writeFile(QStringLiteral("blocked"), "a file where the folder should be");
    EXPECT_EQ(makeBackupCopies(box.path(QStringLiteral("prog")), box.path(QStringLiteral("blocked/sub"))), 0);
}
