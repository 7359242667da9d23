#pragma once
// The client's pictures, drawn at run time so that no binary artwork is needed.
#include <QIcon>
#include <QPixmap>

namespace zv::client::ui {

QIcon appIcon();
QPixmap logoPixmap(int size);
QIcon manageIcon();
QIcon searchIcon();
QIcon settingsIcon();
QIcon loginIcon();
QIcon downloadIcon();
QIcon exitIcon();

enum class Avatar { Neutral, Male, Female };
QPixmap avatarPixmap(Avatar kind, QSize size);

} // namespace zv::client::ui
