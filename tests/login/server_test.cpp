// Login, registration, update and logout against the reference server on
// loopback, through the real dialogs.
#include "client/core/settingsfiles.h"
#include "client/ui/linklabel.h"
#include "client/ui/regform.h"
#include "client/ui/welcomepanel.h"
#include "platform/processes.h"
#include "platform/textfile.h"
#include "platform/ui/shell.h"
#include "tests/login/loginharness.h"
#include "tests/support/serverfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

using namespace zv::client;
using namespace zv::client::ui;
using zv::test::child;
using zv::test::LoginHarness;
using zv::test::ServerFixture;
using zv::test::waitFor;
using zv::test::whenLoginShown;
using zv::test::whenRegShown;

namespace {

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

zv::DeployConfig deployFor(const ServerFixture &server)
{
    zv::DeployConfig d;
    d.serverAddress = server.address();
    d.serverHost = server.address();
    d.tcpPort = server.tcpPort();
    d.udpPort = server.udpPort();
    d.portalUrl = QStringLiteral("about:blank");
    d.localAddresses = {QStringLiteral("127.0.0.1")};
    return d;
}

// A refused connection still waits the whole connection and key waits.
ChannelTimings shortWaits()
{
    ChannelTimings t;
    t.connectWaitSeconds = 0.5;
    t.keyWaitSeconds = 0.5;
    return t;
}

struct Account {
    QString id;
    QString email;
    QString password;
    QString nickname;
};

// Registers an account directly on the control channel.
Account registerAccount(const ServerFixture &server, const QString &email, const QString &gender = q("男"))
{
    zv::test::FrameClient client;
    EXPECT_TRUE(client.connectTo(server.address(), server.tcpPort()));
    Account a{QString(), email, QStringLiteral("pw123"), q("王老师")};
    const auto reply = client.request(
        {QStringLiteral("U_REGISTER0.5"), email, a.nickname, a.password, q("王伟"), QStringLiteral("110101198001010011"),
         QStringLiteral("1980"), QStringLiteral("1"), QStringLiteral("1"), gender, q("北京"), q("海淀区"), QString(),
         q("实验中学"), q("教师"), q("数学"), QStringLiteral("010-1234"), QString(), QStringLiteral("1"),
         q("喜欢分享")},
        QStringLiteral("s_u_register_reply0.5"));
    EXPECT_TRUE(reply.has_value());
    if (reply && reply->field(1) == QStringLiteral("u_register_ok"))
        a.id = reply->field(2);
    return a;
}

class LoginServerTest : public ::testing::Test {
protected:
    void start(const QStringList &serverArgs = {})
    {
        ASSERT_TRUE(server.start(serverArgs)) << server.output().toStdString();
        h = std::make_unique<LoginHarness>(deployFor(server));
    }

    // Fills the dialog and presses "登录".
    static void logIn(Tlogin_form *d, bool byId, const QString &account, const QString &password)
    {
        (byId ? d->RadioButton2 : d->RadioButton1)->setChecked(true);
        (byId ? d->ComboBox1 : d->ComboBox2)->setEditText(account);
        d->Edit1->setText(password);
        d->BitBtn1->click();
    }

    // Runs the manual login dialog flow with script and returns its result.
    QString runDialog(std::function<void(Tlogin_form *)> script, bool automatic = false)
    {
        QString result;
        whenLoginShown(h->flow, std::move(script));
        const auto c = QObject::connect(h->flow, &LoginFlow::loginDialogShown, h->flow, [&result](Tlogin_form *d) {
            QObject::connect(d, &QDialog::finished, d, [&result, d] { result = d->loginResult; });
        });
        h->flow->runLoginDialog(automatic);
        QObject::disconnect(c);
        return result;
    }

    ServerFixture server;
    std::unique_ptr<LoginHarness> h;
};

} // namespace

