#pragma once
// Folders the programs use. Folders always carry a trailing "/".
#include <QString>

namespace zv::platform {

// Appends "/" when the text does not end in one (the empty text stays empty).
QString withTrailingSlash(const QString &folder);

// The user's home folder, with a trailing "/". HOME is honoured so tests can
// give each run its own.
QString homeFolder();

// The default download folder: home folder + "下载资源/".
QString defaultDownloadFolder();

// Home folder + "zorvan/" + name (the files the other platform kept under c:\zorvan\).
QString zorvanHomePath(const QString &name);

// The backup folder: home folder + "zorvan_backup/".
QString backupFolder();

// The folder of the running program, with a trailing "/".
QString programDirectory();

// Free bytes of the volume holding path; -1 when unknown.
qint64 freeDiskSpace(const QString &path);

} // namespace zv::platform
