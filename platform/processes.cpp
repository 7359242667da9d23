#include "platform/processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace zv::platform {

namespace {

QString executableBaseName(const QString &procDir)
{
    // The link to the executable names it best; when it cannot be read (another
    // user's process) the command name of the status file stands in.
    const QString target = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
    if (!target.isEmpty()) {
        QString base = QFileInfo(target).fileName();
        if (base.endsWith(QStringLiteral(" (deleted)")))
            base.chop(10);
        return base;
    }
    QFile comm(procDir + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll()).trimmed();
    return {};
}

} // namespace

QList<qint64> findProcesses(const QString &name, const QString &procRoot)
{
    QList<qint64> ids;
    const QString wanted = name.trimmed().toLower();
    const qint64 self = ::getpid();
    const QDir root(procRoot);
    const auto entries = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const auto &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || pid <= 0 || pid == self)
            continue;
        if (executableBaseName(root.filePath(entry)).trimmed().toLower() == wanted)
            ids.append(pid);
    }
    return ids;
}

bool terminateProcesses(const QString &name, const QString &procRoot)
{
    const auto ids = findProcesses(name, procRoot);
    for (const qint64 pid : ids) {
        if (::kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno != ESRCH)
            return false;
    }
    return true;
}

} // namespace zv::platform