TEST_F(LoginServerTest, RegisterFromTheMainWindowThenLogInWithTheNewId)
{
    start();
    h->form->show();
    whenRegShown(h->flow, [&](Treg_form *r) {
        r->Edit1->setText(q("张老师"));
        r->Edit2->setText(QStringLiteral("pw123"));
        r->Edit3->setText(QStringLiteral("pw123"));
        r->Edit4->setText(QStringLiteral("zhang@school.cn"));
        r->ComboBox4->setCurrentIndex(r->ComboBox4->findText(q("江苏")));
        r->ComboBox5->setEditText(q("南京"));
        r->ComboBox7->setCurrentIndex(r->ComboBox7->findText(q("语文")));
        r->Memo1->setPlainText(QStringLiteral("one\ntwo"));
        r->BitBtn1->click();
        EXPECT_FALSE(r->BitBtn1->isEnabled());
        ASSERT_TRUE(waitFor([&] { return !r->Edit8->text().isEmpty(); }, 10000));
        EXPECT_TRUE(r->Label30->isVisible());
        EXPECT_TRUE(r->Edit8->isVisible());
        EXPECT_TRUE(r->BitBtn4->isVisible());
        EXPECT_FALSE(r->BitBtn2->isVisible());
        EXPECT_TRUE(r->BitBtn1->isEnabled());
        EXPECT_EQ(r->Label33->text(), q("您的E-mail：") + QStringLiteral("zhang@school.cn"));
        EXPECT_EQ(r->Label34->text(), q("您的ID：") + r->Edit8->text());
        EXPECT_EQ(h->state->secondDetectionServer, server.altAddress());
        r->BitBtn4->click();
    });
    h->form->Label14->clicked();
    EXPECT_EQ(h->state->loginState, kLoginUser);
    EXPECT_NE(h->state->userId, QStringLiteral("0"));
    EXPECT_EQ(h->state->profile[kProfileNickname], q("张老师"));
    EXPECT_EQ(h->state->profile[kProfileDescription], QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(h->state->loginKind, QStringLiteral("ID"));
    EXPECT_EQ(h->state->loginPassword, QStringLiteral("pw123"));
    EXPECT_EQ(h->form->Label62->text(), q("张老师！"));
    EXPECT_EQ(zv::platform::readLines(h->programDirectory + QStringLiteral("inforuserd.ls")).value_or(QStringList()),
              QStringList{h->state->userId});
    EXPECT_TRUE(h->nodeSteps.isEmpty()) << "this path does not start the node";
    EXPECT_TRUE(h->messages.shown.isEmpty()) << h->messages.texts().join(u'|').toStdString();
}

TEST_F(LoginServerTest, RegisterFromTheLoginDialogThenLogIn)
{
    start();
    whenRegShown(h->flow, [&](Treg_form *r) {
        EXPECT_TRUE(r->stage.isEmpty());
        r->Edit1->setText(q("赵老师"));
        r->Edit2->setText(QStringLiteral("pw9"));
        r->Edit3->setText(QStringLiteral("pw9"));
        r->Edit4->setText(QStringLiteral("zhao@school.cn"));
        r->ComboBox4->setCurrentIndex(0);
        r->ComboBox5->setEditText(q("东城区"));
        r->ComboBox7->setCurrentIndex(0);
        r->BitBtn1->click();
        ASSERT_TRUE(waitFor([&] { return !r->Edit8->text().isEmpty(); }, 10000));
        r->BitBtn4->click();
    });
    QString id;
    const QString result = runDialog([&](Tlogin_form *d) {
        d->Label6->clicked();
        id = d->ComboBox1->currentText();
        EXPECT_TRUE(d->RadioButton2->isChecked());
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("pw9"));
    });
    EXPECT_EQ(result, kLoginOk);
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(h->state->userId, id);
    EXPECT_EQ(h->state->profile[kProfileNickname], q("赵老师"));
    EXPECT_EQ(h->nodeSteps.size(), 3) << "the login dialog flow starts the node";
}

