// The dialogs and pages without a server: every check as a table of cases
// (message, caption, icon, focus), what is sent to a scripted server and what
// is written.
#include <QDeadlineTimer>
#include "client/core/settingsfiles.h"
#include "client/ui/feedbackform.h"
#include "client/ui/linklabel.h"
#include "client/ui/regform.h"
#include "client/ui/settingspages.h"
#include "client/ui/welcomepanel.h"
#include "platform/autostart.h"
#include "platform/textfile.h"
#include "tests/client/scriptedpeer.h"
#include "tests/login/loginharness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

using namespace zv::client;
using namespace zv::client::ui;
using zv::test::child;
using zv::test::LoginHarness;
using zv::test::ScriptedPeer;
using zv::test::waitFor;

namespace {

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A case of a form's check: what to change in a valid form, and the box that
// must appear (text nullptr: accepted).
template <typename Form>
struct FormCase {
    const char *name;
    std::function<void(Form *)> change;
    const char *message;
    const char *focus;
    QMessageBox::Icon icon = QMessageBox::Warning;
};

template <typename Form>
void expectBox(LoginHarness &h, QWidget *window, const FormCase<Form> &c, const char *captionUtf8 = "提示")
{
    ASSERT_EQ(h.messages.shown.size(), 1) << c.name << ": " << h.messages.texts().join(u'|').toStdString();
    const auto &box = h.messages.shown.first();
    EXPECT_EQ(box.text, q(c.message)) << c.name;
    EXPECT_EQ(box.icon, c.icon) << c.name;
    if (c.icon == QMessageBox::Warning) {
        EXPECT_EQ(box.caption, q(captionUtf8)) << c.name;
    }
    if (c.focus) {
        EXPECT_EQ(window->focusWidget(), child<QWidget>(window, c.focus)) << c.name;
    }
}

// The harness with its channel connected to a scripted server.
struct Connected {
    Connected() : peer(12345)
    {
        h.state->connectionState = kOffline;
        h.form->channel().setServer(QStringLiteral("127.0.0.1"), peer.port());
        EXPECT_TRUE(h.form->channel().connectAndWaitForKey());
    }
    // What the peer received with verb. The bytes cross a real socket, so it
    // waits up to 3 s for one to arrive (a loaded machine needs more than a
    // fixed pause); checking that nothing was sent costs the whole wait.
    QList<zv::Message> sent(const QString &verb)
    {
        QDeadlineTimer deadline(3000);
        QTest::qWait(50);
        while (peer.receivedWithVerb(verb).isEmpty() && !deadline.hasExpired())
            QTest::qWait(20);
        return peer.receivedWithVerb(verb);
    }
    LoginHarness h;
    ScriptedPeer peer;
};

} // namespace

// --- login dialog ---------------------------------------------------------------------

TEST(LoginFormTest, RequiredBoxesAreCheckedFirst)
{
    LoginHarness h;
    Tlogin_form d(*h.flow);
    d.show();
    const FormCase<Tlogin_form> cases[] = {
        {"ID empty", [](Tlogin_form *f) { f->RadioButton2->setChecked(true); f->ComboBox1->setEditText({}); }, "用户ID不能为空!", "ComboBox1"},
        {"e-mail empty", [](Tlogin_form *f) { f->RadioButton1->setChecked(true); f->ComboBox2->setEditText({}); }, "E-mail不能为空!", "ComboBox2"},
        {"password empty", [](Tlogin_form *f) { f->Edit1->clear(); }, "密码不能为空!", "Edit1"},
        {"ID not a number", [](Tlogin_form *f) { f->RadioButton2->setChecked(true); f->ComboBox1->setEditText(QStringLiteral("abc")); }, "用户ID 非法!", "ComboBox1"},
        {"ID zero", [](Tlogin_form *f) { f->RadioButton2->setChecked(true); f->ComboBox1->setEditText(QStringLiteral("0")); }, "没有此ID 的用户!", "ComboBox1"},
    };
    for (const auto &c : cases) {
        h.messages.clear();
        d.RadioButton1->setChecked(true);
        d.ComboBox1->setEditText(QStringLiteral("10001"));
        d.ComboBox2->setEditText(QStringLiteral("a@b.cn"));
        d.Edit1->setText(QStringLiteral("pw"));
        c.change(&d);
        d.BitBtn1->click();
        expectBox(h, &d, c);
        EXPECT_TRUE(d.BitBtn1->isEnabled()) << c.name;
    }
    EXPECT_EQ(h.state->connectionState, kOffline);
    EXPECT_TRUE(h.state->loginState.isEmpty());
}

