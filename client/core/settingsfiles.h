#pragma once
// The client's small settings and list files in the program directory and its
// computer folder. Every loader is bounded by the platform's text file limit;
// every writer replaces its file whole.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace zv::client {

// --- computer/syslofile.ls -------------------------------------------------

inline constexpr int kSettingsLines = 7;
enum SettingsLine {
    kSetAutoLogin = 0,   // "true" / "false"
    kSetLoginKind = 1,   // "ID" / "EMAIL"
    kSetAccount = 2,     // remembered user ID or e-mail (stored shifted)
    kSetPassword = 3,    // remembered password (stored shifted)
    kSetAutorun = 4,     // "true" / "false"
    kSetMaxDownloads = 5,
    kSetDownloadFolder = 6,
};

// Longest remembered account or password, in encoded bytes of the plain text.
inline constexpr qsizetype kMaxShiftedValueBytes = 259;

// The position-dependent byte shift of the remembered account and password:
// the byte at position j of the plain text's bytes is stored as
// (byte + j + 100) mod 256.
//
// A stored line cannot hold the bytes 0, CR and LF, which the shift produces
// for some plain bytes at some positions. Such a value is written as two
// bytes: a marker, then '0', 'A' or 'D' for 0x00, 0x0A or 0x0D. The marker at
// position j is the shift of a plain byte that no text holds: (0 + j + 100)
// mod 256, or (1 + j + 100) mod 256 at the three positions where the first one
// is itself 0, CR or LF. Plain texts never contain the bytes 0x00 to 0x1F (the
// encoder drops them), so a marker is never a shifted text byte, and every
// value that needs no escape is stored byte for byte as the shift gives it.
QByteArray shiftEncode(const QString &plain);
QString shiftDecode(const QByteArray &stored);

// The seven lines, with lines 2 and 3 in plain text. Missing lines read empty.
struct SettingsFile {
    std::array<QString, kSettingsLines> lines;

    static SettingsFile defaults(const QString &downloadFolder);
    // Seven lines "false", "", "", "", "false", "", downloadFolder: what a writer
    // that finds the file missing later on writes.
    static SettingsFile blank(const QString &downloadFolder = {});

    static std::optional<SettingsFile> load(const QString &path);
    bool save(const QString &path) const;

    bool autoLogin() const { return lines[kSetAutoLogin] == QStringLiteral("true"); }
    // Line 5 read as a decimal integer, 10 when it is missing or not an integer.
    int maxDownloads() const;
    // Line 6, or fallback when it is empty.
    QString downloadFolder(const QString &fallback) const;
};

// What the create step reads from the settings file.
struct StartupSettings {
    int maxDownloads = 10;
    QString downloadFolder;
    bool created = false;
};
// Loads computer/syslofile.ls, or creates the computer folder and the file of
// seven default lines when it is missing.
StartupSettings loadOrCreateSettings(const QString &computerFolder, const QString &defaultFolder);

// --- computer/filetype.ls ---------------------------------------------------

// The 48 file types written when the list is missing, in order.
const QStringList &defaultFileTypes();
// Loads the list, or writes the default list and returns it.
QStringList loadOrCreateFileTypes(const QString &path);

// --- computer/useridinfo.ls -------------------------------------------------

// Records that userId has opened the local library on this computer. True when
// it was not recorded before (the file is created or the ID appended): the
// caller then runs the first-use set-up.
bool recordLibraryUser(const QString &path, const QString &userId);

// --- computer/nat_type.log --------------------------------------------------

// Writes the library-busy flag into line 2 (counted from 0): replaces it, or
// appends the value as a new last line when the file is shorter, or creates
// the file with "nat_type", "" and the value.
bool setLibraryBusyFlag(const QString &path, const QString &value);

// --- dir.obj, web_recorder.set ----------------------------------------------

// Creates an empty file when none exists.
bool ensureEmptyFile(const QString &path);

// --- backup copies at real exit ----------------------------------------------

// Copies computer/local.res and computer/dir_info.obj of programDirectory to
// backupFolder as zorvan_local.res and zorvan_dir_info.obj, replacing older
// copies. A copy that fails is skipped; returns the number made.
int makeBackupCopies(const QString &programDirectory, const QString &backupFolder);

} // namespace zv::client