TEST_F(LoginServerTest, RegistrationWithATakenEmailIsRefused)
{
    start();
    registerAccount(server, QStringLiteral("taken@school.cn"));
    whenRegShown(h->flow, [&](Treg_form *r) {
        r->Edit1->setText(QStringLiteral("n"));
        r->Edit2->setText(QStringLiteral("p"));
        r->Edit3->setText(QStringLiteral("p"));
        r->Edit4->setText(QStringLiteral("taken@school.cn"));
        r->ComboBox4->setCurrentIndex(0);
        r->ComboBox5->setEditText(QStringLiteral("x"));
        r->ComboBox7->setCurrentIndex(0);
        r->BitBtn1->click();
        ASSERT_TRUE(waitFor([&] { return h->messages.saw(q("此E-mail已经被注册过!")); }, 10000));
        EXPECT_EQ(r->focusWidget(), r->Edit4);
        EXPECT_TRUE(r->BitBtn1->isEnabled());
        EXPECT_FALSE(r->BitBtn4->isVisible());
        r->BitBtn2->click();
    });
    h->flow->registerFromMainWindow();
    EXPECT_TRUE(h->state->loginState.isEmpty());
}

TEST_F(LoginServerTest, LogInByEmailStartsTheNodeAndRemembersTheAddress)
{
    start();
    const Account a = registerAccount(server, QStringLiteral("wang@school.cn"));
    ASSERT_FALSE(a.id.isEmpty());
    const QString result = runDialog([&](Tlogin_form *d) {
        EXPECT_EQ(d->windowTitle(), q("Zorvan——登录"));
        EXPECT_TRUE(d->RadioButton1->isChecked());
        logIn(d, false, a.email, a.password);
        EXPECT_FALSE(d->BitBtn1->isEnabled());
        EXPECT_FALSE(d->Edit1->isEnabled());
        EXPECT_TRUE(d->BitBtn2->isEnabled());
    });
    EXPECT_EQ(result, kLoginOk);
    EXPECT_EQ(h->state->loginState, kLoginUser);
    EXPECT_EQ(h->state->userId, a.id);
    EXPECT_EQ(h->state->loginKind, QStringLiteral("EMAIL"));
    EXPECT_EQ(h->state->profile[kProfileEmail], a.email);
    EXPECT_EQ(h->state->profile[kProfileSubject], q("数学"));
    EXPECT_EQ(h->state->profile[kProfileDescription], q("喜欢分享"));
    EXPECT_EQ(h->state->firstDetectionServer, server.address());
    EXPECT_EQ(h->state->secondDetectionServer, server.altAddress());
    EXPECT_EQ(h->state->natType, 1);
    EXPECT_EQ(h->nodeSteps, (QStringList{QStringLiteral("terminate"), QStringLiteral("wait 1000"),
                                         QStringLiteral("launch ") + h->programDirectory + QStringLiteral("computer/Zorvan_C")}));
    EXPECT_EQ(zv::platform::readLines(h->programDirectory + QStringLiteral("inforuserm.ls")).value_or(QStringList()),
              QStringList{a.email});
    // "自动登录" unticked: the settings file keeps line 0.
    EXPECT_FALSE(SettingsFile::load(h->state->computerFile(QStringLiteral("syslofile.ls")))->autoLogin());
    EXPECT_TRUE(h->form->Label19->isVisibleTo(h->form.get()));
    EXPECT_EQ(h->form->Label13->text(), q("注销"));
    EXPECT_TRUE(h->form->Button_settings->isEnabled());

    // A second login with the same address lists it once.
    runDialog([&](Tlogin_form *d) {
        EXPECT_EQ(d->ComboBox2->count(), 1);
        logIn(d, false, a.email, a.password);
    });
    EXPECT_EQ(zv::platform::readLines(h->programDirectory + QStringLiteral("inforuserm.ls")).value_or(QStringList()),
              QStringList{a.email});
}