TEST(LoginFormTest, ComponentsAndThePasswordBox)
{
    LoginHarness h;
    Tlogin_form d(*h.flow);
    d.show();
    EXPECT_EQ(d.windowTitle(), q("Zorvan——登录"));
    EXPECT_TRUE(d.RadioButton1->isChecked());
    EXPECT_TRUE(d.ComboBox2->isEnabled());
    EXPECT_FALSE(d.ComboBox1->isEnabled());
    d.RadioButton2->setChecked(true);
    EXPECT_FALSE(d.ComboBox2->isEnabled());
    EXPECT_TRUE(d.ComboBox1->isEnabled());
    EXPECT_EQ(d.Label7->text(), q("提示："));
    EXPECT_EQ(d.Label5->text(), q("没有注册的用户可临时使用访客身份登录。"));
    EXPECT_EQ(d.BitBtn3->text(), q("以访客身份登录"));
    EXPECT_FALSE(d.BitBtn4->isVisible());
    EXPECT_EQ(d.Timer1->interval(), 300);
    EXPECT_EQ(d.Timer2->interval(), 100);
    EXPECT_TRUE(d.Timer2->isActive());
    EXPECT_EQ(d.Edit1->echoMode(), QLineEdit::Password);

    QTest::keyClicks(d.Edit1, QStringLiteral("a b c"));
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("abc"));
    d.ComboBox1->setEditText(QStringLiteral("0"));
    QTest::keyClick(d.Edit1, Qt::Key_Return);
    EXPECT_EQ(h.messages.texts(), QStringList{q("没有此ID 的用户!")}) << "Enter presses 登录";
}

TEST(LoginFormTest, RememberedAccountsFillTheLists)
{
    LoginHarness h;
    zv::platform::writeLines(h.programDirectory + QStringLiteral("inforuserm.ls"), {QStringLiteral("a@b.cn"), QStringLiteral("c@d.cn")});
    zv::platform::writeLines(h.programDirectory + QStringLiteral("inforuserd.ls"), {QStringLiteral("10001")});
    Tlogin_form d(*h.flow);
    d.show();
    EXPECT_EQ(d.ComboBox2->count(), 2);
    EXPECT_EQ(d.ComboBox2->itemText(1), QStringLiteral("c@d.cn"));
    EXPECT_EQ(d.ComboBox1->count(), 1);
    EXPECT_TRUE(d.ComboBox2->currentText().isEmpty());
}

TEST(LoginFormTest, AnOpenDialogTakesRejectionsAndAClosedOneIgnoresThem)
{
    LoginHarness h;
    // Without a dialog a rejected login does nothing.
    h.flow->onLoginReply({{QStringLiteral("s_u_login_reply0.5"), QStringLiteral("pass_word error")}});
    EXPECT_TRUE(h.messages.shown.isEmpty());
    // The points are cleared by every login reply.
    h.form->Label20->setText(QStringLiteral("12"));
    h.flow->onLoginReply({{QStringLiteral("s_u_login_reply0.5"), QStringLiteral("id error")}});
    EXPECT_TRUE(h.form->Label20->text().isEmpty());
}

// --- registration dialog ---------------------------------------------------------------

