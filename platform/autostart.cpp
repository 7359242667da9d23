#include "platform/autostart.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace zv::platform {

QString autostartEntryPath()
{
    QString config = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty())
        config = homeFolder() + QStringLiteral(".config");
    return withTrailingSlash(config) + QStringLiteral("autostart/Zorvan.desktop");
}

static QString desktopQuote(const QString &program)
{
    QString quoted = program;
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'"', QStringLiteral("\\\""));
    return u'"' + quoted + u'"';
}

bool enableAutostart(const QString &program)
{
    const QString path = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Zorvan\nExec=")
                         + desktopQuote(program)
                         + QStringLiteral("\nX-GNOME-Autostart-enabled=true\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

bool disableAutostart()
{
    const QString path = autostartEntryPath();
    return !QFileInfo::exists(path) || QFile::remove(path);
}

bool autostartEnabled()
{
    return QFileInfo::exists(autostartEntryPath());
}

} // namespace zv::platform
