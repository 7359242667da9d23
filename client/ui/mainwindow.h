#pragma once
// The main window TForm1: top strip, left-hand panel with the four page
// buttons and the welcome panel, the page area, the hidden diagnostic log and
// the tray icon. The control channel and the node starter belong to it; the
// work they do lives in client/core.
#include "client/core/clientstate.h"
#include "client/core/controlchannel.h"
#include "client/core/nodestarter.h"
#include "common/store/store.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

class QAction;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace zv::client::ui {

class LinkLabel;
class SearchPage;
class SettingsPages;
class WelcomePanel;
class TForm_Link_error;

struct MainWindowOptions {
    ChannelTimings timings;
    // False puts a plain widget where the embedded browser would be (tests).
    bool embedBrowser = true;
    // Where the backup copies go at real exit.
    QString backupFolder;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Runs the create step.
    TForm1(ClientState &state, MainWindowOptions options = {}, QWidget *parent = nullptr);
    ~TForm1() override;

    ClientState &state() { return state_; }
    ControlChannel &channel() { return *channel_; }
    NodeStarter &nodeStarter() { return nodeStarter_; }
    TForm_Link_error *linkErrorDialog() const { return linkError_; }

    // Page codes: 1 library (then 12 downloads or 13 local list), 2 search,
    // 3 settings, 4 welcome panel only.
    void showPage(int code);
    int pageCode() const { return state_.pageCode; }
    SearchPage *searchPage() const { return Panel_search; }
    WelcomePanel *welcomePanel() const { return welcomePanel_; }
    SettingsPages *settingsPages() const { return settingsPages_; }

    void refreshWelcomePanel();
    void appendLog(const QString &line);

    // Keys that stay with the window while the search page is shown; every
    // other key is offered to the browser first.
    static bool staysWithWindow(const QKeyEvent *event);

    bool reallyQuit() const { return reallyQuit_; }
    void setReallyQuit(bool value) { reallyQuit_ = value; }
    bool updateShutdown() const { return updateShutdown_; }
    void setUpdateShutdown(bool value) { updateShutdown_ = value; }
    bool autorunFlag() const { return autorun_; }
    void setAutorunFlag(bool value) { autorun_ = value; }
    bool fallbackFlag() const { return fallback_; }
    void setFallbackFlag(bool value) { fallback_ = value; }

    // The tray menu's two commands.
    void toggleFromTray();
    void quitFromTray();
    bool isInTray() const { return !isVisible(); }

    // The login dialog flow (automatic at start-up), filled in by the login part.
    std::function<void(bool automatic)> loginDialogFlow;
    // The link handed over in needdlfile.ls at start-up, until the link
    // receiver takes it.
    QString pendingLink() const { return pendingLink_; }

    // Components.
    QWidget *Panel_top;
    QLabel *Image_logo;
    QLabel *Label_title;
    QLabel *Label_subtitle;
    LinkLabel *Label_feedback;
    LinkLabel *Label_help;

    QWidget *Panel_left;
    QWidget *Panel_welcome;
    QLabel *Image2;
    QLabel *Image_welcome;
    QLabel *Label_welcome;
    QLabel *Label_hint;
    QLabel *Label2;
    QLabel *Label62;
    QLabel *Label19;
    QLabel *Label20;
    LinkLabel *Label13;
    QLabel *Label60;
    QLabel *Label61;
    LinkLabel *Label14;

    QPushButton *Button_manage;
    QWidget *Panel_tree;
    QTreeWidget *TreeView1;
    QPushButton *Button_search;
    QWidget *Panel_searchinfo;
    QPushButton *Button_settings;
    QWidget *Panel_settingstree;
    QTreeWidget *TreeView2;
    QPushButton *Button_login;
    QWidget *Panel_logininfo;
    QLabel *Label_account;

    QWidget *Panel_pages;
    SearchPage *Panel_search;
    QWidget *Panel_library;
    QWidget *Panel_download;
    QTreeWidget *ListView1;
    QWidget *Panel_local;
    QWidget *Panel_settings;
    QGroupBox *GroupBox1;
    QGroupBox *GroupBox2;
    QGroupBox *GroupBox3;
    QGroupBox *GroupBox4;
    QWidget *Panel_info;
    QLabel *Label_info;

    QPlainTextEdit *Memo1;
    QTimer *Timer1;
    QSystemTrayIcon *TrayIcon1;
    QMenu *PopupMenu1;
    QAction *MenuItem_open;
    QAction *MenuItem_exit;

    store::Database localDatabase;
    store::ResultSet ADODataSet1;

signals:
    // The program ends: the message loop should stop.
    void exitRequested();
    void feedbackRequested();
    void registerRequested();
    // A registered user opened the library for the first time on this computer.
    void firstLibraryUse();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildTopStrip();
    void buildLeftPanel();
    void buildPages();
    void buildTray();
    void createStep();
    void showStep();
    void exitSequence();
    void hideAllPages();
    void showSidePanel(QWidget *panel);
    void placeTopLinks();
    void onLoginLink();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void showSettingsNode(int index);
    void updateAccountInfo();

    ClientState &state_;
    MainWindowOptions options_;
    ControlChannel *channel_;
    NodeStarter nodeStarter_;
    TForm_Link_error *linkError_;
    WelcomePanel *welcomePanel_ = nullptr;
    SettingsPages *settingsPages_ = nullptr;
    QList<QWidget *> sidePanels_;
    QList<QPushButton *> pageButtons_;
    bool reallyQuit_ = false;
    bool updateShutdown_ = false;
    bool autorun_ = false;
    bool fallback_ = false;
    bool shown_ = false;
    bool exited_ = false;
    QString pendingLink_;
    bool forwarding_ = false;
    const QEvent *lastKeyEvent_ = nullptr;
    QPointer<QWidget> lastKeyReceiver_;
};

} // namespace zv::client::ui
