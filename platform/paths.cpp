#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStorageInfo>

namespace zv::platform {

QString withTrailingSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString homeFolder()
{
    return withTrailingSlash(QDir::homePath());
}

QString defaultDownloadFolder()
{
    return homeFolder() + QStringLiteral("下载资源/");
}

QString zorvanHomePath(const QString &name)
{
    return homeFolder() + QStringLiteral("zorvan/") + name;
}

QString backupFolder()
{
    return homeFolder() + QStringLiteral("zorvan_backup/");
}

QString programDirectory()
{
    return withTrailingSlash(QCoreApplication::applicationDirPath());
}

qint64 freeDiskSpace(const QString &path)
{
    QStorageInfo info(path);
    if (!info.isValid())
        return -1;
    return info.bytesAvailable();
}

} // namespace zv::platform
