#include "tests/support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zv::test {

Sandbox::Sandbox() = default;

QString Sandbox::path(const QString &name) const
{
    return name.isEmpty() ? dir_.path() + u'/' : dir_.filePath(name);
}

QString Sandbox::writeFile(const QString &name, const QByteArray &bytes) const
{
    const QString full = path(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return full;
}

QByteArray Sandbox::readFile(const QString &name) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool Sandbox::mkdir(const QString &name) const
{
    return QDir().mkpath(path(name));
}

} // namespace zv::test
