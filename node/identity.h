#pragma once
// The node's files in its own directory: pc.dll (the computer identity) and
// filetype.ls (written with the default list when missing).
#include <QString>
#include <QStringList>
#include <optional>

namespace zv::node {

struct ComputerIdentity {
    qint32 computerId = 0;   // line 4; 0 until the computer is registered
    QString computerKey;     // line 5
};

// pc.dll must hold at least five lines, its fourth a decimal 32-bit integer
// that is not negative. The error names what is wrong, for the message on
// standard error that ends the program.
struct IdentityLoad {
    std::optional<ComputerIdentity> identity;
    QString error;
};
IdentityLoad loadIdentity(const QString &pcDllPath);

// Replaces lines 4 and 5 with the new id and key, keeping every other line.
bool saveIdentity(const QString &pcDllPath, const ComputerIdentity &identity);

// The 48 default file types, in order.
QStringList defaultFileTypes();
// Loads filetype.ls, or writes the default list when it is missing.
QStringList ensureFileTypes(const QString &path);

} // namespace zv::node
