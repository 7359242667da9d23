#include "client/ui/loginform.h"
#include "client/ui/widgetkit.h"

#include "client/core/settingsfiles.h"
#include "client/ui/icons.h"
#include "client/ui/linkerror.h"
#include "client/ui/linklabel.h"
#include "client/ui/mainwindow.h"
#include "client/ui/regform.h"
#include "platform/paths.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace zv::client::ui {

namespace {

const char *kLoginStyle = R"(
#login_form { background: #f5f8fc; }
#Panel_head { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1b5f9e, stop:1 #2a93d8); }
#Label_head { color: white; font-size: 17px; font-weight: bold; }
#Label_headsub { color: #d6ebfb; font-size: 12px; }
#Panel_body { background: white; border: 1px solid #d3dde8; border-radius: 6px; }
#Label5 { color: #5a6a7e; }
#Label7 { color: #8a5a00; }
#Label6 { color: #1f74c4; }
QPushButton { min-height: 26px; padding: 0 14px; }
QComboBox, QLineEdit { min-height: 24px; }
)";

} // namespace

void plainMessage(QWidget *parent, const QString &text)
{
    zv::ui::showMessage({parent, QStringLiteral("Zorvan"), text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok});
}

Tlogin_form::Tlogin_form(LoginFlow &flow, QWidget *parent) : QDialog(parent), flow_(flow)
{
    setObjectName(QStringLiteral("login_form"));
    setWindowTitle(QStringLiteral("Zorvan——登录"));
    setWindowIcon(appIcon());
    setModal(true);
    setStyleSheet(QString::fromUtf8(kLoginStyle));

    auto *head = named(new QWidget(this), "Panel_head");
    head->setAttribute(Qt::WA_StyledBackground);
    head->setFixedHeight(58);
    auto *logo = new QLabel(head);
    logo->setPixmap(logoPixmap(38));
    auto *headTitle = named(new QLabel(QStringLiteral("登录 Zorvan"), head), "Label_head");
    auto *headSub = named(new QLabel(QStringLiteral("教学资源共享平台"), head), "Label_headsub");
    {
        auto *text = new QVBoxLayout;
        text->setSpacing(0);
        text->addWidget(headTitle);
        text->addWidget(headSub);
        auto *l = new QHBoxLayout(head);
        l->setContentsMargins(16, 8, 16, 8);
        l->setSpacing(10);
        l->addWidget(logo);
        l->addLayout(text, 1);
    }

    auto *body = named(new QWidget(this), "Panel_body");
    body->setAttribute(Qt::WA_StyledBackground);
    RadioButton1 = named(new QRadioButton(QStringLiteral("E-mail 登录："), body), "RadioButton1");
    RadioButton2 = named(new QRadioButton(QStringLiteral("用户ID 登录："), body), "RadioButton2");
    ComboBox2 = named(new QComboBox(body), "ComboBox2");
    ComboBox1 = named(new QComboBox(body), "ComboBox1");
    for (QComboBox *box : {ComboBox1, ComboBox2}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumWidth(200);
    }
    auto *passwordLabel = named(new QLabel(QStringLiteral("密    码："), body), "Label3");
    Edit1 = named(new QLineEdit(body), "Edit1");
    Edit1->setEchoMode(QLineEdit::Password);
    CheckBox1 = named(new QCheckBox(QStringLiteral("自动登录"), body), "CheckBox1");
    Label6 = named(new LinkLabel(QStringLiteral("申请注册"), body), "Label6");
    BitBtn1 = named(new QPushButton(QStringLiteral("登录"), body), "BitBtn1");
    BitBtn2 = named(new QPushButton(QStringLiteral("取消"), body), "BitBtn2");
    // Enter in the password box presses "登录".
    BitBtn1->setDefault(true);
    {
        auto *grid = new QGridLayout(body);
        grid->setContentsMargins(18, 16, 18, 14);
        grid->setHorizontalSpacing(10);
        grid->setVerticalSpacing(10);
        grid->addWidget(RadioButton1, 0, 0);
        grid->addWidget(ComboBox2, 0, 1, 1, 2);
        grid->addWidget(RadioButton2, 1, 0);
        grid->addWidget(ComboBox1, 1, 1, 1, 2);
        passwordLabel->setContentsMargins(22, 0, 0, 0);
        grid->addWidget(passwordLabel, 2, 0);
        grid->addWidget(Edit1, 2, 1, 1, 2);
        grid->addWidget(CheckBox1, 3, 1);
        grid->addWidget(Label6, 3, 2, Qt::AlignRight);
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(BitBtn1);
        buttons->addWidget(BitBtn2);
        grid->addLayout(buttons, 4, 0, 1, 3);
        grid->setColumnStretch(1, 1);
    }

    Label5 = named(new QLabel(QStringLiteral("没有注册的用户可临时使用访客身份登录。"), this), "Label5");
    BitBtn3 = named(new QPushButton(QStringLiteral("以访客身份登录"), this), "BitBtn3");
    Label7 = named(new QLabel(QStringLiteral("提示："), this), "Label7");
    Label7->setMinimumWidth(300);

    // Outside the visible area: the rejected-login button and the automatic-login trigger.
    BitBtn4 = named(new QPushButton(this), "BitBtn4");
    BitBtn4->hide();
    Button1 = named(new QPushButton(this), "Button1");
    Button1->hide();
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(300);
    Timer2 = named(new QTimer(this), "Timer2");
    Timer2->setInterval(100);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 10);
    outer->setSpacing(10);
    outer->addWidget(head);
    auto *middle = new QVBoxLayout;
    middle->setContentsMargins(16, 0, 16, 0);
    middle->setSpacing(8);
    middle->addWidget(body);
    auto *guest = new QHBoxLayout;
    guest->addWidget(Label5, 1);
    guest->addWidget(BitBtn3);
    middle->addLayout(guest);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color: #d3dde8;"));
    middle->addWidget(line);
    middle->addWidget(Label7);
    outer->addLayout(middle);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));

    RadioButton1->setChecked(true);
    onKindChanged();
    connect(RadioButton1, &QRadioButton::toggled, this, &Tlogin_form::onKindChanged);
    connect(BitBtn1, &QPushButton::clicked, this, &Tlogin_form::login);
    connect(BitBtn2, &QPushButton::clicked, this, &Tlogin_form::onCancel);
    connect(BitBtn3, &QPushButton::clicked, this, &Tlogin_form::guestLogin);
    connect(BitBtn4, &QPushButton::clicked, this, &Tlogin_form::onErrorButton);
    connect(Label6, &LinkLabel::clicked, this, &Tlogin_form::openRegistration);
    connect(Button1, &QPushButton::clicked, this, [this] { armed_ = true; });
    connect(Timer1, &QTimer::timeout, this, [this] {
        Timer1->stop();
        BitBtn1->click();
    });
    connect(Timer2, &QTimer::timeout, this, [this] {
        // Keeps the dialog in front, but never over a box it opened itself.
        if (isVisible() && QApplication::activeModalWidget() == this && !isActiveWindow())
            activateWindow();
    });
    Edit1->installEventFilter(this);
}

