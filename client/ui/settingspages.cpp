#include "client/ui/settingspages.h"
#include "client/ui/widgetkit.h"

#include "client/core/controlchannel.h"
#include "client/core/regions.h"
#include "client/core/settingsfiles.h"
#include "client/ui/linklabel.h"
#include "platform/autostart.h"
#include "platform/textfile.h"
#include "platform/ui/dialogs.h"

#include <QCheckBox>
#include <QFrame>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <QFileInfo>

namespace zv::client::ui {

namespace {

const char *kPagesStyle = R"(
#SettingsPages QGroupBox { font-size: 13px; font-weight: bold; color: #1b5f9e; border: 1px solid #d3dde8;
  border-radius: 5px; margin-top: 12px; }
#SettingsPages QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
#SettingsPages QGroupBox QLabel, #SettingsPages QGroupBox QCheckBox, #SettingsPages QGroupBox QRadioButton,
#SettingsPages QGroupBox QLineEdit, #SettingsPages QGroupBox QComboBox, #SettingsPages QGroupBox QPushButton,
#SettingsPages QGroupBox QPlainTextEdit, #SettingsPages QGroupBox QListWidget {
  font-size: 12px; font-weight: normal; color: #26364a; }
#SettingsPages QLabel[requiredMark="true"] { color: #d42a2a; font-weight: bold; }
#SettingsPages QLabel[hint="true"] { color: #6b7b8e; }
#SettingsPages #Label58 { color: #1f74c4; }
#SettingsPages QPushButton { min-height: 24px; padding: 0 14px; }
#SettingsPages QLineEdit, #SettingsPages QComboBox { min-height: 22px; }
#SettingsPages QLineEdit[readOnly="true"] { background: #f1f4f8; }
)";

QLabel *requiredMark(QWidget *parent)
{
    auto *m = new QLabel(QStringLiteral("*"), parent);
    m->setProperty("requiredMark", true);
    return m;
}

// Shows text in a combo box: the matching item, else the edit text (or no
// selection for a fixed list).
void setComboText(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    box->setCurrentIndex(index);
    if (box->isEditable())
        box->setEditText(text);
}

QWidget *row(QWidget *parent, std::initializer_list<QWidget *> widgets, std::initializer_list<int> stretches = {})
{
    auto *w = new QWidget(parent);
    auto *l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(4);
    auto stretch = stretches.begin();
    for (QWidget *child : widgets) {
        child->setParent(w);
        l->addWidget(child, stretch != stretches.end() ? *stretch++ : 0);
    }
    return w;
}

} // namespace

SettingsPages::SettingsPages(ClientState &state, ControlChannel &channel, Host host, QWidget *parent)
    : QWidget(parent), state_(state), channel_(channel), host_(std::move(host))
{
    setObjectName(QStringLiteral("SettingsPages"));
    setStyleSheet(QString::fromUtf8(kPagesStyle));
    buildProfilePage();
    buildPasswordPage();
    buildUsagePage();
    buildFileTypePage();
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(14, 8, 14, 14);
    for (QGroupBox *g : {GroupBox1, GroupBox2, GroupBox3, GroupBox4}) {
        l->addWidget(g);
        g->hide();
    }
}

QString SettingsPages::settingsPath() const
{
    return state_.computerFile(QStringLiteral("syslofile.ls"));
}