TEST_F(LoginServerTest, GuestLogin)
{
    start();
    const QString result = runDialog([&](Tlogin_form *d) {
        d->CheckBox1->setChecked(true);
        d->ComboBox1->setEditText(QStringLiteral("123"));
        d->BitBtn3->click();
        EXPECT_FALSE(d->CheckBox1->isChecked());
        EXPECT_TRUE(d->RadioButton2->isChecked());
        EXPECT_TRUE(d->ComboBox1->currentText().isEmpty());
    });
    EXPECT_EQ(result, kLoginOk);
    EXPECT_EQ(h->state->loginState, kLoginGuest);
    EXPECT_EQ(h->state->userId, QStringLiteral("0"));
    EXPECT_EQ(h->state->secondDetectionServer, server.altAddress());
    EXPECT_EQ(h->form->Label62->text(), q("访客！"));
    EXPECT_FALSE(h->form->Label19->isVisibleTo(h->form.get()));
    EXPECT_FALSE(h->form->Button_settings->isEnabled());
    QFile ids(h->programDirectory + QStringLiteral("inforuserd.ls"));
    ASSERT_TRUE(ids.open(QIODevice::ReadOnly));
    EXPECT_EQ(ids.readAll(), QByteArray("\r\n"));
    EXPECT_EQ(h->nodeSteps.size(), 3);
}

namespace {
struct RejectCase {
    const char *name;
    bool byId;
    const char *account; // "@id" = the registered ID, "@mail" = its e-mail
    const char *password;
    const char *message;
    const char *focus;
};
} // namespace

