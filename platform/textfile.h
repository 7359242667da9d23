#pragma once
// Text files of both programs: a list of lines, CR LF on write, CR LF, lone CR
// or lone LF on read, a missing final break accepted; encoded with GB18030.
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

namespace zv::platform {

// Files larger than this are refused on reading: no settings or list file of
// the programs comes anywhere near it.
inline constexpr qint64 kMaxTextFileBytes = 64ll * 1024 * 1024;

// Splits bytes into lines (CR LF, lone CR or lone LF end a line). A final line
// without a break is kept; a final break does not start an empty line.
QStringList splitLines(QByteArrayView bytes);
QList<QByteArray> splitByteLines(QByteArrayView bytes);

// Reads a whole text file; nullopt when it is missing, unreadable or too large.
std::optional<QStringList> readLines(const QString &path);

// Writes every line followed by CR LF, replacing the file atomically so that a
// failed write never leaves a half-written file behind. Returns false on failure.
bool writeLines(const QString &path, const QStringList &lines);

// Creates an empty file when none exists. Returns false when it cannot.
bool touchFile(const QString &path);

} // namespace zv::platform