TEST(RegFormTest, EveryCheckInOrder)
{
    LoginHarness h;
    Treg_form r(*h.flow);
    r.show();
    EXPECT_EQ(r.windowTitle(), q("注册"));
    EXPECT_FALSE(r.Edit8->isVisible());
    EXPECT_FALSE(r.Label21->isVisible());
    EXPECT_FALSE(r.Label30->isVisible());
    EXPECT_FALSE(r.BitBtn4->isVisible());
    EXPECT_EQ(r.ComboBox4->count(), 34);
    EXPECT_EQ(r.ComboBox7->count(), 17);
    EXPECT_EQ(r.ComboBox1->currentText(), QStringLiteral("1900"));
    const FormCase<Treg_form> cases[] = {
        {"nickname", [](Treg_form *f) { f->Edit1->clear(); f->Edit2->clear(); }, "请输入昵称，必填信息不能为空!", "Edit1"},
        {"password", [](Treg_form *f) { f->Edit2->clear(); }, "请输入密码，必填信息不能为空!", "Edit2"},
        {"confirmation", [](Treg_form *f) { f->Edit3->clear(); }, "请输入确认密码，必填信息不能为空!", "Edit3"},
        {"e-mail", [](Treg_form *f) { f->Edit4->clear(); }, "请输入E-mail，必填信息不能为空!", "Edit4"},
        {"province", [](Treg_form *f) { f->ComboBox4->setCurrentIndex(-1); }, "请输入您所在的省份，必填信息不能为空!", "ComboBox4"},
        {"city", [](Treg_form *f) { f->ComboBox5->setEditText({}); }, "请输入您所在的城市或县，必填信息不能为空!", "ComboBox5"},
        {"subject", [](Treg_form *f) { f->ComboBox7->setCurrentIndex(-1); }, "请选择您的学科，必填信息不能为空!", "ComboBox7"},
        {"space in password", [](Treg_form *f) { f->Edit2->setText(QStringLiteral("a b")); f->Edit3->setText(QStringLiteral("a b")); }, "密码不能包含空格(' ')字符!", "Edit2"},
        {"confirmation differs", [](Treg_form *f) { f->Edit3->setText(QStringLiteral("x")); }, "两次输入的密码不一致!", "Edit2"},
        {"dot before @", [](Treg_form *f) { f->Edit4->setText(QStringLiteral("li.wei@x.cn")); }, "Email名称不合法!", "Edit4"},
        {"no dot", [](Treg_form *f) { f->Edit4->setText(QStringLiteral("li@x")); }, "Email名称不合法!", "Edit4"},
        {"no @", [](Treg_form *f) { f->Edit4->setText(QStringLiteral("li.x.cn")); }, "Email名称不合法!", "Edit4"},
        {"valid, but no server", [](Treg_form *) {}, "无法连接服务器!", nullptr, QMessageBox::NoIcon},
    };
    r.timings.connectPolls = 2;
    r.timings.pollMs = 10;
    for (const auto &c : cases) {
        h.messages.clear();
        r.Edit1->setText(q("李老师"));
        r.Edit2->setText(QStringLiteral("pw"));
        r.Edit3->setText(QStringLiteral("pw"));
        r.Edit4->setText(QStringLiteral("li@school.cn"));
        r.ComboBox4->setCurrentIndex(0);
        r.ComboBox5->setEditText(q("东城区"));
        r.ComboBox7->setCurrentIndex(1);
        c.change(&r);
        r.BitBtn1->click();
        expectBox(h, &r, c);
        EXPECT_TRUE(r.BitBtn1->isEnabled()) << c.name;
    }
}

TEST(RegFormTest, ProvinceFillsTheCitiesFromTheRegionList)
{
    LoginHarness h;
    zv::platform::writeLines(h.programDirectory + QStringLiteral("quyu.obj"),
                             {q("北京 东城区"), q("北京 西城区"), q("天津 和平区")});
    Treg_form r(*h.flow);
    r.ComboBox5->setEditText(QStringLiteral("typed"));
    r.ComboBox4->setCurrentIndex(r.ComboBox4->findText(q("北京")));
    EXPECT_EQ(r.ComboBox5->count(), 2);
    EXPECT_EQ(r.ComboBox5->itemText(1), q("西城区"));
    EXPECT_TRUE(r.ComboBox5->currentText().isEmpty());
}

TEST(RegFormTest, SubmitSendsTheRequestWithFixedBirthDate)
{
    Connected c;
    Treg_form r(*c.h.flow);
    r.show();
    r.Edit1->setText(q("李老师"));
    r.Edit2->setText(QStringLiteral("pw"));
    r.Edit3->setText(QStringLiteral("pw"));
    r.Edit4->setText(QStringLiteral("li@school.cn"));
    r.ComboBox4->setCurrentIndex(0);
    r.ComboBox5->setEditText(q("东城区"));
    r.ComboBox7->setCurrentIndex(1);
    r.ComboBox1->setEditText(QStringLiteral("year"));
    r.ComboBox2->setEditText(QStringLiteral("5"));
    r.BitBtn1->click();
    EXPECT_FALSE(r.BitBtn1->isEnabled()) << "stays disabled until a reply arrives";
    EXPECT_EQ(r.ComboBox1->currentText(), QStringLiteral("1900"));
    const auto sent = c.sent(QStringLiteral("U_REGISTER0.5"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].field(1), QStringLiteral("li@school.cn"));
    EXPECT_EQ(sent[0].field(6), QStringLiteral("1900"));
    EXPECT_EQ(sent[0].field(7), QStringLiteral("5"));
    EXPECT_EQ(sent[0].field(15), q("数学"));
    EXPECT_EQ(sent[0].field(18), QStringLiteral("0"));
    EXPECT_TRUE(c.h.messages.shown.isEmpty());
}

// --- feedback dialog -----------------------------------------------------------------

