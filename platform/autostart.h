#pragma once
// Start with the desktop session: an XDG autostart entry named "Zorvan".
#include <QString>

namespace zv::platform {

// ~/.config/autostart/Zorvan.desktop (XDG_CONFIG_HOME honoured).
QString autostartEntryPath();

// Writes the entry starting program; false when it cannot be written.
bool enableAutostart(const QString &program);
// Removes the entry; true when none remains.
bool disableAutostart();
bool autostartEnabled();

} // namespace zv::platform