bool Tlogin_form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->text() == QStringLiteral(" "))
        return true; // a typed space is discarded
    return QDialog::eventFilter(watched, event);
}

bool Tlogin_form::byId() const
{
    return RadioButton2->isChecked();
}

void Tlogin_form::onKindChanged()
{
    ComboBox2->setEnabled(!byId());
    ComboBox1->setEnabled(byId());
}

void Tlogin_form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Timer2->start();
    onKindChanged();
    cancelFlag = false;
    const ClientState &state = flow_.state();
    for (auto [box, file] : {std::pair{ComboBox2, "inforuserm.ls"}, std::pair{ComboBox1, "inforuserd.ls"}}) {
        const QString path = state.programFile(QString::fromLatin1(file));
        if (!QFileInfo::exists(path))
            continue;
        const QString text = box->currentText();
        box->clear();
        box->addItems(loadRemembered(path));
        box->setCurrentIndex(-1);
        box->setEditText(text);
    }
    if (armed_) {
        armed_ = false;
        Timer1->start();
    }
}

void Tlogin_form::setControlsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(BitBtn1), static_cast<QWidget *>(BitBtn3),
                       static_cast<QWidget *>(ComboBox1), static_cast<QWidget *>(ComboBox2),
                       static_cast<QWidget *>(Edit1), static_cast<QWidget *>(CheckBox1)})
        w->setEnabled(enabled);
    if (enabled)
        onKindChanged();
}