TEST(FeedbackFormTest, ChecksThenSends)
{
    Connected c;
    TForm_feedback f(c.h.form->channel());
    f.show();
    EXPECT_EQ(f.windowTitle(), q("问题反馈"));
    EXPECT_EQ(f.ComboBox1->count(), 6);
    EXPECT_TRUE(f.ComboBox1->currentText().isEmpty()) << "opens on the sixth, empty category";
    const FormCase<TForm_feedback> cases[] = {
        {"text empty", [](TForm_feedback *d) { d->Memo1->clear(); d->ComboBox1->setCurrentIndex(5); }, "请输入反馈内容。", "Memo1", QMessageBox::NoIcon},
        {"category empty", [](TForm_feedback *d) { d->ComboBox1->setCurrentIndex(5); }, "请选择\"反馈类别\"。", "ComboBox1", QMessageBox::NoIcon},
    };
    for (const auto &fc : cases) {
        c.h.messages.clear();
        f.Memo1->setPlainText(QStringLiteral("text"));
        f.ComboBox1->setCurrentIndex(0);
        fc.change(&f);
        f.BitBtn1->click();
        expectBox(c.h, &f, fc);
    }
    EXPECT_TRUE(c.sent(QStringLiteral("U_FEEDBACK0.5")).isEmpty());
    c.h.messages.clear();
    f.Memo1->setPlainText(QStringLiteral("line 1\nline 2"));
    f.ComboBox1->setCurrentIndex(1);
    f.BitBtn1->click();
    EXPECT_EQ(c.h.messages.texts(), QStringList{q("您的反馈已发送成功，谢谢!")});
    EXPECT_FALSE(f.isVisible());
    const auto sent = c.sent(QStringLiteral("U_FEEDBACK0.5"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].fields, (QStringList{QStringLiteral("U_FEEDBACK0.5"), q("提出建议"), QStringLiteral("2"),
                                           QStringLiteral("line 1"), QStringLiteral("line 2")}));
    // Opened again: empty text and empty category; "关闭" sends nothing.
    f.open();
    EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
    EXPECT_EQ(f.ComboBox1->currentIndex(), 5);
    f.Memo1->setPlainText(QStringLiteral("x"));
    f.BitBtn2->click();
    EXPECT_EQ(c.sent(QStringLiteral("U_FEEDBACK0.5")).size(), 1);
}

// --- settings pages ------------------------------------------------------------------

namespace {
struct Pages : Connected {
    Pages()
    {
        ClientState &s = *h.state;
        s.loginState = kLoginUser;
        s.userId = QStringLiteral("10001");
        s.loginPassword = QStringLiteral("old");
        s.profile[kProfileEmail] = QStringLiteral("li@school.cn");
        s.profile[kProfileNickname] = q("李老师");
        s.profile[kProfileProvince] = q("北京");
        s.profile[kProfileCity] = q("东城区");
        s.profile[kProfileSubject] = q("数学");
        s.profile[kProfileGender] = q("男");
        s.profile[kProfileBirthYear] = QStringLiteral("1980");
        s.profile[kProfileBirthMonth] = QStringLiteral("2");
        s.profile[kProfileBirthDay] = QStringLiteral("3");
        s.profile[kProfileDescription] = QStringLiteral("a\r\nb");
        pages = std::make_unique<SettingsPages>(s, h.form->channel(),
                                                SettingsPages::Host{[this] { return autorun; },
                                                                    [this](bool v) { autorun = v; }});
        pages->resize(640, 480);
        pages->show();
    }
    QString settingsPath() const { return h.state->computerFile(QStringLiteral("syslofile.ls")); }
    bool autorun = false;
    std::unique_ptr<SettingsPages> pages;
};
} // namespace

TEST(SettingsPagesTest, SelectingAPageShowsOnlyIt)
{
    Pages p;
    for (int i = 0; i < 4; ++i) {
        p.pages->showPage(i);
        const QList<QGroupBox *> boxes{p.pages->GroupBox1, p.pages->GroupBox2, p.pages->GroupBox3, p.pages->GroupBox4};
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(boxes[j]->isVisible(), i == j) << i << j;
    }
    EXPECT_EQ(p.pages->GroupBox4->title(), q("添加文件类型设置"));
}

