#include "client/ui/regform.h"
#include "client/ui/widgetkit.h"

#include "client/core/controlchannel.h"
#include "client/core/regions.h"
#include "client/ui/icons.h"
#include "client/ui/loginform.h"
#include "client/ui/mainwindow.h"
#include "platform/ui/dialogs.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zv::client::ui {

namespace {

const char *kRegStyle = R"(
#reg_form { background: #f5f8fc; }
#Panel_fields { background: white; border: 1px solid #d3dde8; border-radius: 6px; }
#Panel_fields QLabel { color: #37465a; }
#Panel_fields QLabel[requiredMark="true"] { color: #d42a2a; font-weight: bold; }
#Label_hint { color: #6b7b8e; }
#Panel_success { background: #eef8ee; border: 1px solid #9fd49f; border-radius: 6px; }
#Label30 { color: #1d7a1d; font-size: 14px; font-weight: bold; }
#Label32, #Label33, #Label34, #Label21 { color: #2d4a2d; }
#Edit8 { font-weight: bold; color: #1b5f9e; }
QPushButton { min-height: 26px; padding: 0 16px; }
QComboBox, QLineEdit { min-height: 22px; }
)";

} // namespace

Treg_form::Treg_form(LoginFlow &flow, QWidget *parent) : QDialog(parent), flow_(flow)
{
    setObjectName(QStringLiteral("reg_form"));
    setWindowTitle(QStringLiteral("注册"));
    setWindowIcon(appIcon());
    setModal(true);
    setStyleSheet(QString::fromUtf8(kRegStyle));

    auto *fields = named(new QWidget(this), "Panel_fields");
    fields->setAttribute(Qt::WA_StyledBackground);
    Edit1 = named(new QLineEdit(fields), "Edit1");
    Edit2 = named(new QLineEdit(fields), "Edit2");
    Edit3 = named(new QLineEdit(fields), "Edit3");
    Edit2->setEchoMode(QLineEdit::Password);
    Edit3->setEchoMode(QLineEdit::Password);
    Edit4 = named(new QLineEdit(fields), "Edit4");
    ComboBox4 = comboBox(fields, "ComboBox4", false, provinceList());
    ComboBox5 = comboBox(fields, "ComboBox5", true);
    ComboBox6 = comboBox(fields, "ComboBox6", true);
    Edit10 = named(new QLineEdit(fields), "Edit10");
    ComboBox7 = comboBox(fields, "ComboBox7", false, subjectList());
    ComboBox8 = comboBox(fields, "ComboBox8", true,
                         {QStringLiteral("教师"), QStringLiteral("班主任"), QStringLiteral("教研组长"),
                          QStringLiteral("年级组长"), QStringLiteral("校长"), QStringLiteral("其他")});
    Edit9 = named(new QLineEdit(fields), "Edit9");
    Edit5 = named(new QLineEdit(fields), "Edit5");
    Edit6 = named(new QLineEdit(fields), "Edit6");
    Edit7 = named(new QLineEdit(fields), "Edit7");
    ComboBox1 = comboBox(fields, "ComboBox1", true, numbers(1950, 2007));
    ComboBox2 = comboBox(fields, "ComboBox2", true, numbers(1, 12));
    ComboBox3 = comboBox(fields, "ComboBox3", true, numbers(1, 31));
    ComboBox1->setEditText(QStringLiteral("1900"));
    ComboBox2->setEditText(QStringLiteral("1"));
    ComboBox3->setEditText(QStringLiteral("1"));
    Edit13 = named(new QLineEdit(fields), "Edit13");
    Memo1 = named(new QPlainTextEdit(fields), "Memo1");
    Memo1->setMinimumHeight(64);

    auto label = [fields](const QString &text) { return new QLabel(text, fields); };
    auto mark = [this, fields] {
        auto *m = new QLabel(QStringLiteral("*"), fields);
        m->setProperty("requiredMark", true);
        requiredMarks_ << m;
        return m;
    };
    auto *grid = new QGridLayout(fields);
    grid->setContentsMargins(16, 14, 16, 14);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    // Left half: account and school; right half: person.
    int row = 0;
    auto leftRow = [&](QLabel *l, QWidget *w, bool required) {
        grid->addWidget(l, row, 0, Qt::AlignRight);
        grid->addWidget(w, row, 1);
        if (required)
            grid->addWidget(mark(), row, 2);
        ++row;
    };
    leftRow(label(QStringLiteral("昵称 ：")), Edit1, true);
    leftRow(label(QStringLiteral("密码 ：")), Edit2, true);
    leftRow(label(QStringLiteral("确认密码：")), Edit3, true);
    {
        auto *email = new QWidget(fields);
        auto *l = new QHBoxLayout(email);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(Edit4, 1);
        l->addWidget(new QLabel(QStringLiteral("（登录用）"), email));
        leftRow(label(QStringLiteral("Email：")), email, true);
    }
    {
        auto *region = new QWidget(fields);
        auto *l = new QHBoxLayout(region);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(4);
        l->addWidget(ComboBox4, 1);
        l->addWidget(new QLabel(QStringLiteral("省"), region));
        auto *m1 = new QLabel(QStringLiteral("*"), region);
        m1->setProperty("requiredMark", true);
        requiredMarks_ << m1;
        l->addWidget(m1);
        leftRow(label(QStringLiteral("所在地区：")), region, false);
        auto *region2 = new QWidget(fields);
        auto *l2 = new QHBoxLayout(region2);
        l2->setContentsMargins(0, 0, 0, 0);
        l2->setSpacing(4);
        l2->addWidget(ComboBox5, 3);
        l2->addWidget(new QLabel(QStringLiteral("市/县"), region2));
        auto *m2 = new QLabel(QStringLiteral("*"), region2);
        m2->setProperty("requiredMark", true);
        requiredMarks_ << m2;
        l2->addWidget(m2);
        l2->addWidget(ComboBox6, 2);
        l2->addWidget(new QLabel(QStringLiteral("区"), region2));
        leftRow(label(QString()), region2, false);
    }
    leftRow(label(QStringLiteral("学校名称：")), Edit10, false);
    leftRow(label(QStringLiteral("学科：")), ComboBox7, true);
    leftRow(label(QStringLiteral("职务：")), ComboBox8, false);
    leftRow(label(QStringLiteral("推荐人Email\n或用户ID：")), Edit9, false);

    row = 0;
    auto rightRow = [&](QLabel *l, QWidget *w) {
        grid->addWidget(l, row, 4, Qt::AlignRight | Qt::AlignTop);
        grid->addWidget(w, row, 5);
        ++row;
    };
    rightRow(label(QStringLiteral("真实姓名：")), Edit5);
    rightRow(label(QStringLiteral("性别 ：")), Edit6);
    rightRow(label(QStringLiteral("身份证号：")), Edit7);
    {
        auto *birth = new QWidget(fields);
        auto *l = new QHBoxLayout(birth);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(3);
        l->addWidget(ComboBox1, 3);
        l->addWidget(new QLabel(QStringLiteral("年"), birth));
        l->addWidget(ComboBox2, 2);
        l->addWidget(new QLabel(QStringLiteral("月"), birth));
        l->addWidget(ComboBox3, 2);
        l->addWidget(new QLabel(QStringLiteral("日"), birth));
        rightRow(label(QStringLiteral("出生日期：")), birth);
    }
    rightRow(label(QStringLiteral("联系电话：")), Edit13);
    grid->addWidget(label(QStringLiteral("个人说明：")), row, 4, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(Memo1, row, 5, 5, 1);
    grid->setColumnMinimumWidth(3, 18);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(5, 1);

    auto *hint = named(new QLabel(QStringLiteral("注：带 * 的为必填信息"), this), "Label_hint");

    auto *success = named(new QWidget(this), "Panel_success");
    success->setAttribute(Qt::WA_StyledBackground);
    Label30 = named(new QLabel(QStringLiteral("恭喜您，已经成功注册！"), success), "Label30");
    Label32 = named(new QLabel(QStringLiteral("请记住可用于登录的信息："), success), "Label32");
    Label33 = named(new QLabel(QStringLiteral("您的E-mail："), success), "Label33");
    Label34 = named(new QLabel(QStringLiteral("您的ID："), success), "Label34");
    Label21 = named(new QLabel(QStringLiteral("您的ID是："), success), "Label21");
    Edit8 = named(new QLineEdit(success), "Edit8");
    Edit8->setReadOnly(true);
    Edit8->setMaximumWidth(140);
    {
        auto *l = new QGridLayout(success);
        l->setContentsMargins(14, 10, 14, 10);
        l->addWidget(Label30, 0, 0, 1, 2);
        l->addWidget(Label32, 1, 0, 1, 2);
        l->addWidget(Label33, 2, 0);
        l->addWidget(Label34, 3, 0);
        auto *id = new QHBoxLayout;
        id->addWidget(Label21);
        id->addWidget(Edit8);
        id->addStretch();
        l->addLayout(id, 2, 1, 2, 1);
        l->setColumnStretch(1, 1);
    }
    success->hide();

    BitBtn1 = named(new QPushButton(QStringLiteral("提交"), this), "BitBtn1");
    BitBtn2 = named(new QPushButton(QStringLiteral("关闭"), this), "BitBtn2");
    BitBtn4 = named(new QPushButton(QStringLiteral("登录"), this), "BitBtn4");
    BitBtn3 = named(new QPushButton(this), "BitBtn3");
    BitBtn3->hide();
    BitBtn1->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(hint);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn4);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 14, 14, 12);
    outer->setSpacing(10);
    outer->addWidget(fields);
    outer->addWidget(success);
    outer->addLayout(buttons);
    resize(660, sizeHint().height());

    connect(ComboBox4, &QComboBox::currentTextChanged, this, &Treg_form::onProvinceChanged);
    connect(BitBtn1, &QPushButton::clicked, this, &Treg_form::submit);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn4, &QPushButton::clicked, this, &Treg_form::loginAfterRegistration);
    connect(BitBtn3, &QPushButton::clicked, this, [this] {
        zv::ui::warn(this, QStringLiteral("此E-mail已经被注册过!"));
        Edit4->setFocus();
        BitBtn1->setEnabled(true);
    });
}

