// Pictures of the login dialog, the registration dialog after a successful
// registration, the welcome panel for a user and for a guest, and the four
// settings pages, for review: login_screenshots <folder>.
#include "client/ui/feedbackform.h"
#include "client/ui/regform.h"
#include "client/ui/settingspages.h"
#include "client/ui/welcomepanel.h"
#include "platform/textfile.h"
#include "tests/login/loginharness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QDir>
#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

using namespace zv::client;
using namespace zv::client::ui;

namespace {

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

bool save(QWidget *w, const QString &folder, const QString &name)
{
    QApplication::processEvents();
    const QString path = folder + u'/' + name + QStringLiteral(".png");
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

void fillUser(ClientState &s)
{
    s.loginState = kLoginUser;
    s.userId = QStringLiteral("10023");
    s.loginPassword = QStringLiteral("secret");
    s.profile[kProfileEmail] = QStringLiteral("zhang.wei@school.cn");
    s.profile[kProfileNickname] = q("张老师");
    s.profile[kProfileFullName] = q("张伟");
    s.profile[kProfileProvince] = q("江苏");
    s.profile[kProfileCity] = q("南京");
    s.profile[kProfileDistrict] = q("鼓楼区");
    s.profile[kProfileSchool] = q("南京市第一中学");
    s.profile[kProfileDuty] = q("教研组长");
    s.profile[kProfileSubject] = q("数学");
    s.profile[kProfileGender] = q("男");
    s.profile[kProfileBirthYear] = QStringLiteral("1978");
    s.profile[kProfileBirthMonth] = QStringLiteral("5");
    s.profile[kProfileBirthDay] = QStringLiteral("12");
    s.profile[kProfileTelephone] = QStringLiteral("025-8888 6666");
    s.profile[kProfileDescription] = q("高中数学教师，乐于分享教案和试卷。");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFont font(QStringLiteral("Noto Sans CJK SC"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    bool ok = true;

    zv::test::LoginHarness h;
    zv::platform::writeLines(h.programDirectory + QStringLiteral("quyu.obj"),
                             {q("江苏 南京"), q("江苏 苏州"), q("江苏 无锡"), q("北京 海淀区")});
    zv::platform::writeLines(h.programDirectory + QStringLiteral("inforuserm.ls"), {QStringLiteral("zhang.wei@school.cn")});

    {
        Tlogin_form d(*h.flow);
        d.ComboBox2->setEditText(QStringLiteral("zhang.wei@school.cn"));
        d.Edit1->setText(QStringLiteral("secret"));
        d.CheckBox1->setChecked(true);
        d.show();
        ok &= save(&d, folder, QStringLiteral("login-dialog"));
        d.RadioButton2->setChecked(true);
        d.ComboBox1->setEditText(QStringLiteral("10023"));
        d.setControlsEnabled(false);
        d.Label7->setText(q("正在登录服务器,请稍候..."));
        ok &= save(&d, folder, QStringLiteral("login-dialog-busy"));
    }
    {
        Treg_form r(*h.flow);
        r.show();
        ok &= save(&r, folder, QStringLiteral("registration-empty"));
        r.Edit1->setText(q("张老师"));
        r.Edit2->setText(QStringLiteral("secret"));
        r.Edit3->setText(QStringLiteral("secret"));
        r.Edit4->setText(QStringLiteral("zhang.wei@school.cn"));
        r.ComboBox4->setCurrentIndex(r.ComboBox4->findText(q("江苏")));
        r.ComboBox5->setEditText(q("南京"));
        r.ComboBox7->setCurrentIndex(r.ComboBox7->findText(q("数学")));
        r.Edit10->setText(q("南京市第一中学"));
        r.Edit5->setText(q("张伟"));
        r.Edit6->setText(q("男"));
        r.Memo1->setPlainText(q("高中数学教师。"));
        r.onReply({{QStringLiteral("s_u_register_reply0.5"), QStringLiteral("u_register_ok"), QStringLiteral("10023"),
                    QStringLiteral("127.0.0.2")}});
        ok &= save(&r, folder, QStringLiteral("registration-done"));
    }

    TForm1 &form = *h.form;
    form.show();
    QApplication::processEvents();
    form.refreshWelcomePanel();
    ok &= save(&form, folder, QStringLiteral("main-nobody"));
    h.state->loginState = kLoginGuest;
    form.refreshWelcomePanel();
    ok &= save(&form, folder, QStringLiteral("main-guest"));
    fillUser(*h.state);
    form.refreshWelcomePanel();
    form.Label20->setText(QStringLiteral("128"));
    ok &= save(&form, folder, QStringLiteral("main-user"));
    {
        WelcomePanel w;
        w.resize(168, 140);
        w.setStyleSheet(QStringLiteral("#Panel_welcome { background: white; } QLabel { font-size: 12px; }"));
        for (auto [state, gender, name] : {std::tuple{kLoginUser, q("女"), "welcome-user-female"},
                                           std::tuple{kLoginUser, q("男"), "welcome-user-male"},
                                           std::tuple{kLoginGuest, QString(), "welcome-guest"},
                                           std::tuple{QString(), QString(), "welcome-nobody"}}) {
            w.refresh(state, q("李老师"), gender);
            w.Label20->setText(QStringLiteral("36"));
            w.show();
            ok &= save(&w, folder, QString::fromLatin1(name));
        }
    }

    const char *pageNames[] = {"settings-profile", "settings-password", "settings-usage", "settings-filetypes"};
    zv::platform::writeLines(h.state->computerFile(QStringLiteral("filetype.ls")),
                             {QStringLiteral("doc"), QStringLiteral("ppt"), QStringLiteral("pdf"), QStringLiteral("jpg")});
    form.showPage(3);
    for (int i = 0; i < 4; ++i) {
        form.TreeView2->setCurrentItem(form.TreeView2->topLevelItem(i));
        ok &= save(&form, folder, QString::fromLatin1(pageNames[i]));
    }
    {
        TForm_feedback f(form.channel());
        f.show();
        f.Memo1->setPlainText(q("希望增加按教材章节浏览的功能。"));
        f.ComboBox1->setCurrentIndex(1);
        ok &= save(&f, folder, QStringLiteral("feedback"));
    }
    return ok ? 0 : 1;
}