TEST(SettingsPagesTest, ProfilePageChecksAndSendsOnlyChanges)
{
    Pages p;
    SettingsPages &s = *p.pages;
    s.showPage(0);
    EXPECT_EQ(s.Edit4->text(), QStringLiteral("10001"));
    EXPECT_TRUE(s.Edit4->isReadOnly());
    EXPECT_EQ(s.ComboBox17->currentText(), q("男"));
    EXPECT_EQ(s.Memo2->toPlainText(), QStringLiteral("a\nb"));
    const FormCase<SettingsPages> cases[] = {
        {"nickname", [](SettingsPages *f) { f->Edit9->clear(); f->ComboBox18->setCurrentIndex(-1); }, "昵称为必须有的信息，不能为空!", "Edit9"},
        {"province", [](SettingsPages *f) { f->ComboBox14->setCurrentIndex(-1); }, "所在地区：省为必须有的信息，不能为空!", "ComboBox14"},
        {"city", [](SettingsPages *f) { f->ComboBox15->setEditText({}); }, "所在地区：市为必须有的信息，不能为空!", "ComboBox15"},
        {"subject", [](SettingsPages *f) { f->ComboBox18->setCurrentIndex(-1); }, "学科为必须有的信息，不能为空!", "ComboBox18"},
        {"no change", [](SettingsPages *) {}, "修改成功!", nullptr, QMessageBox::Information},
    };
    for (const auto &c : cases) {
        p.h.messages.clear();
        s.showPage(0);
        c.change(&s);
        s.BitBtn3->click();
        expectBox(p.h, &s, c);
    }
    EXPECT_TRUE(p.sent(QStringLiteral("U_UPDATEUSERDATE0.5")).isEmpty()) << "nothing changed, nothing sent";

    p.h.messages.clear();
    s.Edit13->setText(QStringLiteral("010-555"));
    s.ComboBox2->setEditText(QStringLiteral("19xx"));
    s.BitBtn3->click();
    EXPECT_EQ(p.h.messages.texts(), QStringList{q("修改成功!")});
    EXPECT_EQ(s.ComboBox2->currentText(), QStringLiteral("1900"));
    const auto sent = p.sent(QStringLiteral("U_UPDATEUSERDATE0.5"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].field(1), QStringLiteral("10001"));
    EXPECT_EQ(sent[0].field(6), QStringLiteral("1900"));
    EXPECT_EQ(sent[0].field(15), QStringLiteral("010-555"));
    EXPECT_EQ(sent[0].field(16), QStringLiteral("2"));
    EXPECT_EQ(p.h.state->profile[kProfileTelephone], QStringLiteral("010-555"));
}

TEST(SettingsPagesTest, ProvinceChangeRefillsTheCities)
{
    Pages p;
    zv::platform::writeLines(p.h.programDirectory + QStringLiteral("quyu.obj"),
                             {q("北京 东城区"), q("北京 西城区"), q("天津 和平区")});
    SettingsPages &s = *p.pages;
    s.showPage(0);
    s.opened();
    EXPECT_EQ(s.ComboBox15->count(), 2);
    EXPECT_EQ(s.ComboBox15->currentText(), q("东城区")) << "opening keeps the city shown";
    s.ComboBox14->setCurrentIndex(s.ComboBox14->findText(q("天津")));
    emit s.ComboBox14->activated(s.ComboBox14->currentIndex());
    EXPECT_EQ(s.ComboBox15->count(), 1);
    EXPECT_TRUE(s.ComboBox15->currentText().isEmpty());
}

TEST(SettingsPagesTest, PasswordPageChecksInOrderAndChanges)
{
    Pages p;
    SettingsPages &s = *p.pages;
    const FormCase<SettingsPages> cases[] = {
        {"old empty", [](SettingsPages *f) { f->Edit11->clear(); f->Edit12->clear(); }, "原密码不能为空!", "Edit11"},
        {"new empty", [](SettingsPages *f) { f->Edit12->clear(); }, "新密码不能为空!", "Edit12"},
        {"repetition empty", [](SettingsPages *f) { f->Edit14->clear(); }, "新密码不能为空!", "Edit14"},
        {"old wrong", [](SettingsPages *f) { f->Edit11->setText(QStringLiteral("x")); }, "原密码不正确!", "Edit11"},
        {"space", [](SettingsPages *f) { f->Edit12->setText(QStringLiteral("n w")); f->Edit14->setText(QStringLiteral("n w")); }, "新密码不能包含空格(' ')字符!", "Edit12"},
        {"differs", [](SettingsPages *f) { f->Edit14->setText(QStringLiteral("other")); }, "两次输入的密码不一致!", "Edit14"},
    };
    for (const auto &c : cases) {
        p.h.messages.clear();
        s.showPage(1);
        EXPECT_TRUE(s.Edit11->text().isEmpty());
        s.Edit11->setText(QStringLiteral("old"));
        s.Edit12->setText(QStringLiteral("new"));
        s.Edit14->setText(QStringLiteral("new"));
        c.change(&s);
        s.BitBtn1->click();
        expectBox(p.h, &s, c);
    }
    EXPECT_TRUE(p.sent(QStringLiteral("U_NEWPASS0.5")).isEmpty());

    // With automatic login ticked, line 3 follows the new password.
    SettingsFile f = SettingsFile::defaults(QStringLiteral("/dl/"));
    f.lines[kSetAutoLogin] = QStringLiteral("true");
    f.lines[kSetLoginKind] = QStringLiteral("ID");
    f.lines[kSetAccount] = QStringLiteral("10001");
    f.lines[kSetPassword] = QStringLiteral("old");
    ASSERT_TRUE(f.save(p.settingsPath()));
    s.showPage(2);
    ASSERT_TRUE(s.CheckBox2->isChecked());
    s.showPage(1);
    p.h.messages.clear();
    s.Edit11->setText(QStringLiteral("old"));
    s.Edit12->setText(QStringLiteral("old"));
    s.Edit14->setText(QStringLiteral("old"));
    s.BitBtn1->click(); // the same password again is accepted
    s.Edit11->setText(QStringLiteral("old"));
    s.Edit12->setText(QStringLiteral("n3w"));
    s.Edit14->setText(QStringLiteral("n3w"));
    s.BitBtn1->click();
    EXPECT_EQ(p.h.messages.texts(), (QStringList{q("密码修改成功!"), q("密码修改成功!")}));
    EXPECT_EQ(p.h.messages.shown.last().icon, QMessageBox::Information);
    const auto sent = p.sent(QStringLiteral("U_NEWPASS0.5"));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[1].fields, (QStringList{QStringLiteral("U_NEWPASS0.5"), QStringLiteral("10001"), QStringLiteral("n3w")}));
    EXPECT_EQ(p.h.state->loginPassword, QStringLiteral("n3w"));
    EXPECT_EQ(SettingsFile::load(p.settingsPath())->lines[kSetPassword], QStringLiteral("n3w"));
    EXPECT_EQ(s.Edit16->text(), QStringLiteral("n3w"));
}