void Treg_form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!Label30->isVisible()) {
        Label21->hide();
        Edit8->hide();
        BitBtn4->hide();
        findChild<QWidget *>(QStringLiteral("Panel_success"))->hide();
    }
}

void Treg_form::onProvinceChanged()
{
    ComboBox5->clear();
    ComboBox5->addItems(citiesOf(flow_.state().programFile(QStringLiteral("quyu.obj")), ComboBox4->currentText()));
    ComboBox5->setCurrentIndex(-1);
    ComboBox5->setEditText(QString());
}

RegistrationForm Treg_form::formValues() const
{
    RegistrationForm f;
    f.nickname = Edit1->text();
    f.password = Edit2->text();
    f.confirmation = Edit3->text();
    f.email = Edit4->text();
    f.province = ComboBox4->currentText();
    f.city = ComboBox5->currentText();
    f.district = ComboBox6->currentText();
    f.school = Edit10->text();
    f.subject = ComboBox7->currentText();
    f.duty = ComboBox8->currentText();
    f.referrer = Edit9->text();
    f.fullName = Edit5->text();
    f.gender = Edit6->text();
    f.idCard = Edit7->text();
    f.birthYear = ComboBox1->currentText();
    f.birthMonth = ComboBox2->currentText();
    f.birthDay = ComboBox3->currentText();
    f.telephone = Edit13->text();
    f.description = Memo1->toPlainText();
    return f;
}