class LoginRejectTest : public LoginServerTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(LoginRejectTest, ShowsItsMessageFocusesItsBoxAndKeepsTheDialogOpen)
{
    const RejectCase &c = GetParam();
    start();
    const Account a = registerAccount(server, QStringLiteral("li@school.cn"));
    QString account = QString::fromUtf8(c.account);
    if (account == QStringLiteral("@id"))
        account = a.id;
    else if (account == QStringLiteral("@mail"))
        account = a.email;
    const QString result = runDialog([&](Tlogin_form *d) {
        logIn(d, c.byId, account, QString::fromUtf8(c.password));
        ASSERT_TRUE(waitFor([&] { return !h->messages.shown.isEmpty(); }, 10000));
        ASSERT_EQ(h->messages.shown.size(), 1);
        EXPECT_EQ(h->messages.shown[0].text, q(c.message));
        EXPECT_EQ(h->messages.shown[0].caption, q("提示"));
        EXPECT_EQ(h->messages.shown[0].icon, QMessageBox::Warning);
        EXPECT_EQ(d->focusWidget(), child<QWidget>(d, c.focus));
        EXPECT_TRUE(d->BitBtn1->isEnabled());
        EXPECT_TRUE(d->Label7->text().isEmpty());
        EXPECT_TRUE(d->isVisible());
        d->BitBtn2->click();
    });
    EXPECT_EQ(result, kLoginQuit);
    EXPECT_EQ(h->state->loginState, kLoginUser) << "a rejected login keeps the state set when it was sent";
    EXPECT_TRUE(h->nodeSteps.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Rejections, LoginRejectTest,
                         ::testing::Values(RejectCase{"WrongPassword", true, "@id", "nope", "您输入的密码错误!", "Edit1"},
                                           RejectCase{"UnknownEmail", false, "nobody@school.cn", "pw", "没有使用此E-mail的用户!", "ComboBox2"},
                                           RejectCase{"UnknownId", true, "999999", "pw", "没有此ID的用户!", "ComboBox1"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LoginServerTest, InvalidIdsAreRefusedWithoutSendingAnything)
{
    start();
    const struct {
        const char *id;
        const char *message;
    } cases[] = {{"abc", "用户ID 非法!"}, {"0", "没有此ID 的用户!"}};
    for (const auto &c : cases) {
        h->messages.clear();
        runDialog([&](Tlogin_form *d) {
            logIn(d, true, QString::fromLatin1(c.id), QStringLiteral("pw"));
            EXPECT_EQ(h->messages.texts(), QStringList{q(c.message)}) << c.id;
            EXPECT_EQ(d->focusWidget(), d->ComboBox1) << c.id;
            EXPECT_TRUE(d->BitBtn1->isEnabled());
            d->BitBtn2->click();
        });
        EXPECT_EQ(h->state->connectionState, kOffline) << c.id;
    }
    QTest::qWait(200);
    EXPECT_FALSE(server.output().contains(QStringLiteral("U_LOGIN0.3"))) << server.output().toStdString();
    EXPECT_TRUE(h->state->loginState.isEmpty());
}

TEST_F(LoginServerTest, AutomaticLoginIsRememberedAndARestartLogsInBeforeTheWindowIsUsed)
{
    start();
    const Account a = registerAccount(server, QStringLiteral("auto@school.cn"));
    runDialog([&](Tlogin_form *d) {
        d->CheckBox1->setChecked(true);
        logIn(d, true, a.id, a.password);
    });
    ASSERT_EQ(h->state->loginState, kLoginUser);
    const QString settingsPath = h->state->computerFile(QStringLiteral("syslofile.ls"));
    const auto raw = zv::platform::readLines(settingsPath);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->size(), 7);
    EXPECT_EQ(raw->at(0), QStringLiteral("true"));
    EXPECT_EQ(raw->at(1), QStringLiteral("ID"));
    QFile file(settingsPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines.at(2).chopped(1), shiftEncode(a.id));
    EXPECT_EQ(lines.at(3).chopped(1), shiftEncode(a.password));
    EXPECT_NE(lines.at(3).chopped(1), a.password.toLatin1());

    // A restart: the show step runs the automatic login before it returns.
    h->recreate();
    h->nodeSteps.clear();
    bool dialogSeen = false;
    QObject::connect(h->flow, &LoginFlow::loginDialogShown, h->flow, [&](Tlogin_form *d) {
        dialogSeen = true;
        EXPECT_TRUE(d->CheckBox1->isChecked());
        EXPECT_TRUE(d->RadioButton2->isChecked());
        EXPECT_EQ(d->ComboBox1->currentText(), a.id);
        EXPECT_EQ(d->Edit1->text(), a.password);
    });
    QElapsedTimer t;
    t.start();
    h->form->show();
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(h->state->loginState, kLoginUser);
    EXPECT_EQ(h->state->userId, a.id);
    EXPECT_EQ(h->form->Label62->text(), a.nickname + q("！"));
    EXPECT_EQ(h->nodeSteps.size(), 3);
    EXPECT_TRUE(h->messages.shown.isEmpty()) << h->messages.texts().join(u'|').toStdString();
}

TEST_F(LoginServerTest, FallbackHostIsTriedOnceForAUserLogin)
{
    ASSERT_TRUE(server.start());
    zv::DeployConfig d = deployFor(server);
    d.serverAddress = QStringLiteral("127.0.0.3"); // nothing listens there
    h = std::make_unique<LoginHarness>(d, shortWaits());
    const Account a = registerAccount(server, QStringLiteral("fb@school.cn"));
    runDialog([&](Tlogin_form *dlg) { logIn(dlg, true, a.id, a.password); });
    EXPECT_EQ(h->linkErrors, 0);
    EXPECT_TRUE(h->form->fallbackFlag());
    EXPECT_EQ(h->form->channel().serverHost(), server.address());
    EXPECT_EQ(h->state->loginState, kLoginUser);
    EXPECT_EQ(h->state->userId, a.id);
}

TEST_F(LoginServerTest, SecondFailureShowsTheConnectionErrorAndGuestsGetNoFallback)
{
    ASSERT_TRUE(server.start());
    zv::DeployConfig d = deployFor(server);
    d.serverAddress = QStringLiteral("127.0.0.3");
    d.serverHost = QStringLiteral("127.0.0.4");
    h = std::make_unique<LoginHarness>(d, shortWaits());
    runDialog([&](Tlogin_form *dlg) {
        dlg->BitBtn3->click();
        EXPECT_EQ(h->linkErrors, 1);
        EXPECT_FALSE(h->form->fallbackFlag()) << "no fallback host for guests";
        EXPECT_EQ(dlg->Label7->text(), q("提示："));
        EXPECT_TRUE(dlg->BitBtn3->isEnabled());
        logIn(dlg, true, QStringLiteral("10001"), QStringLiteral("pw"));
        EXPECT_EQ(h->linkErrors, 2);
        EXPECT_TRUE(h->form->fallbackFlag());
        EXPECT_EQ(h->form->channel().serverHost(), QStringLiteral("127.0.0.4"));
        // With the flag set, the next failure shows the error at once.
        logIn(dlg, true, QStringLiteral("10001"), QStringLiteral("pw"));
        EXPECT_EQ(h->linkErrors, 3);
        dlg->BitBtn2->click();
    });
    EXPECT_TRUE(h->state->loginState.isEmpty());
}

TEST_F(LoginServerTest, CancelEndsTheWaitsAtOnce)
{
    // A server that accepts and then never sends a key.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    QList<QTcpSocket *> accepted;
    QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        while (auto *s = silent.nextPendingConnection())
            accepted << s;
    });
    zv::DeployConfig d;
    d.serverAddress = d.serverHost = QStringLiteral("127.0.0.1");
    d.tcpPort = silent.serverPort();
    h = std::make_unique<LoginHarness>(d);
    qint64 elapsed = -1;
    const QString result = runDialog([&](Tlogin_form *dlg) {
        QTimer::singleShot(300, dlg, [dlg] {
            EXPECT_TRUE(dlg->BitBtn2->isEnabled());
            dlg->BitBtn2->click();
        });
        QElapsedTimer t;
        t.start();
        logIn(dlg, true, QStringLiteral("10001"), QStringLiteral("pw"));
        elapsed = t.elapsed();
    });
    EXPECT_LT(elapsed, 3000) << "the 10 s key wait must end on cancel";
    EXPECT_GE(elapsed, 250);
    EXPECT_EQ(h->linkErrors, 1);
    EXPECT_EQ(result, kLoginQuit);
    EXPECT_FALSE(accepted.isEmpty());
}

