#pragma once
// The desktop shell: opening files, folders and addresses; the clipboard's file list.
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace zv::ui {

// Opens a file, folder or address with the desktop's default handler.
// Failures are reported by the return value only.
using OpenHandler = std::function<bool(const QUrl &)>;
bool shellOpen(const QUrl &url);
bool shellOpenPath(const QString &path);
OpenHandler setOpenHandler(OpenHandler handler);

// File paths carried by dropped or pasted data (text/uri-list of local files).
QStringList filePathsFromMime(const QMimeData *data);

// Mime data that copies paths as a file list (text/uri-list and
// x-special/gnome-copied-files); nullptr for an empty list.
QMimeData *mimeForFilePaths(const QStringList &paths);

// Puts paths on the clipboard as a file list. An empty list does nothing and
// returns false.
bool putFilesOnClipboard(const QStringList &paths);

} // namespace zv::ui
