#include "common/nat/natlog.h"

#include "common/nat/nattype.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace zv::nat {

namespace {

QString headerLine() { return QStringLiteral("nat_type"); }

std::optional<int> lineAsInt(const QString &path, int index)
{
    const auto lines = platform::readLines(path);
    if (!lines || lines->size() <= index)
        return std::nullopt;
    bool ok = false;
    const int value = lines->at(index).toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// Puts value into line index of the file, keeping the other lines. A file too
// short to hold that line is filled up with the header and empty lines, so the
// value always lands on its own line and never on another writer's line.
bool replaceLine(const QString &path, int index, const QString &value)
{
    QStringList lines;
    if (QFileInfo::exists(path)) {
        auto loaded = platform::readLines(path);
        if (!loaded)
            return false; // never replace a file that could not be read
        lines = std::move(*loaded);
    }
    if (lines.isEmpty())
        lines.append(headerLine());
    while (lines.size() <= index)
        lines.append(QString());
    lines[index] = value;
    return platform::writeLines(path, lines);
}

} // namespace

std::optional<int> readStoredNatType(const QString &path)
{
    const auto value = lineAsInt(path, kNatTypeLine);
    if (!value || !isValidNatType(*value))
        return std::nullopt;
    return value;
}

bool writeStoredNatType(const QString &path, int natType)
{
    return replaceLine(path, kNatTypeLine, QString::number(natType));
}

bool writeLibraryBusyFlag(const QString &path, int value)
{
    return replaceLine(path, kBusyFlagLine, QString::number(value));
}

bool readLibraryBusyFlag(const QString &path)
{
    return lineAsInt(path, kBusyFlagLine) == 1;
}

} // namespace zv::nat
