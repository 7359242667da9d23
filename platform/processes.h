#pragma once
// Process snapshot and termination over /proc.
#include <QList>
#include <QString>

namespace zv::platform {

// Ids of every process whose executable's base name, lower-cased, equals
// name (itself compared lower-cased). The calling process is never listed.
// procRoot lets tests point the scan at a folder of their own.
QList<qint64> findProcesses(const QString &name, const QString &procRoot = QStringLiteral("/proc"));

// Sends SIGKILL to every such process. False when a signal could not be
// delivered to one of them (the process is then left alone).
bool terminateProcesses(const QString &name, const QString &procRoot = QStringLiteral("/proc"));

} // namespace zv::platform