TEST(SettingsPagesTest, UsagePageFillsFromTheSettingsFile)
{
    Pages p;
    SettingsPages &s = *p.pages;
    // No settings file: automatic login off, its controls disabled and empty.
    QFile::remove(p.settingsPath());
    s.showPage(2);
    EXPECT_FALSE(s.CheckBox2->isChecked());
    EXPECT_FALSE(s.Edit15->isEnabled());
    EXPECT_FALSE(s.RadioButton1->isEnabled());
    EXPECT_EQ(s.ComboBox20->currentText(), QStringLiteral("10"));

    SettingsFile f = SettingsFile::defaults(QStringLiteral("/dl/"));
    f.lines[kSetAutoLogin] = QStringLiteral("true");
    f.lines[kSetLoginKind] = QStringLiteral("EMAIL");
    f.lines[kSetAccount] = QStringLiteral("stored@school.cn");
    f.lines[kSetPassword] = QStringLiteral("stored");
    f.lines[kSetAutorun] = QStringLiteral("true");
    ASSERT_TRUE(f.save(p.settingsPath()));
    s.showPage(2);
    EXPECT_TRUE(s.CheckBox2->isChecked());
    EXPECT_TRUE(s.RadioButton2->isChecked());
    EXPECT_EQ(s.Edit15->text(), QStringLiteral("stored@school.cn"));
    EXPECT_EQ(s.Edit16->text(), QStringLiteral("stored"));
    EXPECT_TRUE(s.CheckBox3->isChecked());
    EXPECT_TRUE(p.autorun) << "the autorun flag follows the box on the first visit";

    s.RadioButton1->setChecked(true);
    EXPECT_EQ(s.Edit15->text(), QStringLiteral("10001"));
    s.RadioButton2->setChecked(true);
    EXPECT_EQ(s.Edit15->text(), QStringLiteral("li@school.cn"));
    s.CheckBox2->setChecked(false);
    EXPECT_TRUE(s.Edit15->text().isEmpty());
    EXPECT_TRUE(s.Edit16->text().isEmpty());
    EXPECT_FALSE(s.RadioButton2->isEnabled());
    s.CheckBox2->setChecked(true);
    EXPECT_EQ(s.Edit16->text(), QStringLiteral("old")) << "ticking fills in the login password";
    EXPECT_EQ(s.RadioButton1->text(), q("使用用户ID登录   "));
}

