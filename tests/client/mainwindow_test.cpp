// The main window under the offscreen platform.
#include "client/ui/linkerror.h"
#include "client/ui/linklabel.h"
#include "client/ui/mainwindow.h"
#include "client/ui/searchpage.h"
#include "platform/ui/dialogs.h"
#include "tests/client/scriptedpeer.h"
#include "tests/client/testclock.h"
#include "tests/support/sandbox.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace zv;
using namespace zv::client;
using namespace zv::client::ui;
using zv::test::Sandbox;
using zv::test::waitFor;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        deploy.portalUrl = QStringLiteral("http://127.0.0.1:9/portal/");
        deploy.tcpPort = peerPort;
        previous = zv::ui::setMessageHandler([this](const zv::ui::MessageRequest &r) {
            messages.append(r);
            return QMessageBox::Ok;
        });
    }
    ~MainWindowTest() override { zv::ui::setMessageHandler(previous); }

    TForm1 &form()
    {
        if (!form_) {
            state = std::make_unique<ClientState>(box.path(QStringLiteral("prog/")), deploy, clock.function());
            MainWindowOptions options;
            options.embedBrowser = false;
            options.backupFolder = box.path(QStringLiteral("backup/"));
            options.timings.connectWaitSeconds = 0.3;
            options.timings.keyWaitSeconds = 0.3;
            options.timings.pollSleepMs = 1;
            form_ = std::make_unique<TForm1>(*state, options);
        }
        return *form_;
    }

    template <typename T>
    T *find(const char *name)
    {
        T *child = form().findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    Sandbox box;
    zv::test::TestClock clock;
    DeployConfig deploy;
    quint16 peerPort = 80;
    std::unique_ptr<ClientState> state;
    std::unique_ptr<TForm1> form_;
    QList<zv::ui::MessageRequest> messages;
    zv::ui::MessageHandler previous;
};

} // namespace

TEST_F(MainWindowTest, CaptionSizeAndComponents)
{
    EXPECT_EQ(form().objectName(), QStringLiteral("TForm1"));
    EXPECT_EQ(form().windowTitle(), QStringLiteral("Zorvan 2009-2-16"));
    EXPECT_EQ(form().size(), QSize(833, 540));
    for (const char *name : {"ClientSocket1", "Timer1", "Timer2", "Memo1", "Label13", "Label14", "Label2", "Label62",
                             "Label19", "Label20", "Label60", "Label61", "Image2", "TreeView1", "TreeView2",
                             "ListView1", "GroupBox1", "GroupBox2", "GroupBox3", "GroupBox4", "Panel_search",
                             "Panel_library", "Panel_download", "Panel_local", "Panel_settings", "PopupMenu1",
                             "TrayIcon1", "Label_feedback", "Label_help"})
        EXPECT_NE(form().findChild<QObject *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(find<QPushButton>("Button_manage")->text(), QStringLiteral("资源管理"));
    EXPECT_EQ(find<QPushButton>("Button_search")->text(), QStringLiteral("Zorvan搜索"));
    EXPECT_EQ(find<QPushButton>("Button_settings")->text(), QStringLiteral("使用设置"));
    EXPECT_EQ(find<QPushButton>("Button_login")->text(), QStringLiteral("登录信息"));
    EXPECT_EQ(find<QTimer>("Timer1")->interval(), 1000);
    EXPECT_TRUE(find<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(find<QTimer>("Timer2")->isActive());
    const auto actions = form().PopupMenu1->actions();
    QStringList texts;
    for (QAction *a : actions) {
        if (!a->isSeparator())
            texts << a->text();
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("打开/隐藏(&O)"), QStringLiteral("退出(&X)")}));
}

TEST_F(MainWindowTest, ShowStepOpensTheSearchPageAndStartsTheHeartbeat)
{
    box.writeFile(QStringLiteral("prog/needdlfile.ls"), "Zorvan://1|a.doc|1!2!3!0!|/\r\nsecond\r\n");
    form().show();
    EXPECT_EQ(form().pageCode(), 2);
    EXPECT_TRUE(form().Panel_search->isVisible());
    EXPECT_FALSE(form().Memo1->isVisible());
    EXPECT_TRUE(find<QTimer>("Timer2")->isActive());
    ASSERT_NE(form().Panel_search->browser(), nullptr);
    EXPECT_EQ(form().Panel_search->browser()->objectName(), QStringLiteral("WebBrowser1"));
    EXPECT_EQ(form().Panel_search->url(), QUrl(deploy.portalUrl));
    EXPECT_EQ(form().pendingLink(), QStringLiteral("Zorvan://1|a.doc|1!2!3!0!|/"));
    EXPECT_FALSE(QFile::exists(box.path(QStringLiteral("prog/needdlfile.ls"))));
    EXPECT_TRUE(QFile::exists(box.path(QStringLiteral("prog/web_recorder.set"))));
    EXPECT_TRUE(QFile::exists(box.path(QStringLiteral("prog/dir.obj"))));
    // Not logged in: the welcome panel offers the login.
    EXPECT_EQ(form().Label13->text(), QStringLiteral("登录"));
    EXPECT_TRUE(form().Label60->isVisible());
    EXPECT_FALSE(form().Button_settings->isEnabled());
}

