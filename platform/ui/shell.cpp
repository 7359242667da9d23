#include "platform/ui/shell.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>

namespace zv::ui {

namespace {
OpenHandler &openHandler()
{
    static OpenHandler handler;
    return handler;
}
} // namespace

bool shellOpen(const QUrl &url)
{
    if (openHandler())
        return openHandler()(url);
    return QDesktopServices::openUrl(url);
}

bool shellOpenPath(const QString &path)
{
    return shellOpen(QUrl::fromLocalFile(path));
}

OpenHandler setOpenHandler(OpenHandler handler)
{
    return std::exchange(openHandler(), std::move(handler));
}

QStringList filePathsFromMime(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

QMimeData *mimeForFilePaths(const QStringList &paths)
{
    if (paths.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    QList<QUrl> urls;
    QByteArray gnome = "copy";
    for (const auto &path : paths) {
        const QUrl url = QUrl::fromLocalFile(path);
        urls.append(url);
        gnome += '\n';
        gnome += url.toEncoded();
    }
    data->setUrls(urls);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    return data;
}

bool putFilesOnClipboard(const QStringList &paths)
{
    QMimeData *data = mimeForFilePaths(paths);
    if (!data)
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return false;
    }
    clipboard->clear();
    clipboard->setMimeData(data);
    return true;
}

} // namespace zv::ui