void SettingsPages::buildProfilePage()
{
    GroupBox1 = named(new QGroupBox(QStringLiteral("个人资料"), this), "GroupBox1");
    QGroupBox *g = GroupBox1;
    Edit4 = named(new QLineEdit(g), "Edit4");
    Edit8 = named(new QLineEdit(g), "Edit8");
    Edit4->setReadOnly(true);
    Edit8->setReadOnly(true);
    Edit9 = named(new QLineEdit(g), "Edit9");
    ComboBox14 = comboBox(g, "ComboBox14", false, provinceList());
    ComboBox15 = comboBox(g, "ComboBox15", true);
    ComboBox16 = comboBox(g, "ComboBox16", true);
    Edit10 = named(new QLineEdit(g), "Edit10");
    ComboBox18 = comboBox(g, "ComboBox18", false, subjectList());
    ComboBox19 = comboBox(g, "ComboBox19", true,
                          {QStringLiteral("教师"), QStringLiteral("班主任"), QStringLiteral("教研组长"),
                           QStringLiteral("年级组长"), QStringLiteral("校长"), QStringLiteral("其他")});
    Edit5 = named(new QLineEdit(g), "Edit5");
    ComboBox17 = comboBox(g, "ComboBox17", false, {QStringLiteral("男"), QStringLiteral("女")});
    Edit7 = named(new QLineEdit(g), "Edit7");
    ComboBox2 = comboBox(g, "ComboBox2", true, numbers(1950, 2007));
    ComboBox12 = comboBox(g, "ComboBox12", true, numbers(1, 12));
    ComboBox13 = comboBox(g, "ComboBox13", true, numbers(1, 31));
    Edit13 = named(new QLineEdit(g), "Edit13");
    Memo2 = named(new QPlainTextEdit(g), "Memo2");
    Memo2->setMinimumHeight(70);
    BitBtn3 = named(new QPushButton(QStringLiteral("修改"), g), "BitBtn3");

    auto *grid = new QGridLayout(g);
    grid->setContentsMargins(14, 18, 14, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(7);
    auto label = [g](const QString &text) { return new QLabel(text, g); };
    auto put = [&](int r, int c, const QString &text, QWidget *w, bool required) {
        grid->addWidget(label(text), r, c, Qt::AlignRight);
        grid->addWidget(w, r, c + 1);
        if (required)
            grid->addWidget(requiredMark(g), r, c + 2);
    };
    put(0, 0, QStringLiteral("用  户ID："), Edit4, false);
    put(0, 3, QStringLiteral("注册邮箱："), Edit8, false);
    put(1, 0, QStringLiteral("昵    称："), Edit9, true);
    put(1, 3, QStringLiteral("姓    名："), Edit5, false);
    grid->addWidget(label(QStringLiteral("所在地区：")), 2, 0, Qt::AlignRight);
    grid->addWidget(row(g, {ComboBox14, label(QStringLiteral("省")), requiredMark(g), ComboBox15,
                            label(QStringLiteral("市")), requiredMark(g), ComboBox16, label(QStringLiteral("区"))},
                        {3, 0, 0, 3, 0, 0, 3, 0}),
                    2, 1, 1, 5);
    put(3, 0, QStringLiteral("学校名称："), Edit10, false);
    put(3, 3, QStringLiteral("性    别："), ComboBox17, false);
    put(4, 0, QStringLiteral("学    科："), ComboBox18, true);
    put(4, 3, QStringLiteral("身份证号："), Edit7, false);
    put(5, 0, QStringLiteral("职    务："), ComboBox19, false);
    grid->addWidget(label(QStringLiteral("出生日期：")), 5, 3, Qt::AlignRight);
    grid->addWidget(row(g, {ComboBox2, label(QStringLiteral("年")), ComboBox12, label(QStringLiteral("月")), ComboBox13,
                            label(QStringLiteral("日"))},
                        {3, 0, 2, 0, 2, 0}),
                    5, 4);
    put(6, 3, QStringLiteral("联系电话："), Edit13, false);
    grid->addWidget(label(QStringLiteral("个人说明：")), 7, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(Memo2, 7, 1, 1, 4);
    auto *note = label(QStringLiteral("注：带*为必须有的信息"));
    note->setProperty("hint", true);
    grid->addWidget(note, 8, 1, 1, 3);
    grid->addWidget(BitBtn3, 8, 4, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    grid->setColumnMinimumWidth(2, 10);
    grid->setRowStretch(7, 1);

    connect(ComboBox14, &QComboBox::activated, this, [this] { fillCities(); });
    connect(BitBtn3, &QPushButton::clicked, this, &SettingsPages::modifyProfile);
}

void SettingsPages::buildPasswordPage()
{
    GroupBox2 = named(new QGroupBox(QStringLiteral("修改密码"), this), "GroupBox2");
    QGroupBox *g = GroupBox2;
    Edit11 = named(new QLineEdit(g), "Edit11");
    Edit12 = named(new QLineEdit(g), "Edit12");
    Edit14 = named(new QLineEdit(g), "Edit14");
    BitBtn1 = named(new QPushButton(QStringLiteral("修改密码"), g), "BitBtn1");
    auto *grid = new QGridLayout(g);
    grid->setContentsMargins(24, 26, 24, 16);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(12);
    int r = 0;
    for (auto [text, edit] : {std::pair{QStringLiteral("请输入原密码  ："), Edit11},
                              std::pair{QStringLiteral("请输入新密码  ："), Edit12},
                              std::pair{QStringLiteral("再次输入新密码："), Edit14}}) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setMinimumWidth(240);
        grid->addWidget(new QLabel(text, g), r, 0, Qt::AlignRight);
        grid->addWidget(edit, r, 1);
        ++r;
    }
    grid->addWidget(BitBtn1, r, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(r + 1, 1);
    connect(BitBtn1, &QPushButton::clicked, this, &SettingsPages::changePassword);
}

void SettingsPages::buildUsagePage()
{
    GroupBox3 = named(new QGroupBox(QStringLiteral("使用设置"), this), "GroupBox3");
    QGroupBox *g = GroupBox3;
    CheckBox2 = named(new QCheckBox(QStringLiteral("自动登录"), g), "CheckBox2");
    RadioButton1 = named(new QRadioButton(QStringLiteral("使用用户ID登录   "), g), "RadioButton1");
    RadioButton2 = named(new QRadioButton(QStringLiteral("使用E-mail 登录"), g), "RadioButton2");
    Edit15 = named(new QLineEdit(g), "Edit15");
    Edit16 = named(new QLineEdit(g), "Edit16");
    Edit16->setEchoMode(QLineEdit::Password);
    CheckBox3 = named(new QCheckBox(QStringLiteral("开机自动运行"), g), "CheckBox3");
    ComboBox20 = comboBox(g, "ComboBox20", true, numbers(1, 20));
    ComboBox20->setMaximumWidth(80);
    Edit17 = named(new QLineEdit(g), "Edit17");
    Edit17->setReadOnly(true);
    BitBtn_open_dialog = named(new QPushButton(QStringLiteral("…"), g), "BitBtn_open_dialog");
    BitBtn_open_dialog->setFixedWidth(36);
    BitBtn_open_dialog->setStyleSheet(QStringLiteral("padding: 0;"));
    Label58 = named(new LinkLabel(QStringLiteral("恢复本地数据库"), g), "Label58");
    BitBtn8 = named(new QPushButton(QStringLiteral("应用"), g), "BitBtn8");

    auto *grid = new QGridLayout(g);
    grid->setContentsMargins(24, 22, 24, 16);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->addWidget(CheckBox2, 0, 0, 1, 3);
    grid->addWidget(row(g, {RadioButton1, RadioButton2}), 1, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("ID/E-mail："), g), 2, 0, Qt::AlignRight);
    grid->addWidget(Edit15, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("密     码："), g), 3, 0, Qt::AlignRight);
    grid->addWidget(Edit16, 3, 1);
    auto *line = new QFrame(g);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color: #d3dde8;"));
    grid->addWidget(line, 4, 0, 1, 3);
    grid->addWidget(CheckBox3, 5, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("最多同时下载文件数："), g), 6, 0, Qt::AlignRight);
    grid->addWidget(row(g, {ComboBox20, new QLabel(QStringLiteral("(1~20)"))}), 6, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("默认文件下载路径  ："), g), 7, 0, Qt::AlignRight);
    grid->addWidget(row(g, {Edit17, BitBtn_open_dialog}, {1, 0}), 7, 1, 1, 2);
    grid->addWidget(Label58, 8, 0, Qt::AlignLeft);
    grid->addWidget(BitBtn8, 8, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(9, 1);
    Edit15->setMinimumWidth(220);

    onAutoLoginToggled(false);
    connect(CheckBox2, &QCheckBox::toggled, this, &SettingsPages::onAutoLoginToggled);
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Edit15->setText(state_.userId);
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Edit15->setText(state_.profile.value(kProfileEmail));
    });
    connect(BitBtn_open_dialog, &QPushButton::clicked, this, &SettingsPages::chooseDownloadFolder);
    connect(BitBtn8, &QPushButton::clicked, this, &SettingsPages::applyUsage);
    connect(Label58, &LinkLabel::clicked, this, &SettingsPages::restoreRequested);
}