TEST_F(MainWindowTest, PageButtonsSwitchPagesAndSetTheirCodes)
{
    form().show();
    QTest::mouseClick(form().Button_manage, Qt::LeftButton);
    EXPECT_EQ(form().pageCode(), 12);
    EXPECT_TRUE(form().Panel_download->isVisible());
    EXPECT_FALSE(form().Panel_search->isVisible());
    form().TreeView1->setCurrentItem(form().TreeView1->topLevelItem(1));
    EXPECT_EQ(form().pageCode(), 13);
    EXPECT_TRUE(form().Panel_local->isVisible());
    EXPECT_FALSE(form().Panel_download->isVisible());

    QTest::mouseClick(form().Button_login, Qt::LeftButton);
    EXPECT_EQ(form().pageCode(), 4);
    EXPECT_FALSE(form().Panel_library->isVisible());

    // Settings only for a registered user.
    form().Button_settings->setEnabled(true);
    QTest::mouseClick(form().Button_settings, Qt::LeftButton);
    EXPECT_EQ(form().pageCode(), 4);
    state->loginState = kLoginUser;
    QTest::mouseClick(form().Button_settings, Qt::LeftButton);
    EXPECT_EQ(form().pageCode(), 3);
    EXPECT_TRUE(form().GroupBox1->isVisible());
    EXPECT_FALSE(form().GroupBox2->isVisible());
    form().TreeView2->setCurrentItem(form().TreeView2->topLevelItem(3));
    EXPECT_TRUE(form().GroupBox4->isVisible());
    EXPECT_FALSE(form().GroupBox1->isVisible());

    QTest::mouseClick(form().Button_search, Qt::LeftButton);
    EXPECT_EQ(form().pageCode(), 2);
    const int loads = form().Panel_search->loads();
    QTest::mouseClick(form().Button_search, Qt::LeftButton);
    EXPECT_EQ(form().Panel_search->loads(), loads + 1) << "pressing again reloads";
}

TEST_F(MainWindowTest, FirstLibraryUseOfARegisteredUserIsRecordedOnce)
{
    form().show();
    QSignalSpy firstUse(&form(), &TForm1::firstLibraryUse);
    QTest::mouseClick(form().Button_manage, Qt::LeftButton); // nobody logged in
    EXPECT_EQ(firstUse.size(), 0);
    state->loginState = kLoginUser;
    state->userId = QStringLiteral("1001");
    QTest::mouseClick(form().Button_search, Qt::LeftButton);
    QTest::mouseClick(form().Button_manage, Qt::LeftButton);
    QTest::mouseClick(form().Button_search, Qt::LeftButton);
    QTest::mouseClick(form().Button_manage, Qt::LeftButton);
    EXPECT_EQ(firstUse.size(), 1);
    EXPECT_EQ(box.readFile(QStringLiteral("prog/computer/useridinfo.ls")), QByteArray("1001\r\n"));
}

struct WelcomeCase {
    const char *name;
    QString login;
    QString gender;
    QString link;
    QPoint linkAt;
    QSize picture;
    bool points;
    bool settings;
};

void PrintTo(const WelcomeCase &c, std::ostream *os) { *os << c.name; }

class WelcomeTest : public MainWindowTest, public ::testing::WithParamInterface<WelcomeCase> {};

