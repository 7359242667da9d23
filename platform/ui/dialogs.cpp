#include "platform/ui/dialogs.h"

#include <QFileDialog>

namespace zv::ui {

namespace {
MessageHandler &messageHandler()
{
    static MessageHandler handler;
    return handler;
}
FolderHandler &folderHandler()
{
    static FolderHandler handler;
    return handler;
}
FilesHandler &filesHandler()
{
    static FilesHandler handler;
    return handler;
}
} // namespace

QMessageBox::StandardButton showMessage(const MessageRequest &request)
{
    if (messageHandler())
        return messageHandler()(request);
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.parent);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void warn(QWidget *parent, const QString &text, const QString &caption)
{
    showMessage({parent, caption, text, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok});
}

void inform(QWidget *parent, const QString &text, const QString &caption)
{
    showMessage({parent, caption, text, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok});
}

bool askYesNo(QWidget *parent, const QString &text, const QString &caption, QMessageBox::Icon icon)
{
    return showMessage({parent, caption, text, icon, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes})
           == QMessageBox::Yes;
}

MessageHandler setMessageHandler(MessageHandler handler)
{
    return std::exchange(messageHandler(), std::move(handler));
}

QString chooseFolder(const FolderRequest &request)
{
    if (folderHandler())
        return folderHandler()(request);
    QString folder = QFileDialog::getExistingDirectory(request.parent, request.title, request.initialFolder,
                                                       QFileDialog::ShowDirsOnly);
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

FolderHandler setFolderHandler(FolderHandler handler)
{
    return std::exchange(folderHandler(), std::move(handler));
}

QStringList chooseFiles(const FilesRequest &request)
{
    if (filesHandler())
        return filesHandler()(request);
    return QFileDialog::getOpenFileNames(request.parent, request.title, request.initialFolder, request.filter);
}

FilesHandler setFilesHandler(FilesHandler handler)
{
    return std::exchange(filesHandler(), std::move(handler));
}

} // namespace zv::ui