void SettingsPages::buildFileTypePage()
{
    GroupBox4 = named(new QGroupBox(QStringLiteral("添加文件类型设置"), this), "GroupBox4");
    QGroupBox *g = GroupBox4;
    ListBox1 = named(new QListWidget(g), "ListBox1");
    Edit19 = named(new QLineEdit(g), "Edit19");
    Edit19->setPlaceholderText(QStringLiteral("扩展名，如 docx"));
    BitBtn5 = named(new QPushButton(QStringLiteral("添加"), g), "BitBtn5");
    BitBtn6 = named(new QPushButton(QStringLiteral("删除"), g), "BitBtn6");
    auto *grid = new QGridLayout(g);
    grid->setContentsMargins(24, 22, 24, 16);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    auto *hint = new QLabel(QStringLiteral("添加到本地资源库的文件只接受以下类型："), g);
    hint->setProperty("hint", true);
    grid->addWidget(hint, 0, 0, 1, 2);
    grid->addWidget(ListBox1, 1, 0, 4, 1);
    grid->addWidget(Edit19, 1, 1);
    grid->addWidget(BitBtn5, 2, 1);
    grid->addWidget(BitBtn6, 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 1);
    ListBox1->setMaximumWidth(260);
    connect(BitBtn5, &QPushButton::clicked, this, &SettingsPages::addFileType);
    connect(BitBtn6, &QPushButton::clicked, this, &SettingsPages::deleteFileType);
}