TEST_F(LoginServerTest, OptionalUpdateAnsweredNoLogsInWithTheShiftedProfile)
{
    start({QStringLiteral("--update-policy"), QStringLiteral("optional"), QStringLiteral("--update-target"),
           QStringLiteral("http://update.example/zorvan")});
    const Account a = registerAccount(server, QStringLiteral("upd@school.cn"));
    h->messages.answer = [](const zv::ui::MessageRequest &) { return QMessageBox::No; };
    const QString result = runDialog([&](Tlogin_form *d) { logIn(d, true, a.id, a.password); });
    EXPECT_EQ(result, kLoginOk);
    ASSERT_EQ(h->messages.shown.size(), 1);
    EXPECT_EQ(h->messages.shown[0].text, q("发现新的版本,但当前版本可用,是否更新?"));
    EXPECT_EQ(h->messages.shown[0].icon, QMessageBox::Question);
    EXPECT_EQ(h->messages.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(h->state->userId, a.id);
    EXPECT_EQ(h->state->profile[kProfileEmail], a.email);
    EXPECT_EQ(h->state->profile[kProfileNickname], a.nickname);
    EXPECT_EQ(h->state->profile[kProfileDescription], q("喜欢分享"));
    EXPECT_EQ(h->state->secondDetectionServer, server.altAddress());
    EXPECT_FALSE(h->form->reallyQuit());
    EXPECT_EQ(h->nodeSteps.size(), 3);
}

TEST_F(LoginServerTest, OptionalUpdateAnsweredYesOpensTheTargetStopsTheNodeAndEnds)
{
    start({QStringLiteral("--update-policy"), QStringLiteral("optional"), QStringLiteral("--update-target"),
           QStringLiteral("http://update.example/zorvan")});
    const Account a = registerAccount(server, QStringLiteral("upd2@school.cn"));
    QList<QUrl> opened;
    QStringList nodeAtOpen;
    const auto previous = zv::ui::setOpenHandler([&](const QUrl &url) {
        opened << url;
        nodeAtOpen = h->nodeSteps;
        return true;
    });
    h->form->show();
    QSignalSpy exits(h->form.get(), &TForm1::exitRequested);
    const QString result = runDialog([&](Tlogin_form *d) { logIn(d, true, a.id, a.password); });
    zv::ui::setOpenHandler(previous);
    EXPECT_EQ(result, kLoginShutdown);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("http://update.example/zorvan"))});
    EXPECT_EQ(nodeAtOpen, QStringList{QStringLiteral("terminate")}) << "the node is ended before the target opens";
    EXPECT_TRUE(h->form->reallyQuit());
    EXPECT_TRUE(h->form->updateShutdown());
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(h->nodeSteps, QStringList{QStringLiteral("terminate")}) << "no new node after an update";
}

