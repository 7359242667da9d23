#include "platform/ui/dialogs.h"
#include "platform/ui/shell.h"

#include <QMimeData>
#include <gtest/gtest.h>

using namespace zv::ui;

namespace {

TEST(MessageSeam, RecordsRequestAndScriptsAnswer)
{
    std::vector<MessageRequest> seen;
    auto old = setMessageHandler([&](const MessageRequest &r) {
        seen.push_back(r);
        return QMessageBox::No;
    });
    warn(nullptr, QStringLiteral("无法连接服务器!"));
    inform(nullptr, QStringLiteral("ok"), QStringLiteral("系统提示"));
    EXPECT_FALSE(askYesNo(nullptr, QStringLiteral("q?")));
    setMessageHandler(old);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(seen[0].text, QStringLiteral("无法连接服务器!"));
    EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(seen[1].caption, QStringLiteral("系统提示"));
    EXPECT_EQ(seen[1].icon, QMessageBox::Information);
    EXPECT_EQ(seen[2].buttons, QMessageBox::Yes | QMessageBox::No);
}

TEST(FolderSeam, ScriptedChoice)
{
    auto old = setFolderHandler([](const FolderRequest &r) { return r.initialFolder + QStringLiteral("sub"); });
    EXPECT_EQ(chooseFolder({nullptr, QStringLiteral("t"), QStringLiteral("/tmp/")}), QStringLiteral("/tmp/sub"));
    setFolderHandler(old);
}

TEST(FileList, MimeRoundTrip)
{
    EXPECT_EQ(mimeForFilePaths({}), nullptr);
    std::unique_ptr<QMimeData> data(mimeForFilePaths({QStringLiteral("/a/教案 1.doc"), QStringLiteral("/b/c.ppt")}));
    ASSERT_TRUE(data);
    EXPECT_EQ(filePathsFromMime(data.get()), (QStringList{QStringLiteral("/a/教案 1.doc"), QStringLiteral("/b/c.ppt")}));
    EXPECT_TRUE(data->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\nfile:///a/"));
    EXPECT_FALSE(putFilesOnClipboard({}));
}

TEST(ShellSeam, OpenGoesThroughHandler)
{
    QList<QUrl> opened;
    auto old = setOpenHandler([&](const QUrl &u) {
        opened.append(u);
        return true;
    });
    EXPECT_TRUE(shellOpenPath(QStringLiteral("/p/help/help.mht")));
    setOpenHandler(old);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toLocalFile(), QStringLiteral("/p/help/help.mht"));
}

} // namespace