bool Tlogin_form::connectChannel(bool)
{
    ClientState &state = flow_.state();
    if (state.connectionState != kOffline)
        return true;
    return flow_.form().channel().connectAndWaitForKey([this] { return cancelFlag; });
}

void Tlogin_form::login()
{
    ClientState &state = flow_.state();
    TForm1 &form = flow_.form();
    for (;;) {
        if (const Check refused = checkLoginInput(byId(), ComboBox1->currentText(), ComboBox2->currentText(),
                                                  Edit1->text())) {
            zv::ui::warn(this, refused->message);
            if (auto *w = findChild<QWidget *>(refused->field))
                w->setFocus();
            return;
        }
        setControlsEnabled(false);
        Label7->setText(QStringLiteral("正在连接服务器,请稍候..."));
        if (connectChannel(false))
            break;
        if (form.fallbackFlag()) {
            flow_.showLinkError();
            setControlsEnabled(true);
            Label7->setText(QStringLiteral("提示："));
            return;
        }
        // Once against the fallback host; the channel keeps it from now on.
        form.channel().close();
        form.channel().setServer(state.firstDetectionServer, state.serverTcpPort);
        form.setFallbackFlag(true);
        form.appendLog(QStringLiteral("改用 ") + state.firstDetectionServer);
    }
    state.loginState = kLoginUser;
    Label7->setText(QStringLiteral("正在登录服务器,请稍候..."));
    form.channel().send(loginRequest(byId(), byId() ? ComboBox1->currentText() : ComboBox2->currentText(),
                                     Edit1->text()));
}

void Tlogin_form::guestLogin()
{
    ClientState &state = flow_.state();
    CheckBox1->setChecked(false);
    RadioButton2->setChecked(true);
    ComboBox1->setEditText(QString());
    ComboBox2->setEditText(QString());
    Edit1->clear();
    setControlsEnabled(false);
    Label7->setText(QStringLiteral("正在连接服务器,请稍候..."));
    if (!connectChannel(true)) {
        flow_.showLinkError();
        setControlsEnabled(true);
        Label7->setText(QStringLiteral("提示："));
        return;
    }
    state.loginState = kLoginGuest;
    Label7->setText(QStringLiteral("正在登录服务器,请稍候..."));
    flow_.form().channel().send(guestLoginRequest());
}

void Tlogin_form::openRegistration()
{
    Treg_form *reg = flow_.regDialog();
    if (!reg)
        return;
    // The login dialog stays behind the registration dialog: hiding a modal
    // dialog would end its own modal run.
    Timer2->stop();
    emit flow_.regDialogShown(reg);
    reg->exec();
    if (isVisible())
        Timer2->start();
}

void Tlogin_form::onErrorButton()
{
    setControlsEnabled(true);
    const auto error = [this]() -> std::optional<LoginError> {
        if (errorWord == QStringLiteral("password"))
            return loginError(LoginReply::Outcome::PasswordError);
        if (errorWord == QStringLiteral("e-mail"))
            return loginError(LoginReply::Outcome::EmailError);
        if (errorWord == QStringLiteral("id"))
            return loginError(LoginReply::Outcome::IdError);
        return std::nullopt;
    }();
    if (error) {
        zv::ui::warn(this, error->refusal.message);
        if (auto *w = findChild<QWidget *>(error->refusal.field))
            w->setFocus();
    }
    Label7->clear();
}

