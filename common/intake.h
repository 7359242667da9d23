#pragma once
// Identifying files and deciding whether they may enter the library: the file
// size lookup, the feature code, the kana check, the type of a path, the file
// type test, the folder walk, name trimming, the DOS-time rounding of
// last-write times and the split of a category node's relative path.
//
// Paths use "/" and folders carry a trailing "/". Every byte-level rule runs
// on the GB18030 bytes of a path (platform/textcodec.h).
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace zv {

// Head and tail of the feature code, read through one buffer of the head's size.
inline constexpr qint32 kFeatureHeadBytes = 32768;
inline constexpr qint32 kFeatureTailBytes = 8192;

// The longest full path, in encoded bytes, that the library accepts.
inline constexpr qsizetype kMaxIntakePathBytes = 4096;

// File sizes are signed 32-bit values everywhere in the library and on the
// wire. A file of 2 GiB or more cannot be represented and is refused at intake.
inline constexpr qint64 kMaxIntakeFileSize = 0x7fffffff;

// True when a real file size fits the 32-bit size (0 to 2 GiB - 1).
bool fitsFileSize(qint64 size);

// The size that the listing of the file's folder gives for it: "." and "..",
// directories and hidden entries are skipped, the name is compared exactly
// (case-sensitive). -1 when no entry matches, and -1 for a file of 2 GiB or
// more, whose size does not fit.
qint32 fileSizeLookup(const QString &path);

// The feature code: size, "!", head sum, "!", tail sum, "!", "0", "!". The head
// sum adds the first min(size, 32768) bytes and the tail sum the last
// min(size, 8192) bytes, each as a signed 8-bit value, in a 32-bit signed sum
// that wraps. size 0 means: look it up (fileSizeLookup). "0" when the file
// cannot be opened. A size of -1 or one larger than the file never reads past
// the buffer: only the bytes actually read are added (a negative size adds none).
QString featureCode(const QString &path, qint32 size = 0);

// The byte sums behind featureCode, over bytes as they stand (for callers that
// hold the bytes already and for checking): signed 8-bit values, wrapping sum.
qint32 signedByteSum(const char *data, qsizetype length);

// The kana check: the full path is at most 4096 encoded bytes and, scanned as a
// double-byte string (a lead byte 0x81 or above takes the next byte with it),
// holds no pair 0xA4 0xA1..0xF3 (hiragana) and no pair 0xA5 0xA1..0xF6
// (katakana). True means accepted.
bool passesKanaCheck(const QString &path);
// The same on a path's encoded bytes.
bool kanaCheckBytes(QByteArrayView encodedPath);

// The text after the last "." of the path, lower-cased; empty without ".".
// Only the last "." counts, even inside a folder name: "/old.versions/README"
// gives "versions/readme".
QString typeOfPath(const QString &path);

// Whether the file type list holds the type (exact comparison with its lines).
bool passesFileTypeTest(const QString &type, const QStringList &fileTypes);

enum class IntakeVerdict {
    Accepted,
    PathTooLong, // more than 4096 encoded bytes
    Kana,        // holds a hiragana or katakana character
    TypeRefused, // type not in the file type list
    TooLarge,    // 2 GiB or more: does not fit the 32-bit size
    Missing,     // not a readable regular file
};

// Every check a local file passes before it enters the library, in order: the
// kana check (path length first), the file type test, then the size limit on
// the file's real size.
IntakeVerdict checkIntake(const QString &path, const QStringList &fileTypes);

// One entry of a folder as the walk sees it.
struct FolderEntry {
    QString name;
    bool isDirectory = false; // a folder, also one ending in ".files"
    qint64 size = 0;          // the listing's size (files only)
};

// The entries of a folder with the walk's filter: hidden entries, symbolic
// links and anything that is neither a regular file nor a folder are skipped.
// Sorted by name so that every run lists in the same order. Empty when the
// folder cannot be read.
QList<FolderEntry> listFolderEntries(const QString &folder);

// True for a folder name that ends in ".files" (a saved web page's companion
// folder): it is listed as one entry and never entered.
bool isPageFilesFolder(const QString &name);

// Appends to list the full paths of all files below folder, recursing into
// every sub-folder not ending in ".files"; such a folder is appended as an
// entry itself (without a trailing "/"). afterEach runs after each entry, so
// that a window can keep repainting during a long walk.
void walkFolder(const QString &folder, QStringList &list,
                const std::function<void()> &afterEach = {});

// Removes leading blanks, then leading ideographic spaces, then trailing
// blanks, then trailing ideographic spaces; each step repeats while it applies,
// and the steps run once, in this order.
QString trimName(const QString &name);

// A time at the two-second resolution of a DOS file date: milliseconds dropped
// and an odd second cut down to the even second below. Local time.
QDateTime roundToDosTime(const QDateTime &time);

// The file's last-write time as a local time, rounded as above; invalid when
// the file does not exist.
QDateTime dosLastWriteTime(const QString &path);

// grade, zhang and jie from the relative path of a category node: components
// split at "/", the first to grade, the second to zhang, the third to jie,
// further ones ignored. An empty relative path sets none of them.
struct GradeChapterSection {
    std::optional<QString> grade;
    std::optional<QString> zhang;
    std::optional<QString> jie;
};
GradeChapterSection splitRelativePath(const QString &relativePath);

} // namespace zv