void SettingsPages::opened()
{
    // The list follows the province shown; the city shown stays.
    const QString city = ComboBox15->currentText();
    fillCities();
    ComboBox15->setEditText(city);
}

void SettingsPages::fillCities()
{
    ComboBox15->clear();
    ComboBox15->addItems(citiesOf(state_.programFile(QStringLiteral("quyu.obj")), ComboBox14->currentText()));
    ComboBox15->setCurrentIndex(-1);
    ComboBox15->setEditText(QString());
}

void SettingsPages::showPage(int index)
{
    const QList<QGroupBox *> pages{GroupBox1, GroupBox2, GroupBox3, GroupBox4};
    if (index < 0 || index >= pages.size())
        return;
    current_ = index;
    for (int i = 0; i < pages.size(); ++i)
        pages[i]->setVisible(i == index);
    switch (index) {
    case 0:
        fillProfile();
        break;
    case 1:
        Edit11->clear();
        Edit12->clear();
        Edit14->clear();
        break;
    case 2:
        fillUsage();
        break;
    case 3:
        fillFileTypes();
        break;
    }
}

void SettingsPages::fillProfile()
{
    const ProfileForm f = profileFormFrom(state_);
    Edit4->setText(f.userId);
    Edit8->setText(f.email);
    Edit9->setText(f.nickname);
    setComboText(ComboBox14, f.province);
    setComboText(ComboBox15, f.city);
    setComboText(ComboBox16, f.district);
    Edit10->setText(f.school);
    setComboText(ComboBox18, f.subject);
    setComboText(ComboBox19, f.duty);
    Edit5->setText(f.fullName);
    setComboText(ComboBox17, f.gender);
    Edit7->setText(f.idCard);
    setComboText(ComboBox2, f.birthYear);
    setComboText(ComboBox12, f.birthMonth);
    setComboText(ComboBox13, f.birthDay);
    Edit13->setText(f.telephone);
    Memo2->setPlainText(f.description);
}