void Tlogin_form::onCancel()
{
    cancelFlag = true;
    reject();
}

void Tlogin_form::closeWith(const QString &result)
{
    if (closing_)
        return;
    closing_ = true;
    loginResult = result;
    QTimer::singleShot(0, this, [this] {
        if (loginResult == kLoginOk)
            flow_.completeLogin(*this);
        done(QDialog::Accepted);
    });
}

void Tlogin_form::done(int r)
{
    Timer2->stop();
    Timer1->stop();
    if (loginResult.isEmpty())
        loginResult = kLoginQuit;
    QDialog::done(r);
}

// --- LoginFlow ---------------------------------------------------------------

LoginFlow::LoginFlow(TForm1 &form) : QObject(&form), form_(form), nat_(new LoginNat(form.state(), this))
{
    setObjectName(QStringLiteral("LoginFlow"));
    showLinkError = [this] { form_.linkErrorDialog()->exec(); };
    form_.loginDialogFlow = [this](bool automatic) { runLoginDialog(automatic); };
    connect(&form_.channel(), &ControlChannel::loginReply, this, &LoginFlow::onLoginReply);
    connect(&form_.channel(), &ControlChannel::registerReply, this, &LoginFlow::onRegisterReply);
    connect(&form_, &TForm1::registerRequested, this, &LoginFlow::registerFromMainWindow);
    connect(nat_, &LoginNat::trace, &form_, &TForm1::appendLog);
    connect(nat_, &LoginNat::message, this, [this](const QString &text) {
        zv::ui::warn(login_ ? static_cast<QWidget *>(login_.data()) : &form_, text);
    });
    connect(nat_, &LoginNat::hint, this, [this](const QString &text) {
        if (login_)
            login_->Label7->setText(text);
    });
}

ClientState &LoginFlow::state()
{
    return form_.state();
}

void LoginFlow::runLoginDialog(bool automatic)
{
    ClientState &s = state();
    Tlogin_form login(*this, &form_);
    Treg_form reg(*this, &form_);
    login_ = &login;
    reg_ = &reg;

    const LoginPrefill prefill =
        loginPrefill(s.computerFile(QStringLiteral("syslofile.ls")), platform::defaultDownloadFolder());
    if (prefill.autoLogin) {
        login.CheckBox1->setChecked(true);
        if (prefill.byId) {
            login.RadioButton2->setChecked(true);
            login.ComboBox1->setEditText(prefill.account);
        } else {
            login.RadioButton1->setChecked(true);
            login.ComboBox2->setEditText(prefill.account);
        }
        if (automatic)
            login.Edit1->setText(prefill.password);
    }
    s.maxDownloads = prefill.maxDownloads;
    s.downloadFolder = prefill.downloadFolder;
    if (prefill.autoLogin && automatic)
        login.Button1->click();

    emit loginDialogShown(&login);
    login.exec();
    const QString result = login.loginResult;
    login_ = nullptr;
    reg_ = nullptr;

    if (result == kLoginShutdown)
        form_.close();
    else if (result == kLoginOk)
        form_.nodeStarter().start();
}

void LoginFlow::registerFromMainWindow()
{
    Tlogin_form login(*this, &form_);
    Treg_form reg(*this, &form_);
    login_ = &login;
    reg_ = &reg;
    reg.stage = QStringLiteral("2");
    emit regDialogShown(&reg);
    reg.exec();
    if (reg.stage == QStringLiteral("3")) {
        login.RadioButton2->setChecked(true);
        login.ComboBox1->setEditText(reg.Edit8->text());
        login.Edit1->setText(reg.Edit2->text());
        login.BitBtn1->click();
        emit loginDialogShown(&login);
        if (login.loginResult.isEmpty())
            login.exec();
    }
    const QString result = login.loginResult;
    login_ = nullptr;
    reg_ = nullptr;
    if (result == kLoginShutdown)
        form_.close();
}