TEST_F(LoginServerTest, MandatoryUpdateWarnsAndEnds)
{
    start({QStringLiteral("--update-policy"), QStringLiteral("mandatory"), QStringLiteral("--update-target"),
           QStringLiteral("/opt/zorvan/setup")});
    QStringList openedPaths;
    const auto previous = zv::ui::setOpenHandler([&](const QUrl &url) {
        openedPaths << url.toLocalFile();
        return true;
    });
    const QString result = runDialog([&](Tlogin_form *d) { logIn(d, true, QStringLiteral("5"), QStringLiteral("pw")); });
    zv::ui::setOpenHandler(previous);
    EXPECT_EQ(result, kLoginShutdown);
    EXPECT_EQ(h->messages.texts(), QStringList{q("当前版本已不可用,必须更新至最新版本!")});
    EXPECT_EQ(openedPaths, QStringList{QStringLiteral("/opt/zorvan/setup")});
}

TEST_F(LoginServerTest, LogoutShowsTheNotLoggedInPanel)
{
    start();
    const Account a = registerAccount(server, QStringLiteral("out@school.cn"));
    h->form->show();
    runDialog([&](Tlogin_form *d) { logIn(d, true, a.id, a.password); });
    ASSERT_EQ(h->state->loginState, kLoginUser);
    ASSERT_EQ(h->form->Label13->text(), q("注销"));
    h->form->Label13->clicked();
    EXPECT_TRUE(h->state->loginState.isEmpty());
    EXPECT_EQ(h->state->connectionState, kOffline);
    EXPECT_EQ(h->form->Label13->text(), q("登录"));
    EXPECT_TRUE(h->form->Label60->isVisible());
    EXPECT_TRUE(h->form->Label14->isVisible());
    EXPECT_FALSE(h->form->Label62->isVisible());
    EXPECT_FALSE(h->form->Image2->isVisible());
    EXPECT_EQ(h->form->pageCode(), 2);
    EXPECT_EQ(h->state->userId, a.id) << "logout keeps the user ID and the profile";

    // "登录" runs the manual login dialog flow again.
    bool shown = false;
    whenLoginShown(h->flow, [&](Tlogin_form *d) {
        shown = true;
        EXPECT_TRUE(d->Edit1->text().isEmpty());
        d->BitBtn2->click();
    });
    h->form->Label13->clicked();
    EXPECT_TRUE(shown);
}

// --- NAT type at login -----------------------------------------------------------------

namespace {
struct NatLogCase {
    const char *name;
    QByteArray file; // empty: no file
    int expected;
    bool adopted;
};
} // namespace

class LoginNatTest : public LoginServerTest, public ::testing::WithParamInterface<NatLogCase> {};