TEST(SettingsPagesTest, UsagePageChecksTheLimitAndWritesAllLines)
{
    Pages p;
    SettingsPages &s = *p.pages;
    s.showPage(2);
    const FormCase<SettingsPages> cases[] = {
        {"zero", [](SettingsPages *f) { f->ComboBox20->setEditText(QStringLiteral("0")); }, "文件最大下载数目限制必须为大于0,小于等于20的正整数!", "ComboBox20"},
        {"21", [](SettingsPages *f) { f->ComboBox20->setEditText(QStringLiteral("21")); }, "文件最大下载数目限制必须为大于0,小于等于20的正整数!", "ComboBox20"},
        {"abc", [](SettingsPages *f) { f->ComboBox20->setEditText(QStringLiteral("abc")); }, "文件最大下载数目限制必须为大于0,小于等于20的正整数!", "ComboBox20"},
        {"20", [](SettingsPages *f) { f->ComboBox20->setEditText(QStringLiteral("20")); }, "修改成功!", nullptr, QMessageBox::Information},
    };
    const QByteArray before = QFile(p.settingsPath()).exists() ? QByteArray() : QByteArray();
    for (const auto &c : cases) {
        p.h.messages.clear();
        c.change(&s);
        s.BitBtn8->click();
        expectBox(p.h, &s, c);
    }
    EXPECT_EQ(p.h.state->maxDownloads, 20);

    // A chosen folder gets its trailing "/"; automatic login switched on.
    zv::ui::setFolderHandler([&](const zv::ui::FolderRequest &r) {
        EXPECT_EQ(r.title, q("请选择默认下载路径!"));
        return p.h.box.path(QStringLiteral("picked"));
    });
    s.BitBtn_open_dialog->click();
    zv::ui::setFolderHandler({});
    s.CheckBox2->setChecked(true);
    s.RadioButton1->setChecked(true);
    s.BitBtn8->click();
    auto lines = zv::platform::readLines(p.settingsPath());
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 7);
    EXPECT_EQ(lines->at(0), QStringLiteral("true"));
    EXPECT_EQ(lines->at(1), QStringLiteral("ID"));
    EXPECT_NE(lines->at(2), QStringLiteral("10001")) << "stored shifted";
    EXPECT_EQ(lines->at(5), QStringLiteral("20"));
    EXPECT_EQ(lines->at(6), p.h.box.path(QStringLiteral("picked/")));
    EXPECT_EQ(p.h.state->downloadFolder, p.h.box.path(QStringLiteral("picked/")));
    const auto decoded = SettingsFile::load(p.settingsPath());
    EXPECT_EQ(decoded->lines[kSetAccount], QStringLiteral("10001"));
    EXPECT_EQ(decoded->lines[kSetPassword], QStringLiteral("old"));

    // Switched off, lines 1 to 3 are written empty.
    s.CheckBox2->setChecked(false);
    s.BitBtn8->click();
    lines = zv::platform::readLines(p.settingsPath());
    EXPECT_EQ(lines->mid(0, 5), (QStringList{QStringLiteral("false"), QString(), QString(), QString(), QStringLiteral("false")}));
}

TEST(SettingsPagesTest, AutorunEntryWrittenOnceAndRemoved)
{
    Pages p;
    SettingsPages &s = *p.pages;
    s.showPage(2);
    ASSERT_FALSE(zv::platform::autostartEnabled());
    s.CheckBox3->setChecked(true);
    s.BitBtn8->click();
    EXPECT_TRUE(zv::platform::autostartEnabled());
    EXPECT_TRUE(p.autorun);
    QFile::remove(zv::platform::autostartEntryPath());
    s.BitBtn8->click();
    EXPECT_FALSE(zv::platform::autostartEnabled()) << "flag and box agree: nothing is written again";
    zv::platform::enableAutostart(QStringLiteral("/x"));
    s.CheckBox3->setChecked(false);
    s.BitBtn8->click();
    EXPECT_FALSE(zv::platform::autostartEnabled());
    EXPECT_FALSE(p.autorun);
    EXPECT_EQ(zv::platform::readLines(p.settingsPath())->at(4), QStringLiteral("false"));
}

