// The node's hidden window: its components by name, the memo following the
// log, and the four commands.
#include "node/indexsync.h"
#include "node/ui/mainwindow.h"
#include "platform/ui/dialogs.h"
#include "tests/node/nodefixture.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace zv;
using namespace zv::node;
using namespace zv::node::test;

namespace {

class WindowTest : public NodeFixture {
protected:
    void TearDown() override { ui::setMessageHandler({}); }
    ScriptedServer server;
};

TEST_F(WindowTest, ButtonsInOrderAndMemoFollowsTheLog)
{
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.log().add(QStringLiteral("before"));
    TForm1 window(node);
    EXPECT_FALSE(window.isVisible());
    const char *names[] = {"Button1", "Button2", "Button3", "Button4"};
    const QString texts[] = {QStringLiteral("在线过程中更新服务器索引(if 本地发生变化)"),
                             QStringLiteral("完整重建服务器索引(不管本地是否发生变化)"), QStringLiteral("检查本地索引"),
                             QStringLiteral("删除所有索引")};
    int lastY = -1;
    for (int i = 0; i < 4; ++i) {
        auto *b = window.findChild<QPushButton *>(QString::fromLatin1(names[i]));
        ASSERT_TRUE(b) << names[i];
        EXPECT_EQ(b->text(), texts[i]);
        window.show();
        EXPECT_GT(b->mapTo(&window, QPoint()).y(), lastY) << "top to bottom";
        lastY = b->mapTo(&window, QPoint()).y();
    }
    auto *memo = window.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
    ASSERT_TRUE(memo);
    node.log().add(QStringLiteral("after"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("before\nafter"));
    node.log().clear();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(WindowTest, DeleteAllIndexEmptiesTheTableAndSays)
{
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state) values ('1!1!1!0!','a','1')")));
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    TForm1 window(node);
    QList<ui::MessageRequest> shown;
    ui::setMessageHandler([&](const ui::MessageRequest &r) {
        shown.append(r);
        return QMessageBox::Ok;
    });
    QTest::mouseClick(window.Button4, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("已成功删除所有本地索引。"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Information);
    store::ResultSet rs;
    rs.open(db, QStringLiteral("select * from table_file"));
    EXPECT_TRUE(rs.isEmpty());
}

TEST_F(WindowTest, CommandsRunTheirOperations)
{
    Node node(settings(server), ComputerIdentity{5, QStringLiteral("k")}, db, probe);
    node.start();
    ASSERT_TRUE(node.loggedIn());
    ASSERT_TRUE(zv::test::waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 1; }));
    server.sendMessage({QStringLiteral("s_c_update_reply0.5")});
    ASSERT_TRUE(zv::test::waitFor([&] { return node.uploadGateOpen(); }));
    TForm1 window(node);
    ASSERT_TRUE(db.exec(QStringLiteral("insert into table_file (file_code,file_name,update_state,file_size,user_id,path) "
                                       "values ('1!1!1!0!','a.doc',1,1,1,'/none/')")));
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    ASSERT_TRUE(zv::test::waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 2; }));
    EXPECT_EQ(server.withVerb(QStringLiteral("C_UPDATE0.5"))[1].value(3), QStringLiteral("2"));
    server.sendMessage({QStringLiteral("s_c_update_reply0.5")});
    ASSERT_TRUE(zv::test::waitFor([&] { return node.uploadGateOpen(); }));

    QTest::mouseClick(window.Button3, Qt::LeftButton);   // the file is gone: marked removed
    store::ResultSet rs;
    rs.open(db, QStringLiteral("select * from table_file where file_name = 'a.doc'"));
    EXPECT_EQ(rs.field(QStringLiteral("update_state")).toInt(), 2);
    EXPECT_TRUE(node.timer(QStringLiteral("Timer_update1"))->isActive());

    QTest::mouseClick(window.Button2, Qt::LeftButton);
    ASSERT_TRUE(zv::test::waitFor([&] { return server.withVerb(QStringLiteral("C_UPDATE0.5")).size() == 3; }));
    const QStringList full = server.withVerb(QStringLiteral("C_UPDATE0.5"))[2];
    EXPECT_EQ(full.value(3), QStringLiteral("3"));
    EXPECT_EQ(full.size(), 4) << "the removed row was deleted before the rebuild";
}

} // namespace
