#pragma once
// The login dialog Tlogin_form and the flow around it (LoginFlow): the
// automatic and manual login, guest login, the fallback host, the login and
// registration replies, the server-ordered update, and what follows a
// successful login (NAT type, automatic-login lines, remembered accounts,
// the serving node).
#include "client/core/loginlogic.h"
#include "client/core/loginnat.h"
#include "client/ui/regform.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace zv::client::ui {

class LinkLabel;
class LoginFlow;
class TForm1;
class Treg_form;

// A plain message: no icon, the program's title as caption.
void plainMessage(QWidget *parent, const QString &text);

class Tlogin_form : public QDialog {
    Q_OBJECT
public:
    Tlogin_form(LoginFlow &flow, QWidget *parent = nullptr);

    // "登录", "以访客身份登录", "申请注册": also what the components' clicks run.
    void login();
    void guestLogin();
    void openRegistration();

    // Asks the dialog to close with result once the current handler is done.
    void closeWith(const QString &result);

    // The controls a login disables, enabled again (or not).
    void setControlsEnabled(bool enabled);
    bool byId() const;

    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QComboBox *ComboBox2;
    QComboBox *ComboBox1;
    QLineEdit *Edit1;
    QCheckBox *CheckBox1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;
    QLabel *Label5;
    LinkLabel *Label6;
    QLabel *Label7;
    QPushButton *BitBtn4;
    QPushButton *Button1;
    QTimer *Timer1;
    QTimer *Timer2;

    QString loginResult;
    QString errorWord;
    bool cancelFlag = false;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int r) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onKindChanged();
    void onErrorButton();
    void onCancel();
    bool connectChannel(bool guest);

    LoginFlow &flow_;
    bool armed_ = false;
    bool closing_ = false;
};

// Owned by the main window for the whole run.
class LoginFlow : public QObject {
    Q_OBJECT
public:
    explicit LoginFlow(TForm1 &form);

    TForm1 &form() { return form_; }
    ClientState &state();
    LoginNat &nat() { return *nat_; }

    // The login dialog flow: automatic at start-up, manual from "登录".
    void runLoginDialog(bool automatic);
    // The welcome panel's "注册新用户".
    void registerFromMainWindow();

    // The dialogs while one of the two paths runs them.
    Tlogin_form *loginDialog() const { return login_; }
    Treg_form *regDialog() const { return reg_; }

    // The connection error dialog (tests replace it).
    std::function<void()> showLinkError;

    // Reply handling (connected to the control channel).
    void onLoginReply(const zv::Message &message);
    void onRegisterReply(const zv::Message &message);

    // The close steps of a login dialog that ends with "login_ok".
    void completeLogin(Tlogin_form &dialog);

signals:
    // A dialog is about to run modally (tests script it from here).
    void loginDialogShown(zv::client::ui::Tlogin_form *dialog);
    void regDialogShown(zv::client::ui::Treg_form *dialog);

private:
    void loginOk(const zv::Message &message, int shift);
    void update(const QString &target);

    TForm1 &form_;
    LoginNat *nat_;
    QPointer<Tlogin_form> login_;
    QPointer<Treg_form> reg_;
};

} // namespace zv::client::ui
