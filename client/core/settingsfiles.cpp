#include "client/core/settingsfiles.h"

#include "common/framing.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace zv::client {

namespace {

std::uint8_t shiftMarker(qsizetype position)
{
    const auto first = static_cast<std::uint8_t>((position + 100) & 0xFF);
    if (first == 0x00 || first == 0x0A || first == 0x0D)
        return static_cast<std::uint8_t>((position + 101) & 0xFF);
    return first;
}

char escapeCode(std::uint8_t value)
{
    switch (value) {
    case 0x00: return '0';
    case 0x0A: return 'A';
    default: return 'D';
    }
}

std::optional<std::uint8_t> escapedValue(char code)
{
    switch (code) {
    case '0': return 0x00;
    case 'A': return 0x0A;
    case 'D': return 0x0D;
    default: return std::nullopt;
    }
}

// The plain bytes of a remembered value: control characters dropped, cut at a
// character boundary so that at most kMaxShiftedValueBytes remain.
QByteArray plainBytes(const QString &plain)
{
    QByteArray out;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        qsizetype len = 1;
        if (plain[i].isHighSurrogate() && i + 1 < plain.size() && plain[i + 1].isLowSurrogate())
            len = 2;
        const QStringView ch = QStringView(plain).mid(i, len);
        i += len - 1;
        if (len == 1 && ch[0].unicode() < 0x20)
            continue;
        const QByteArray bytes = platform::toAnsi(ch);
        if (out.size() + bytes.size() > kMaxShiftedValueBytes)
            break;
        out += bytes;
    }
    return out;
}

QByteArray lineBytes(const QString &text)
{
    QString clean = text;
    clean.replace(u'\r', u' ');
    clean.replace(u'\n', u' ');
    return platform::toAnsi(clean);
}

std::optional<QByteArray> readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > platform::kMaxTextFileBytes)
        return std::nullopt;
    return file.readAll();
}

} // namespace

QByteArray shiftEncode(const QString &plain)
{
    const QByteArray bytes = plainBytes(plain);
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (qsizetype j = 0; j < bytes.size(); ++j) {
        const auto value = static_cast<std::uint8_t>((static_cast<std::uint8_t>(bytes[j]) + j + 100) & 0xFF);
        if (value == 0x00 || value == 0x0A || value == 0x0D) {
            out += static_cast<char>(shiftMarker(j));
            out += escapeCode(value);
        } else {
            out += static_cast<char>(value);
        }
    }
    return out;
}

QString shiftDecode(const QByteArray &stored)
{
    QByteArray plain;
    qsizetype j = 0;
    for (qsizetype i = 0; i < stored.size() && j < kMaxShiftedValueBytes; ++i, ++j) {
        auto value = static_cast<std::uint8_t>(stored[i]);
        if (value == shiftMarker(j)) {
            const auto escaped = i + 1 < stored.size() ? escapedValue(stored[i + 1]) : std::nullopt;
            if (!escaped)
                break; // a damaged escape: keep what came before it
            value = *escaped;
            ++i;
        }
        plain += static_cast<char>(static_cast<std::uint8_t>((value - j - 100) & 0xFF));
    }
    return platform::fromAnsi(plain);
}

SettingsFile SettingsFile::defaults(const QString &downloadFolder)
{
    SettingsFile s;
    s.lines = {QStringLiteral("false"), {}, {}, {}, QStringLiteral("false"), QStringLiteral("10"), downloadFolder};
    return s;
}

SettingsFile SettingsFile::blank(const QString &downloadFolder)
{
    SettingsFile s;
    s.lines = {QStringLiteral("false"), {}, {}, {}, QStringLiteral("false"), {}, downloadFolder};
    return s;
}

std::optional<SettingsFile> SettingsFile::load(const QString &path)
{
    const auto bytes = readBytes(path);
    if (!bytes)
        return std::nullopt;
    const auto raw = platform::splitByteLines(*bytes);
    SettingsFile s;
    for (int i = 0; i < kSettingsLines && i < raw.size(); ++i) {
        if (i == kSetAccount || i == kSetPassword)
            s.lines[i] = shiftDecode(raw[i]);
        else
            s.lines[i] = platform::fromAnsi(raw[i]);
    }
    return s;
}

