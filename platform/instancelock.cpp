#include "platform/instancelock.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zv::platform {

QString instanceTitle(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const auto dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString runtimeFolder()
{
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QFileInfo(QFile::decodeName(xdg)).isDir())
        return QFile::decodeName(xdg);
    return QStringLiteral("/tmp");
}

InstanceLock::~InstanceLock()
{
    release();
}

bool InstanceLock::tryLock(const QString &title, const QString &folder)
{
    release();
    const QString path = QDir(folder).filePath(title + QStringLiteral(".lock"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void InstanceLock::release()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace zv::platform