TEST_P(LoginNatTest, AdoptsAValidStoredTypeElseDetects)
{
    const NatLogCase &c = GetParam();
    start({QStringLiteral("--verbose")});
    if (!c.file.isEmpty()) {
        QFile f(h->state->computerFile(QStringLiteral("nat_type.log")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.file);
    }
    runDialog([&](Tlogin_form *d) { d->BitBtn3->click(); });
    EXPECT_EQ(h->state->natType, c.expected);
    EXPECT_EQ(h->flow->nat().lastResult().adopted, c.adopted);
    EXPECT_TRUE(h->flow->nat().udpSocket()->state() == QAbstractSocket::BoundState);
    EXPECT_GE(h->flow->nat().udpSocket()->localPort(), 6300);
    EXPECT_LT(h->flow->nat().udpSocket()->localPort(), 7000);
    QTest::qWait(200);
    EXPECT_EQ(server.output().contains(QStringLiteral("U_CHANGE_REQUEST0.5")), !c.adopted) << server.output().toStdString();
    EXPECT_TRUE(h->form->Memo1->toPlainText().contains(QStringLiteral("nat_type=%1").arg(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    NatLog, LoginNatTest,
    ::testing::Values(NatLogCase{"NoFile", {}, 1, false}, NatLogCase{"Stored4", "nat_type\r\n4\r\n0\r\n", 4, true},
                      NatLogCase{"Stored0", "nat_type\r\n0\r\n", 0, true},
                      NatLogCase{"Seven", "nat_type\r\n7\r\n", 1, false},
                      NatLogCase{"MinusOne", "nat_type\r\n-1\r\n", 1, false},
                      NatLogCase{"EmptyLine", "nat_type\r\n\r\n1\r\n", 1, false}),
    [](const auto &info) { return std::string(info.param.name); });

namespace {
// Node processes started from this test's program directory, and no others.
QList<qint64> ourNodes(const QString &programDirectory)
{
    QList<qint64> ours;
    for (qint64 pid : zv::platform::findProcesses(QStringLiteral("Zorvan_C"))) {
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (exe.startsWith(programDirectory))
            ours << pid;
    }
    return ours;
}
} // namespace

TEST_F(LoginServerTest, LoginStartsTheRealServingNode)
{
    start();
    const QString node = h->programDirectory + QStringLiteral("computer/Zorvan_C");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORVAN_NODE_PROGRAM), node));
    ASSERT_TRUE(h->deploy.save(h->programDirectory + QStringLiteral("computer/deploy.ini")));
    auto &starter = h->form->nodeStarter();
    const QString dir = h->programDirectory;
    starter.setTerminator([dir] {
        for (qint64 pid : ourNodes(dir))
            ::kill(pid_t(pid), SIGKILL);
        return waitFor([&] { return ourNodes(dir).isEmpty(); }, 5000);
    });
    starter.setWaiter([](int) {});
    // Its own lock folder: the node allows one instance per lock folder.
    const QString run = h->box.path(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(run));
    QFile::setPermissions(run, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(zv::platform::writeLines(h->programDirectory + QStringLiteral("computer/pc.dll"),
                                         {QStringLiteral("Zorvan_C"), QStringLiteral("1"), QString(), QStringLiteral("0"), QString()}));
    starter.setLauncher([run](const QString &program, const QString &workingDirectory) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProgram(program);
        p.setWorkingDirectory(workingDirectory);
        return p.startDetached();
    });
    const Account a = registerAccount(server, QStringLiteral("node@school.cn"));
    runDialog([&](Tlogin_form *d) { logIn(d, true, a.id, a.password); });
    EXPECT_EQ(h->state->natType, 1);
    EXPECT_TRUE(waitFor([&] { return ourNodes(dir).size() == 1; }, 10000));
    // The node logs in on its own and classifies its NAT too.
    const QString natLog = h->state->computerFile(QStringLiteral("nat_type.log"));
    EXPECT_TRUE(waitFor([&] { return zv::platform::readLines(natLog).value_or(QStringList()).value(1) == QStringLiteral("1"); },
                        20000));
    const QList<qint64> first = ourNodes(dir);
    // A second login ends the running node and starts a fresh one.
    runDialog([&](Tlogin_form *d) { logIn(d, true, a.id, a.password); });
    EXPECT_TRUE(waitFor([&] { return ourNodes(dir).size() == 1 && ourNodes(dir) != first; }, 10000));
    starter.stop();
    EXPECT_TRUE(ourNodes(dir).isEmpty());
}