void Treg_form::submit()
{
    RegistrationForm f = formValues();
    if (const Check refused = checkRegistration(f)) {
        zv::ui::warn(this, refused->message);
        if (auto *w = findChild<QWidget *>(refused->field))
            w->setFocus();
        return;
    }
    fixBirthDate(f);
    ComboBox1->setEditText(f.birthYear);
    ComboBox2->setEditText(f.birthMonth);
    ComboBox3->setEditText(f.birthDay);
    BitBtn1->setEnabled(false);
    const QStringList request = registerRequest(f);
    TForm1 &form = flow_.form();
    if (!connectForRegistration(flow_.state(), form.channel(), timings)) {
        plainMessage(this, QStringLiteral("无法连接服务器!"));
        BitBtn1->setEnabled(true);
        return;
    }
    registeredEmail_ = f.email;
    form.channel().send(request);
}

void Treg_form::onReply(const zv::Message &message)
{
    const RegisterReply reply = parseRegisterReply(message);
    switch (reply.outcome) {
    case RegisterReply::Outcome::Registered: {
        ClientState &state = flow_.state();
        Edit8->setText(reply.userId);
        BitBtn2->hide();
        BitBtn4->show();
        BitBtn1->setEnabled(true);
        Label21->show();
        Edit8->show();
        const QHostAddress peer = flow_.form().channel().socket()->peerAddress();
        bool v4 = false;
        const quint32 ip = peer.toIPv4Address(&v4);
        state.firstDetectionServer = v4 ? QHostAddress(ip).toString() : peer.toString();
        state.secondDetectionServer = reply.secondServer;
        Label33->setText(QStringLiteral("您的E-mail：") + Edit4->text());
        Label34->setText(QStringLiteral("您的ID：") + reply.userId);
        findChild<QWidget *>(QStringLiteral("Panel_success"))->show();
        for (QLabel *l : {Label30, Label32, Label33, Label34})
            l->show();
        break;
    }
    case RegisterReply::Outcome::EmailTaken:
        BitBtn3->click();
        break;
    case RegisterReply::Outcome::Unknown:
        break;
    }
}

void Treg_form::loginAfterRegistration()
{
    accept();
    if (stage == QStringLiteral("2")) {
        stage = QStringLiteral("3");
        return;
    }
    Tlogin_form *login = flow_.loginDialog();
    if (!login)
        return;
    login->RadioButton2->setChecked(true);
    login->ComboBox1->setEditText(Edit8->text());
    login->Edit1->setText(Edit2->text());
    login->BitBtn1->click();
    login->show();
}

} // namespace zv::client::ui
