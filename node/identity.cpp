#include "node/identity.h"

#include "common/framing.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace zv::node {

namespace {
constexpr int kIdLine = 3;
constexpr int kKeyLine = 4;
// pc.dll holds a few short lines; anything bigger is not one.
constexpr qint64 kMaxPcDllBytes = 64 * 1024;
} // namespace

IdentityLoad loadIdentity(const QString &pcDllPath)
{
    IdentityLoad out;
    const QFileInfo info(pcDllPath);
    if (!info.exists()) {
        out.error = QStringLiteral("pc.dll is missing: ") + pcDllPath;
        return out;
    }
    if (info.size() > kMaxPcDllBytes) {
        out.error = QStringLiteral("pc.dll is too large to be an identity file: ") + pcDllPath;
        return out;
    }
    const auto lines = platform::readLines(pcDllPath);
    if (!lines) {
        out.error = QStringLiteral("pc.dll cannot be read: ") + pcDllPath;
        return out;
    }
    if (lines->size() < 5) {
        out.error = QStringLiteral("pc.dll holds %1 lines; it needs at least 5: ").arg(lines->size()) + pcDllPath;
        return out;
    }
    const auto id = parseInt32(lines->at(kIdLine).trimmed());
    if (!id || *id < 0) {
        out.error = QStringLiteral("line 4 of pc.dll is not a computer id (a whole number from 0): \"")
            + lines->at(kIdLine).left(40) + QStringLiteral("\" in ") + pcDllPath;
        return out;
    }
    out.identity = ComputerIdentity{*id, lines->at(kKeyLine)};
    return out;
}

bool saveIdentity(const QString &pcDllPath, const ComputerIdentity &identity)
{
    QStringList lines = platform::readLines(pcDllPath).value_or(QStringList{});
    while (lines.size() < 5)
        lines.append(QString());
    lines[kIdLine] = QString::number(identity.computerId);
    lines[kKeyLine] = identity.computerKey;
    return platform::writeLines(pcDllPath, lines);
}

QStringList defaultFileTypes()
{
    return QStringLiteral("bmp jpg jpeg gif wmf emf tif mid midi rmi mp3 mp2 m1a m2a acc ra wav wma avi mpg mpeg "
                          "mp4 mov rm ram rmvb rpm wmv wmp wm asf pdf doc txt rtf wps ppt pps xls fla swf com exe "
                          "rar zip cab htm html")
        .split(u' ');
}

QStringList ensureFileTypes(const QString &path)
{
    if (QFileInfo::exists(path)) {
        if (auto lines = platform::readLines(path))
            return *lines;
        return {};
    }
    const QStringList list = defaultFileTypes();
    platform::writeLines(path, list);
    return list;
}

} // namespace zv::node