ProfileForm SettingsPages::profileForm() const
{
    ProfileForm f;
    f.userId = Edit4->text();
    f.email = Edit8->text();
    f.nickname = Edit9->text();
    f.province = ComboBox14->currentText();
    f.city = ComboBox15->currentText();
    f.district = ComboBox16->currentText();
    f.school = Edit10->text();
    f.subject = ComboBox18->currentText();
    f.duty = ComboBox19->currentText();
    f.fullName = Edit5->text();
    f.gender = ComboBox17->currentText();
    f.idCard = Edit7->text();
    f.birthYear = ComboBox2->currentText();
    f.birthMonth = ComboBox12->currentText();
    f.birthDay = ComboBox13->currentText();
    f.telephone = Edit13->text();
    f.description = Memo2->toPlainText();
    return f;
}

void SettingsPages::fillUsage()
{
    const auto settings = SettingsFile::load(settingsPath());
    if (settings) {
        if (settings->autoLogin()) {
            CheckBox2->setChecked(true);
            onAutoLoginToggled(true);
            (settings->lines[kSetLoginKind] == QStringLiteral("ID") ? RadioButton1 : RadioButton2)->setChecked(true);
            Edit15->setText(settings->lines[kSetAccount]);
            Edit16->setText(settings->lines[kSetPassword]);
        } else {
            CheckBox2->setChecked(false);
        }
        CheckBox3->setChecked(settings->lines[kSetAutorun] == QStringLiteral("true"));
    } else {
        CheckBox2->setChecked(false);
        onAutoLoginToggled(false);
    }
    ComboBox20->setEditText(QString::number(state_.maxDownloads));
    Edit17->setText(state_.downloadFolder);
    if (host_.setAutorunFlag)
        host_.setAutorunFlag(CheckBox3->isChecked());
}

void SettingsPages::onAutoLoginToggled(bool on)
{
    for (QWidget *w : {static_cast<QWidget *>(RadioButton1), static_cast<QWidget *>(RadioButton2),
                       static_cast<QWidget *>(Edit15), static_cast<QWidget *>(Edit16)})
        w->setEnabled(on);
    if (on) {
        Edit15->setText(RadioButton2->isChecked() ? state_.profile.value(kProfileEmail) : state_.userId);
        Edit16->setText(state_.loginPassword);
    } else {
        Edit15->clear();
        Edit16->clear();
    }
}

void SettingsPages::fillFileTypes()
{
    const QString path = state_.computerFile(QStringLiteral("filetype.ls"));
    if (!QFileInfo::exists(path))
        return;
    ListBox1->clear();
    ListBox1->addItems(platform::readLines(path).value_or(QStringList()));
}

void SettingsPages::focusRefused(const Refusal &refusal)
{
    if (refusal.kind == Refusal::Kind::Warning)
        zv::ui::warn(this, refusal.message);
    else
        zv::ui::showMessage({this, QStringLiteral("Zorvan"), refusal.message, QMessageBox::NoIcon, QMessageBox::Ok,
                             QMessageBox::Ok});
    if (auto *w = findChild<QWidget *>(refusal.field))
        w->setFocus();
}

void SettingsPages::modifyProfile()
{
    ProfileForm f = profileForm();
    if (const Check refused = checkProfile(f))
        return focusRefused(*refused);
    fixBirthDate(f);
    ComboBox2->setEditText(f.birthYear);
    ComboBox12->setEditText(f.birthMonth);
    ComboBox13->setEditText(f.birthDay);
    if (const auto request = applyProfile(state_, f))
        channel_.send(*request);
    zv::ui::inform(this, QStringLiteral("修改成功!"));
}

