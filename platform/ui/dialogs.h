#pragma once
// The one seam every modal message box and file dialog of both programs goes
// through. Real runs show QMessageBox and QFileDialog; tests install handlers
// that record what would have been shown and script the answer.
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace zv::ui {

struct MessageRequest {
    QWidget *parent = nullptr;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest &)>;

// Shows a message box and returns the button pressed.
QMessageBox::StandardButton showMessage(const MessageRequest &request);

// Shorthands for the common forms (caption "提示" unless given).
void warn(QWidget *parent, const QString &text, const QString &caption = QStringLiteral("提示"));
void inform(QWidget *parent, const QString &text, const QString &caption = QStringLiteral("提示"));
bool askYesNo(QWidget *parent, const QString &text, const QString &caption = QStringLiteral("提示"),
              QMessageBox::Icon icon = QMessageBox::Question);

// Replaces the handler (an empty function restores the real message box).
// Returns the previous handler.
MessageHandler setMessageHandler(MessageHandler handler);

struct FolderRequest {
    QWidget *parent = nullptr;
    QString title;
    QString initialFolder;
};
// Returns the chosen folder without a trailing separator, or the empty text when cancelled.
using FolderHandler = std::function<QString(const FolderRequest &)>;
QString chooseFolder(const FolderRequest &request);
FolderHandler setFolderHandler(FolderHandler handler);

struct FilesRequest {
    QWidget *parent = nullptr;
    QString title;
    QString initialFolder;
    QString filter;
};
using FilesHandler = std::function<QStringList(const FilesRequest &)>;
QStringList chooseFiles(const FilesRequest &request);
FilesHandler setFilesHandler(FilesHandler handler);

} // namespace zv::ui