TEST(SettingsPagesTest, AutorunThatCannotBeWrittenIsReportedAndUnticked)
{
    Pages p;
    SettingsPages &s = *p.pages;
    // The autostart folder's parent is a file: the entry cannot be written.
    const QString config = p.h.box.path(QStringLiteral("blocked"));
    QFile block(config);
    ASSERT_TRUE(block.open(QIODevice::WriteOnly));
    block.close();
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    s.showPage(2);
    s.CheckBox3->setChecked(true);
    s.BitBtn8->click();
    qputenv("XDG_CONFIG_HOME", p.h.box.path(QStringLiteral(".config")).toUtf8());
    ASSERT_EQ(p.h.messages.shown.size(), 2);
    EXPECT_EQ(p.h.messages.shown[0].text, q("打开注册表失败。"));
    EXPECT_EQ(p.h.messages.shown[0].caption, q("错误"));
    EXPECT_EQ(p.h.messages.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(p.h.messages.shown[1].text, q("修改成功!"));
    EXPECT_FALSE(s.CheckBox3->isChecked());
    EXPECT_FALSE(p.autorun);
    EXPECT_EQ(zv::platform::readLines(p.settingsPath())->at(4), QStringLiteral("false"));
}

TEST(SettingsPagesTest, FileTypesAddAndDelete)
{
    Pages p;
    SettingsPages &s = *p.pages;
    const QString path = p.h.state->computerFile(QStringLiteral("filetype.ls"));
    ASSERT_TRUE(zv::platform::writeLines(path, {QStringLiteral("doc"), QStringLiteral("pdf")}));
    p.h.state->fileTypes = {QStringLiteral("doc"), QStringLiteral("pdf")};
    s.showPage(3);
    EXPECT_EQ(s.ListBox1->count(), 2);
    const FormCase<SettingsPages> cases[] = {
        {"two leading dots", [](SettingsPages *f) { f->Edit19->setText(QStringLiteral("..docx")); }, nullptr, nullptr},
        {"again", [](SettingsPages *f) { f->Edit19->setText(QStringLiteral("docx")); }, "文件类型已存在!", nullptr, QMessageBox::NoIcon},
        {"capitals are another type", [](SettingsPages *f) { f->Edit19->setText(QStringLiteral("DOCX")); }, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        p.h.messages.clear();
        c.change(&s);
        s.BitBtn5->click();
        if (c.message)
            expectBox(p.h, &s, c);
        else
            EXPECT_TRUE(p.h.messages.shown.isEmpty()) << c.name;
    }
    EXPECT_EQ(zv::platform::readLines(path).value(),
              (QStringList{QStringLiteral("doc"), QStringLiteral("pdf"), QStringLiteral("docx"), QStringLiteral("DOCX")}));
    EXPECT_EQ(p.h.state->fileTypes.size(), 4);
    EXPECT_EQ(s.ListBox1->currentItem()->text(), QStringLiteral("DOCX"));
    EXPECT_TRUE(s.Edit19->text().isEmpty());

    s.ListBox1->setCurrentRow(0);
    s.BitBtn6->click();
    EXPECT_EQ(zv::platform::readLines(path).value(),
              (QStringList{QStringLiteral("pdf"), QStringLiteral("docx"), QStringLiteral("DOCX")}));
    EXPECT_FALSE(p.h.state->fileTypes.contains(QStringLiteral("doc")));
    s.ListBox1->clearSelection();
    s.ListBox1->setCurrentRow(-1);
    s.BitBtn6->click();
    EXPECT_EQ(s.ListBox1->count(), 3) << "nothing selected, nothing deleted";
}

// --- welcome panel -------------------------------------------------------------------

TEST(WelcomePanelTest, ThreeForms)
{
    WelcomePanel w;
    w.resize(168, 140);
    w.show();
    w.refresh(QString(), QString(), QString());
    EXPECT_TRUE(w.Label60->isVisible());
    EXPECT_TRUE(w.Label14->isVisible());
    EXPECT_FALSE(w.Image2->isVisible());
    EXPECT_EQ(w.Label13->text(), q("登录"));
    EXPECT_EQ(w.Label13->pos(), QPoint(107, 34));
    EXPECT_EQ(w.Label14->pos(), QPoint(47, 50));

    w.refresh(kLoginGuest, QStringLiteral("ignored"), q("男"));
    EXPECT_EQ(w.Label62->text(), q("访客！"));
    EXPECT_EQ(w.Label2->text(), q("欢迎您，"));
    EXPECT_FALSE(w.Label19->isVisible());
    EXPECT_FALSE(w.Label60->isVisible());
    EXPECT_EQ(w.Label13->text(), q("注销"));
    EXPECT_EQ(w.Label13->pos(), QPoint(10, 92));
    EXPECT_EQ(w.currentPicture(), WelcomePanel::Picture::Neutral);
    EXPECT_EQ(w.Image2->size(), QSize(40, 45));

    const struct {
        const char *gender;
        WelcomePanel::Picture picture;
        QSize size;
    } genders[] = {{"男", WelcomePanel::Picture::Male, {45, 50}},
                   {"女", WelcomePanel::Picture::Female, {45, 50}},
                   {"", WelcomePanel::Picture::Neutral, {40, 45}}};
    for (const auto &g : genders) {
        w.refresh(kLoginUser, q("李老师"), q(g.gender));
        EXPECT_EQ(w.Label62->text(), q("李老师！"));
        EXPECT_TRUE(w.Label19->isVisible());
        EXPECT_EQ(w.Label13->pos(), QPoint(10, 113));
        EXPECT_EQ(w.currentPicture(), g.picture) << g.gender;
        EXPECT_EQ(w.Image2->size(), g.size) << g.gender;
    }
    // The three pictures differ.
    const QImage a = WelcomePanel::drawPicture(WelcomePanel::Picture::Male).toImage();
    const QImage b = WelcomePanel::drawPicture(WelcomePanel::Picture::Female).toImage();
    EXPECT_NE(a, b);
}