void SettingsPages::changePassword()
{
    const QString newPassword = Edit12->text();
    if (const Check refused = checkPasswordChange(Edit11->text(), newPassword, Edit14->text(), state_.loginPassword))
        return focusRefused(*refused);
    channel_.send(newPasswordRequest(state_.userId, newPassword));
    zv::ui::inform(this, QStringLiteral("密码修改成功!"));
    if (CheckBox2->isChecked()) {
        SettingsFile s = SettingsFile::load(settingsPath()).value_or(SettingsFile::blank());
        s.lines[kSetPassword] = newPassword;
        s.save(settingsPath());
        Edit16->setText(newPassword);
    }
    state_.loginPassword = newPassword;
}

void SettingsPages::applyUsage()
{
    if (const Check refused = checkDownloadLimit(ComboBox20->currentText()))
        return focusRefused(*refused);
    state_.maxDownloads = ComboBox20->currentText().toInt();

    const bool flag = host_.autorunFlag && host_.autorunFlag();
    switch (autorunAction(flag, CheckBox3->isChecked())) {
    case AutorunAction::Write: {
        const QString program = state_.programDirectory.isEmpty() ? QString() : state_.programFile(QStringLiteral("Zorvan"));
        if (program.isEmpty()) {
            zv::ui::showMessage({this, QStringLiteral("错误"), QStringLiteral("应用程序名称不可以为空。"),
                                 QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
            return;
        }
        if (platform::enableAutostart(program)) {
            if (host_.setAutorunFlag)
                host_.setAutorunFlag(true);
        } else {
            zv::ui::showMessage({this, QStringLiteral("错误"), QStringLiteral("打开注册表失败。"), QMessageBox::Critical,
                                 QMessageBox::Ok, QMessageBox::Ok});
            CheckBox3->setChecked(false);
        }
        break;
    }
    case AutorunAction::Delete:
        platform::disableAutostart(); // errors are ignored
        if (host_.setAutorunFlag)
            host_.setAutorunFlag(false);
        break;
    case AutorunAction::None:
        break;
    }

    UsageForm form;
    form.autoLogin = CheckBox2->isChecked();
    form.byId = RadioButton1->isChecked();
    form.account = Edit15->text();
    form.password = Edit16->text();
    form.autorun = CheckBox3->isChecked();
    form.maxDownloads = ComboBox20->currentText();
    form.folder = Edit17->text();
    const SettingsFile settings = usageSettings(form);
    state_.downloadFolder = settings.lines[kSetDownloadFolder];
    Edit17->setText(state_.downloadFolder);
    settings.save(settingsPath());
    zv::ui::inform(this, QStringLiteral("修改成功!"));
}

void SettingsPages::chooseDownloadFolder()
{
    const QString folder =
        zv::ui::chooseFolder({this, QStringLiteral("请选择默认下载路径!"), Edit17->text()});
    if (!folder.isEmpty() && folder != QStringLiteral("No"))
        Edit17->setText(folder);
}

void SettingsPages::addFileType()
{
    const QString type = fileTypeFromInput(Edit19->text());
    if (!ListBox1->findItems(type, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        zv::ui::showMessage({this, QStringLiteral("Zorvan"), QStringLiteral("文件类型已存在!"), QMessageBox::NoIcon,
                             QMessageBox::Ok, QMessageBox::Ok});
        return;
    }
    ListBox1->addItem(type);
    state_.fileTypes.append(type);
    ListBox1->setCurrentRow(ListBox1->count() - 1);
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i)
        lines << ListBox1->item(i)->text();
    platform::writeLines(state_.computerFile(QStringLiteral("filetype.ls")), lines);
    Edit19->clear();
}

void SettingsPages::deleteFileType()
{
    const int row = ListBox1->currentRow();
    if (row < 0 || !ListBox1->currentItem() || !ListBox1->currentItem()->isSelected())
        return;
    const QString type = ListBox1->item(row)->text();
    state_.fileTypes.removeOne(type);
    delete ListBox1->takeItem(row);
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i)
        lines << ListBox1->item(i)->text();
    platform::writeLines(state_.computerFile(QStringLiteral("filetype.ls")), lines);
}

} // namespace zv::client::ui
