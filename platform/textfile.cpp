#include "platform/textfile.h"

#include "platform/textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace zv::platform {

QList<QByteArray> splitByteLines(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.append(bytes.sliced(start, i - start).toByteArray());
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
                ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(bytes.sliced(start).toByteArray());
    return lines;
}

QStringList splitLines(QByteArrayView bytes)
{
    QStringList out;
    const auto lines = splitByteLines(bytes);
    out.reserve(lines.size());
    for (const auto &line : lines)
        out.append(fromAnsi(line));
    return out;
}

std::optional<QStringList> readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaxTextFileBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxTextFileBytes + 1);
    if (bytes.size() > kMaxTextFileBytes)
        return std::nullopt;
    return splitLines(bytes);
}

bool writeLines(const QString &path, const QStringList &lines)
{
    QByteArray bytes;
    for (const auto &line : lines) {
        bytes += toAnsi(line);
        bytes += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool touchFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace zv::platform