void LoginFlow::onLoginReply(const zv::Message &message)
{
    form_.Label20->clear();
    const LoginReply reply = parseLoginReply(message);
    switch (reply.outcome) {
    case LoginReply::Outcome::Ok:
        loginOk(message, 0);
        break;
    case LoginReply::Outcome::UpdateOk:
        if (login_)
            login_->Timer2->stop();
        if (zv::ui::askYesNo(login_ ? static_cast<QWidget *>(login_.data()) : &form_,
                             QStringLiteral("发现新的版本,但当前版本可用,是否更新?")))
            update(reply.target);
        else
            loginOk(message, 1);
        break;
    case LoginReply::Outcome::MustUpdate:
        if (login_)
            login_->Timer2->stop();
        zv::ui::warn(login_ ? static_cast<QWidget *>(login_.data()) : &form_,
                     QStringLiteral("当前版本已不可用,必须更新至最新版本!"));
        update(reply.target);
        break;
    case LoginReply::Outcome::PasswordError:
    case LoginReply::Outcome::EmailError:
    case LoginReply::Outcome::IdError:
        if (login_ && login_->loginResult.isEmpty()) {
            login_->errorWord = loginError(reply.outcome)->word;
            login_->BitBtn4->click();
        }
        break;
    case LoginReply::Outcome::Malformed:
        form_.appendLog(QStringLiteral("登录回复不完整，已丢弃"));
        break;
    case LoginReply::Outcome::Unknown:
        break;
    }
}

void LoginFlow::loginOk(const zv::Message &message, int shift)
{
    ClientState &s = state();
    if (login_ && login_->loginResult.isEmpty()) {
        login_->closeWith(kLoginOk);
        s.loginKind = login_->byId() ? QStringLiteral("ID") : QStringLiteral("EMAIL");
        s.loginPassword = login_->Edit1->text();
    }
    const QHostAddress peer = form_.channel().socket()->peerAddress();
    bool v4 = false;
    const quint32 ip = peer.toIPv4Address(&v4);
    const QString remote = v4 ? QHostAddress(ip).toString() : peer.toString();
    if (!applyLoginOk(s, message, shift, remote)) {
        form_.appendLog(QStringLiteral("登录回复不完整，已丢弃"));
        return;
    }
    form_.refreshWelcomePanel();
}

void LoginFlow::update(const QString &target)
{
    form_.setReallyQuit(true);
    if (login_)
        login_->closeWith(kLoginShutdown);
    form_.setUpdateShutdown(true);
    form_.nodeStarter().stop();
    const QUrl url(target);
    if (url.isValid() && url.scheme().size() > 1)
        zv::ui::shellOpen(url);
    else
        zv::ui::shellOpenPath(target);
}

void LoginFlow::completeLogin(Tlogin_form &dialog)
{
    ClientState &s = state();
    nat_->obtain();
    const bool byId = dialog.byId();
    const QString account = byId ? dialog.ComboBox1->currentText() : dialog.ComboBox2->currentText();
    if (dialog.CheckBox1->isChecked())
        writeAutoLogin(s.computerFile(QStringLiteral("syslofile.ls")), byId, account, dialog.Edit1->text());
    if (byId)
        remember(s.programFile(QStringLiteral("inforuserd.ls")), account, true);
    else
        remember(s.programFile(QStringLiteral("inforuserm.ls")), account, false);
}

void LoginFlow::onRegisterReply(const zv::Message &message)
{
    if (reg_)
        reg_->onReply(message);
}

} // namespace zv::client::ui