bool SettingsFile::save(const QString &path) const
{
    QByteArray out;
    for (int i = 0; i < kSettingsLines; ++i) {
        out += (i == kSetAccount || i == kSetPassword) ? shiftEncode(lines[i]) : lineBytes(lines[i]);
        out += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(out);
    return file.commit();
}

int SettingsFile::maxDownloads() const
{
    // The settings page accepts 1 to 20 only; anything else stored here is
    // treated like a value that is not a number.
    const auto v = parseInt32(lines[kSetMaxDownloads]);
    return v && *v >= 1 && *v <= 20 ? *v : 10;
}

QString SettingsFile::downloadFolder(const QString &fallback) const
{
    const QString folder = lines[kSetDownloadFolder];
    return folder.isEmpty() ? fallback : platform::withTrailingSlash(folder);
}

StartupSettings loadOrCreateSettings(const QString &computerFolder, const QString &defaultFolder)
{
    StartupSettings result;
    const QString path = computerFolder + QStringLiteral("syslofile.ls");
    if (QFileInfo::exists(path)) {
        const SettingsFile s = SettingsFile::load(path).value_or(SettingsFile{});
        result.maxDownloads = s.maxDownloads();
        result.downloadFolder = s.downloadFolder(defaultFolder);
        return result;
    }
    result.maxDownloads = 10;
    result.downloadFolder = defaultFolder;
    QDir().mkpath(computerFolder);
    result.created = SettingsFile::defaults(defaultFolder).save(path);
    return result;
}

const QStringList &defaultFileTypes()
{
    static const QStringList types = {
        QStringLiteral("bmp"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif"),
        QStringLiteral("wmf"),  QStringLiteral("emf"),  QStringLiteral("tif"),  QStringLiteral("mid"),
        QStringLiteral("midi"), QStringLiteral("rmi"),  QStringLiteral("mp3"),  QStringLiteral("mp2"),
        QStringLiteral("m1a"),  QStringLiteral("m2a"),  QStringLiteral("acc"),  QStringLiteral("ra"),
        QStringLiteral("wav"),  QStringLiteral("wma"),  QStringLiteral("avi"),  QStringLiteral("mpg"),
        QStringLiteral("mpeg"), QStringLiteral("mp4"),  QStringLiteral("mov"),  QStringLiteral("rm"),
        QStringLiteral("ram"),  QStringLiteral("rmvb"), QStringLiteral("rpm"),  QStringLiteral("wmv"),
        QStringLiteral("wmp"),  QStringLiteral("wm"),   QStringLiteral("asf"),  QStringLiteral("pdf"),
        QStringLiteral("doc"),  QStringLiteral("txt"),  QStringLiteral("rtf"),  QStringLiteral("wps"),
        QStringLiteral("ppt"),  QStringLiteral("pps"),  QStringLiteral("xls"),  QStringLiteral("fla"),
        QStringLiteral("swf"),  QStringLiteral("com"),  QStringLiteral("exe"),  QStringLiteral("rar"),
        QStringLiteral("zip"),  QStringLiteral("cab"),  QStringLiteral("htm"),  QStringLiteral("html"),
    };
    return types;
}

QStringList loadOrCreateFileTypes(const QString &path)
{
    if (QFileInfo::exists(path)) {
        // An unreadable list is used as the default in memory and left on disk.
        return platform::readLines(path).value_or(defaultFileTypes());
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    platform::writeLines(path, defaultFileTypes());
    return defaultFileTypes();
}

bool recordLibraryUser(const QString &path, const QString &userId)
{
    QStringList users;
    if (QFileInfo::exists(path)) {
        const auto lines = platform::readLines(path);
        if (!lines)
            return false; // unreadable: do not run the set-up over and over
        users = *lines;
        if (users.contains(userId))
            return false;
    }
    users.append(userId);
    QDir().mkpath(QFileInfo(path).absolutePath());
    platform::writeLines(path, users);
    return true;
}

bool setLibraryBusyFlag(const QString &path, const QString &value)
{
    QStringList lines;
    if (QFileInfo::exists(path)) {
        const auto read = platform::readLines(path);
        if (!read)
            return false;
        lines = *read;
        if (lines.size() > 2)
            lines[2] = value;
        else
            lines.append(value);
    } else {
        lines = {QStringLiteral("nat_type"), QString(), value};
    }
    return platform::writeLines(path, lines);
}

bool ensureEmptyFile(const QString &path)
{
    return QFileInfo::exists(path) || platform::touchFile(path);
}

int makeBackupCopies(const QString &programDirectory, const QString &backupFolder)
{
    static const std::pair<const char *, const char *> copies[] = {
        {"computer/local.res", "zorvan_local.res"},
        {"computer/dir_info.obj", "zorvan_dir_info.obj"},
    };
    const QString dir = platform::withTrailingSlash(programDirectory);
    const QString target = platform::withTrailingSlash(backupFolder);
    if (!QDir().mkpath(target))
        return 0;
    int made = 0;
    for (const auto &[from, to] : copies) {
        const QString source = dir + QString::fromLatin1(from);
        if (!QFileInfo(source).isFile())
            continue;
        // Copy beside the old copy first, so a failed copy keeps the old one.
        const QString dest = target + QString::fromLatin1(to);
        const QString temp = dest + QStringLiteral(".part");
        QFile::remove(temp);
        if (!QFile::copy(source, temp))
            continue;
        QFile::remove(dest);
        if (QFile::rename(temp, dest))
            ++made;
        else
            QFile::remove(temp);
    }
    return made;
}

} // namespace zv::client
