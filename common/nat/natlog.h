#pragma once
// nat_type.log in the computer folder, shared by the client and the serving
// node: line 0 the word "nat_type", line 1 the node's NAT type, line 2 the
// client's library-busy flag (lines counted from 0 here).
#include <QString>
#include <optional>

namespace zv::nat {

inline constexpr int kNatTypeLine = 1;
inline constexpr int kBusyFlagLine = 2;

inline QString natLogFileName() { return QStringLiteral("nat_type.log"); }

// The NAT type stored in line 1 when the file can be read and that line is a
// decimal integer from 0 to 6; nullopt otherwise (missing file, short file,
// empty line, "-1", "7", text).
std::optional<int> readStoredNatType(const QString &path);

// Serving node: replaces line 1 with the type and keeps every other line; a
// missing file is created with the two lines "nat_type" and the type.
bool writeStoredNatType(const QString &path, int natType);

// Client: replaces line 2 with the flag and keeps every other line; a missing
// file is created with "nat_type", an empty line 1 and the flag.
bool writeLibraryBusyFlag(const QString &path, int value);

// Serving node: whether line 2 reads 1. A missing file, a missing line or a
// value that is not an integer count as 0.
bool readLibraryBusyFlag(const QString &path);

} // namespace zv::nat
