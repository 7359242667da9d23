#pragma once
// The settings area: the four pages chosen in TreeView2 (profile, password,
// usage settings, file types).
#include "client/core/accountsettings.h"
#include "client/core/clientstate.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zv::client {
class ControlChannel;
}

namespace zv::client::ui {

class LinkLabel;

class SettingsPages : public QWidget {
    Q_OBJECT
public:
    // The autorun flag lives in the main window: it starts false every run.
    struct Host {
        std::function<bool()> autorunFlag;
        std::function<void(bool)> setAutorunFlag;
    };

    SettingsPages(ClientState &state, ControlChannel &channel, Host host, QWidget *parent = nullptr);

    // Opening the settings area: fills the profile page's city list for the
    // province it shows.
    void opened();
    // Selecting node index of TreeView2: hides the other pages and fills this one.
    void showPage(int index);
    int currentPage() const { return current_; }

    // The buttons' handlers.
    void modifyProfile();
    void changePassword();
    void applyUsage();
    void addFileType();
    void deleteFileType();
    void chooseDownloadFolder();

    ProfileForm profileForm() const;

    // Profile page.
    QGroupBox *GroupBox1;
    QLineEdit *Edit4;
    QLineEdit *Edit8;
    QLineEdit *Edit9;
    QComboBox *ComboBox14;
    QComboBox *ComboBox15;
    QComboBox *ComboBox16;
    QLineEdit *Edit10;
    QComboBox *ComboBox18;
    QComboBox *ComboBox19;
    QLineEdit *Edit5;
    QComboBox *ComboBox17;
    QLineEdit *Edit7;
    QComboBox *ComboBox2;
    QComboBox *ComboBox12;
    QComboBox *ComboBox13;
    QLineEdit *Edit13;
    QPlainTextEdit *Memo2;
    QPushButton *BitBtn3;
    // Password page.
    QGroupBox *GroupBox2;
    QLineEdit *Edit11;
    QLineEdit *Edit12;
    QLineEdit *Edit14;
    QPushButton *BitBtn1;
    // Usage settings page.
    QGroupBox *GroupBox3;
    QCheckBox *CheckBox2;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QLineEdit *Edit15;
    QLineEdit *Edit16;
    QCheckBox *CheckBox3;
    QComboBox *ComboBox20;
    QLineEdit *Edit17;
    QPushButton *BitBtn_open_dialog;
    LinkLabel *Label58;
    QPushButton *BitBtn8;
    // File type page.
    QGroupBox *GroupBox4;
    QListWidget *ListBox1;
    QLineEdit *Edit19;
    QPushButton *BitBtn5;
    QPushButton *BitBtn6;

signals:
    // "恢复本地数据库" (its action belongs to the maintenance part).
    void restoreRequested();

private:
    void buildProfilePage();
    void buildPasswordPage();
    void buildUsagePage();
    void buildFileTypePage();
    void fillProfile();
    void fillUsage();
    void fillFileTypes();
    void fillCities();
    void onAutoLoginToggled(bool on);
    void focusRefused(const Refusal &refusal);
    QString settingsPath() const;

    ClientState &state_;
    ControlChannel &channel_;
    Host host_;
    int current_ = -1;
};

} // namespace zv::client::ui
