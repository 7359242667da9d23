#pragma once
// The registration dialog Treg_form.
#include "client/core/registration.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zv::client::ui {

class LoginFlow;

class Treg_form : public QDialog {
    Q_OBJECT
public:
    Treg_form(LoginFlow &flow, QWidget *parent = nullptr);

    // "提交", "登录".
    void submit();
    void loginAfterRegistration();
    // The registration reply.
    void onReply(const zv::Message &message);

    RegistrationForm formValues() const;

    QLineEdit *Edit1;
    QLineEdit *Edit2;
    QLineEdit *Edit3;
    QLineEdit *Edit4;
    QComboBox *ComboBox4;
    QComboBox *ComboBox5;
    QComboBox *ComboBox6;
    QLineEdit *Edit10;
    QComboBox *ComboBox7;
    QComboBox *ComboBox8;
    QLineEdit *Edit9;
    QLineEdit *Edit5;
    QLineEdit *Edit6;
    QLineEdit *Edit7;
    QComboBox *ComboBox1;
    QComboBox *ComboBox2;
    QComboBox *ComboBox3;
    QLineEdit *Edit13;
    QPlainTextEdit *Memo1;
    QLineEdit *Edit8;
    QLabel *Label21;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn4;
    QPushButton *BitBtn3;
    QLabel *Label30;
    QLabel *Label32;
    QLabel *Label33;
    QLabel *Label34;

    // "" at creation, "2" when the main window opened it, "3" after its "登录" then.
    QString stage;
    RegistrationTimings timings;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onProvinceChanged();

    LoginFlow &flow_;
    QList<QLabel *> requiredMarks_;
    QString registeredEmail_;
};

} // namespace zv::client::ui
