#include "common/intake.h"

#include "platform/paths.h"
#include "platform/textcodec.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace zv {

namespace {

constexpr char16_t kIdeographicSpace = u'\u3000';

// Reads up to length bytes at the current position; returns how many arrived.
qint64 readUpTo(QFile &file, char *buffer, qint64 length)
{
    qint64 total = 0;
    while (total < length) {
        const qint64 got = file.read(buffer + total, length - total);
        if (got <= 0)
            break;
        total += got;
    }
    return total;
}

} // namespace

bool fitsFileSize(qint64 size)
{
    return size >= 0 && size <= kMaxIntakeFileSize;
}

namespace {

QString swapCase(const QString &text)
{
    QString swapped = text;
    for (QChar &c : swapped) {
        if (c.isUpper())
            c = c.toLower();
        else if (c.isLower())
            c = c.toUpper();
    }
    return swapped;
}

// Whether the folder holds an entry spelt exactly like the file's name. A
// successful stat proves it unless the file system folds case; the name with
// its case swapped tells: when that is missing or is another file, the folder
// tells the two spellings apart. Only otherwise is the folder listed.
bool hasExactEntry(const QFileInfo &info)
{
    const QString name = info.fileName();
    const QString swapped = swapCase(name);
    if (swapped != name) {
        const QFileInfo other(info.absolutePath() + u'/' + swapped);
        if (!other.exists() || other.size() != info.size() || other.lastModified() != info.lastModified())
            return true;
    }
    QDirIterator it(info.absolutePath(), QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileName() == name)
            return true;
    }
    return false;
}

} // namespace

qint32 fileSizeLookup(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    // Hidden entries (a leading "."), folders, special files and missing
    // entries are not found; symbolic links to files are.
    if (name.isEmpty() || name.startsWith(u'.') || !info.isFile())
        return -1;
    if (!hasExactEntry(info))
        return -1;
    const qint64 size = info.size();
    return fitsFileSize(size) ? static_cast<qint32>(size) : -1;
}

qint32 signedByteSum(const char *data, qsizetype length)
{
    // Unsigned arithmetic wraps like the 32-bit signed sum without overflow.
    std::uint32_t sum = 0;
    for (qsizetype i = 0; i < length; ++i)
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(data[i])));
    return static_cast<qint32>(sum);
}

QString featureCode(const QString &path, qint32 size)
{
    // Only regular files are read: opening a named pipe would block until
    // something writes to it, and a device never ends.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("0");
    if (size == 0)
        size = fileSizeLookup(path);

    std::vector<char> buffer(kFeatureHeadBytes);

    qint32 head = 0;
    const qint32 headWanted = std::min(kFeatureHeadBytes, size);
    if (headWanted > 0) {
        const qint64 got = readUpTo(file, buffer.data(), headWanted);
        head = signedByteSum(buffer.data(), got);
    }

    qint32 tail = 0;
    const qint32 tailWanted = std::min(kFeatureTailBytes, size);
    if (tailWanted > 0) {
        const qint64 end = file.size();
        if (file.seek(std::max<qint64>(0, end - tailWanted))) {
            const qint64 got = readUpTo(file, buffer.data(), tailWanted);
            tail = signedByteSum(buffer.data(), got);
        }
    }

    return QString::number(size) + u'!' + QString::number(head) + u'!' + QString::number(tail)
        + u"!0!"_s;
}

bool kanaCheckBytes(QByteArrayView bytes)
{
    if (bytes.size() > kMaxIntakePathBytes)
        return false;
    const auto n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x81 || i + 1 >= n) {
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (lead == 0xA4 && trail >= 0xA1 && trail <= 0xF3)
            return false;
        if (lead == 0xA5 && trail >= 0xA1 && trail <= 0xF6)
            return false;
        i += 2;
    }
    return true;
}

bool passesKanaCheck(const QString &path)
{
    return kanaCheckBytes(platform::toAnsi(path));
}

QString typeOfPath(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    return path.mid(dot + 1).toLower();
}

bool passesFileTypeTest(const QString &type, const QStringList &fileTypes)
{
    return fileTypes.contains(type, Qt::CaseSensitive);
}

IntakeVerdict checkIntake(const QString &path, const QStringList &fileTypes)
{
    const QByteArray encoded = platform::toAnsi(path);
    if (encoded.size() > kMaxIntakePathBytes)
        return IntakeVerdict::PathTooLong;
    if (!kanaCheckBytes(encoded))
        return IntakeVerdict::Kana;
    if (!passesFileTypeTest(typeOfPath(path), fileTypes))
        return IntakeVerdict::TypeRefused;
    const QFileInfo info(path);
    if (!info.exists())
        return IntakeVerdict::Missing;
    if (!info.isFile() && !isPageFilesFolder(info.fileName()))
        return IntakeVerdict::Missing;
    if (info.isFile() && !fitsFileSize(info.size()))
        return IntakeVerdict::TooLarge;
    return IntakeVerdict::Accepted;
}

QList<FolderEntry> listFolderEntries(const QString &folder)
{
    QList<FolderEntry> entries;
    const QDir dir(folder);
    // Hidden entries, "." and "..", symbolic links and special files
    // (devices, pipes, sockets) are not part of the library.
    const QFileInfoList infos = dir.entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    entries.reserve(infos.size());
    for (const QFileInfo &info : infos) {
        FolderEntry entry;
        entry.name = info.fileName();
        entry.isDirectory = info.isDir();
        entry.size = entry.isDirectory ? 0 : info.size();
        entries.append(entry);
    }
    return entries;
}

bool isPageFilesFolder(const QString &name)
{
    return name.endsWith(QStringLiteral(".files"));
}

void walkFolder(const QString &folder, QStringList &list, const std::function<void()> &afterEach)
{
    const QString base = platform::withTrailingSlash(folder);
    if (base.isEmpty())
        return;
    for (const FolderEntry &entry : listFolderEntries(base)) {
        if (entry.isDirectory && !isPageFilesFolder(entry.name))
            walkFolder(base + entry.name + u'/', list, afterEach);
        else
            list.append(base + entry.name);
        if (afterEach)
            afterEach();
    }
}

QString trimName(const QString &name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && name.at(begin) == u' ')
        ++begin;
    while (begin < end && name.at(begin) == kIdeographicSpace)
        ++begin;
    while (end > begin && name.at(end - 1) == u' ')
        --end;
    while (end > begin && name.at(end - 1) == kIdeographicSpace)
        --end;
    return name.mid(begin, end - begin);
}

QDateTime roundToDosTime(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const QDateTime local = time.toLocalTime();
    const QTime t = local.time();
    return QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second() & ~1));
}

QDateTime dosLastWriteTime(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return roundToDosTime(info.lastModified());
}

GradeChapterSection splitRelativePath(const QString &relativePath)
{
    GradeChapterSection result;
    if (relativePath.isEmpty())
        return result;
    const QStringList parts = relativePath.split(u'/');
    result.grade = parts.at(0);
    if (parts.size() > 1)
        result.zhang = parts.at(1);
    if (parts.size() > 2)
        result.jie = parts.at(2);
    return result;
}

} // namespace zv