TEST_P(WelcomeTest, PanelFollowsTheLoginState)
{
    form().show();
    state->loginState = GetParam().login;
    state->profile[kProfileNickname] = QStringLiteral("李老师");
    state->profile[kProfileGender] = GetParam().gender;
    form().refreshWelcomePanel();
    EXPECT_EQ(form().Label13->text(), GetParam().link);
    EXPECT_EQ(form().Label13->pos(), GetParam().linkAt);
    EXPECT_EQ(form().Label20->isVisible(), GetParam().points);
    EXPECT_EQ(form().Button_settings->isEnabled(), GetParam().settings);
    EXPECT_EQ(form().Image2->isVisible(), !GetParam().picture.isEmpty());
    if (!GetParam().picture.isEmpty()) {
        EXPECT_EQ(form().Image2->size(), GetParam().picture);
    }
    if (GetParam().login == kLoginUser) {
        EXPECT_EQ(form().Label62->text(), QStringLiteral("李老师！"));
    }
    if (GetParam().login == kLoginGuest) {
        EXPECT_EQ(form().Label62->text(), QStringLiteral("访客！"));
    }
    // Nothing of the panel is cut off.
    for (QLabel *l : form().Panel_welcome->findChildren<QLabel *>()) {
        if (l->isVisible()) {
            EXPECT_TRUE(form().Panel_welcome->rect().contains(l->geometry())) << l->objectName().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, WelcomeTest,
    ::testing::Values(
        WelcomeCase{"Nobody", QString(), QString(), QStringLiteral("登录"), {107, 34}, {}, false, false},
        WelcomeCase{"Guest", kLoginGuest, QString(), QStringLiteral("注销"), {10, 92}, {40, 45}, false, false},
        WelcomeCase{"Man", kLoginUser, QStringLiteral("男"), QStringLiteral("注销"), {10, 113}, {45, 50}, true, true},
        WelcomeCase{"Woman", kLoginUser, QStringLiteral("女"), QStringLiteral("注销"), {10, 113}, {45, 50}, true, true},
        WelcomeCase{"Unknown", kLoginUser, QString(), QStringLiteral("注销"), {10, 113}, {40, 45}, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, LinksKeepTheirDistanceFromTheRightEdge)
{
    form().show();
    EXPECT_EQ(form().width() - form().Label_feedback->x(), 93);
    EXPECT_EQ(form().width() - form().Label_help->x(), 39);
    EXPECT_LE(form().Label_feedback->geometry().right(), form().Label_help->x());
    form().resize(1000, 640);
    EXPECT_EQ(form().width() - form().Label_feedback->x(), 93);
    EXPECT_EQ(form().width() - form().Label_help->x(), 39);
}

TEST_F(MainWindowTest, CloseMinimisesAndOnlyTheTrayExitQuits)
{
    box.writeFile(QStringLiteral("prog/computer/local.res"), "library");
    box.writeFile(QStringLiteral("prog/computer/dir_info.obj"), "categories");
    form().show();
    QSignalSpy exit(&form(), &TForm1::exitRequested);
    form().close();
    EXPECT_FALSE(form().isVisible());
    EXPECT_EQ(exit.size(), 0);
    form().toggleFromTray();
    EXPECT_TRUE(form().isVisible());
    form().toggleFromTray();
    EXPECT_FALSE(form().isVisible());
    form().toggleFromTray();

    form().MenuItem_exit->trigger();
    EXPECT_EQ(exit.size(), 1);
    EXPECT_TRUE(form().reallyQuit());
    EXPECT_FALSE(find<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(find<QTimer>("Timer2")->isActive());
    EXPECT_EQ(box.readFile(QStringLiteral("backup/zorvan_local.res")), QByteArray("library"));
    EXPECT_EQ(box.readFile(QStringLiteral("backup/zorvan_dir_info.obj")), QByteArray("categories"));
}

TEST_F(MainWindowTest, KeysGoToTheBrowserFirstExceptBackspaceLeftAndRight)
{
    form().show();
    QWidget *browser = form().Panel_search->keyTarget();
    ASSERT_NE(browser, nullptr);
    QList<int> seen;
    struct Recorder : QObject {
        QList<int> *seen;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyPress)
                seen->append(static_cast<QKeyEvent *>(e)->key());
            return false;
        }
    } recorder;
    recorder.seen = &seen;
    browser->installEventFilter(&recorder);
    for (int key : {Qt::Key_PageDown, Qt::Key_F5, Qt::Key_Backspace, Qt::Key_Left, Qt::Key_Right, Qt::Key_A})
        QTest::keyClick(form().Button_manage, static_cast<Qt::Key>(key));
    EXPECT_EQ(seen, (QList<int>{Qt::Key_PageDown, Qt::Key_F5, Qt::Key_A}));
    // Off the search page the browser gets nothing.
    seen.clear();
    QTest::mouseClick(form().Button_login, Qt::LeftButton);
    QTest::keyClick(form().Button_manage, Qt::Key_PageDown);
    EXPECT_TRUE(seen.isEmpty());
}

TEST_F(MainWindowTest, FailedReloginShowsTheMessageAndStopsTimer2)
{
    {
        zv::test::ScriptedPeer closed;
        peerPort = closed.port();
    } // the port is closed again: nothing answers there
    deploy.tcpPort = peerPort;
    form().show();
    state->loginState = kLoginUser;
    clock.advanceSeconds(301);
    form().channel().tick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("无法连接服务器!"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(state->loginState.isEmpty());
    EXPECT_FALSE(find<QTimer>("Timer2")->isActive());
}

TEST_F(MainWindowTest, PointsAndTraceLinesReachTheWindow)
{
    form().show();
    form().channel().receive(encodeKeyFrame(99));
    form().channel().receive(encodeFrame({QStringLiteral("s_u_jifen_update0.5"), QStringLiteral("120")}, 99));
    EXPECT_EQ(form().Label20->text(), QStringLiteral("120"));
    EXPECT_TRUE(form().Memo1->toPlainText().contains(QStringLiteral("key=99")));
}

TEST(LinkErrorTest, CaptionTextAndButton)
{
    TForm_Link_error dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("Form_Link_error"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("系统提示"));
    EXPECT_EQ(dialog.BitBtn1->text(), QStringLiteral("关闭"));
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("连接服务器失败，原因可能是：\n1.您的机器没有接入互联网。\n"
                                                    "2.没有开放TCP:80网络端口。\n3.由于防火墙的其他原因。\n"
                                                    "4.您取消了连接服务器的操作。\n5.网络繁忙，或其他原因。"));
    dialog.show();
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
