#include "client/ui/mainwindow.h"
#include "client/ui/widgetkit.h"

#include "client/core/settingsfiles.h"
#include "client/ui/icons.h"
#include "client/ui/linkerror.h"
#include "client/ui/linklabel.h"
#include "client/ui/searchpage.h"
#include "client/ui/settingspages.h"
#include "client/ui/welcomepanel.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/shell.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zv::client::ui {

namespace {

constexpr int kClientWidth = 833;
constexpr int kClientHeight = 540;
constexpr int kLeftWidth = 184;
constexpr int kTopHeight = 62;
constexpr int kLogLines = 5000;

const char *kStyle = R"(
#TForm1 { background: #f3f6fa; }
#Panel_top { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1b5f9e, stop:0.6 #2280c8, stop:1 #2a93d8); }
#Label_title { color: white; font-size: 21px; font-weight: bold; }
#Label_subtitle { color: #d6ebfb; font-size: 12px; }
#Label_feedback, #Label_help { color: #eaf5ff; font-size: 12px; }
#Panel_left { background: #e8eef5; border-right: 1px solid #c9d5e2; }
#Panel_welcome { background: white; border: 1px solid #d3dde8; border-radius: 6px; }
#Panel_welcome QLabel { font-size: 12px; color: #37465a; }
#Panel_welcome #Label_hint { color: #8a97a6; }
#Label_welcome { color: #1b5f9e; font-weight: bold; }
#Panel_welcome #Label13, #Panel_welcome #Label14 { color: #1f74c4; }
#Panel_welcome #Label20 { color: #e0761c; font-weight: bold; }
QPushButton[pageButton="true"] {
  text-align: left; padding: 0 12px; height: 34px; font-size: 13px; color: #26364a;
  border: 1px solid #c3cfdc; border-radius: 4px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfeff, stop:1 #e3eaf2);
}
QPushButton[pageButton="true"]:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d6e6f6); }
QPushButton[pageButton="true"]:checked {
  color: white; border-color: #1b5f9e;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b95da, stop:1 #1f6fb2);
}
QPushButton[pageButton="true"]:disabled { color: #9aa6b3; }
QWidget[sidePanel="true"] { background: white; border: 1px solid #d3dde8; border-radius: 4px; }
QWidget[sidePanel="true"] QLabel { color: #4a5a6e; font-size: 12px; border: none; }
QTreeWidget { border: none; font-size: 12px; }
#Panel_pages { background: white; border: 1px solid #d3dde8; }
#Panel_info QLabel { color: #6b7b8e; }
QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfcfe, stop:1 #eaf0f6);
  color: #34475c; font-size: 12px; padding: 4px 6px; border: none; border-right: 1px solid #d3dde8; border-bottom: 1px solid #c9d5e2; }
QMenu { background: white; border: 1px solid #b9c7d6; padding: 4px 0; font-size: 13px; }
QMenu::item { padding: 6px 28px 6px 10px; color: #26364a; }
QMenu::item:selected { background: #2a8fd6; color: white; }
QMenu::icon { padding-left: 8px; }
QMenu::separator { height: 1px; background: #e1e7ef; margin: 4px 8px; }
QGroupBox { font-size: 13px; font-weight: bold; color: #1b5f9e; border: 1px solid #d3dde8; border-radius: 5px; margin-top: 12px; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
)";

QWidget *sidePanel(QWidget *parent, const char *name)
{
    auto *w = named(new QWidget(parent), name);
    w->setProperty("sidePanel", true);
    w->setAttribute(Qt::WA_StyledBackground);
    w->hide();
    return w;
}

QLabel *hintLabel(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

} // namespace

TForm1::TForm1(ClientState &state, MainWindowOptions options, QWidget *parent)
    : QWidget(parent), state_(state), options_(std::move(options)),
      channel_(new ControlChannel(state, options_.timings, this)), nodeStarter_(state.programDirectory),
      linkError_(nullptr)
{
    if (options_.backupFolder.isEmpty())
        options_.backupFolder = platform::backupFolder();
    setObjectName(QStringLiteral("TForm1"));
    channel_->setObjectName(QStringLiteral("ControlChannel"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QString::fromUtf8(kStyle));
    setWindowTitle(QStringLiteral("Zorvan 2009-2-16"));
    setWindowIcon(appIcon());

    Memo1 = named(new QPlainTextEdit(this), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(kLogLines);
    Memo1->hide();
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);

    buildTopStrip();
    buildLeftPanel();
    buildPages();

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 8, 8);
    body->setSpacing(8);
    body->addWidget(Panel_left);
    auto *pagesColumn = new QVBoxLayout;
    pagesColumn->setContentsMargins(0, 8, 0, 0);
    pagesColumn->addWidget(Panel_pages);
    body->addLayout(pagesColumn, 1);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(Panel_top);
    outer->addLayout(body, 1);

    buildTray();
    linkError_ = new TForm_Link_error(this);

    connect(channel_, &ControlChannel::traceLine, this, &TForm1::appendLog);
    connect(channel_, &ControlChannel::pointsReceived, this, [this](const QString &points) { Label20->setText(points); });
    connect(channel_, &ControlChannel::reloginFailed, this, [this] {
        zv::ui::warn(this, QStringLiteral("无法连接服务器!"));
    });
    connect(channel_, &ControlChannel::connectionStateChanged, this, &TForm1::updateAccountInfo);

    createStep();
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
}

void TForm1::buildTopStrip()
{
    Panel_top = named(new QWidget(this), "Panel_top");
    Panel_top->setAttribute(Qt::WA_StyledBackground);
    Panel_top->setFixedHeight(kTopHeight);
    Image_logo = named(new QLabel(Panel_top), "Image_logo");
    Image_logo->setPixmap(logoPixmap(40));
    Image_logo->setGeometry(14, (kTopHeight - 40) / 2, 40, 40);
    Label_title = named(new QLabel(QStringLiteral("Zorvan"), Panel_top), "Label_title");
    Label_title->move(64, 8);
    Label_title->adjustSize();
    Label_subtitle = named(new QLabel(QStringLiteral("教学资源共享平台 · 教师互助，资源共享"), Panel_top), "Label_subtitle");
    Label_subtitle->move(66, 36);
    Label_subtitle->adjustSize();
    Label_feedback = named(new LinkLabel(QStringLiteral("问题反馈"), Panel_top), "Label_feedback");
    Label_help = named(new LinkLabel(QStringLiteral("帮助"), Panel_top), "Label_help");
    Label_feedback->adjustSize();
    Label_help->adjustSize();
    connect(Label_feedback, &LinkLabel::clicked, this, &TForm1::feedbackRequested);
    connect(Label_help, &LinkLabel::clicked, this, [this] {
        zv::ui::shellOpenPath(state_.programFile(QStringLiteral("help/help.mht"))); // failures are ignored
    });
}

void TForm1::buildLeftPanel()
{
    Panel_left = named(new QWidget(this), "Panel_left");
    Panel_left->setAttribute(Qt::WA_StyledBackground);
    Panel_left->setFixedWidth(kLeftWidth);

    // The welcome panel: its labels sit where the login state puts them.
    welcomePanel_ = new WelcomePanel(Panel_left);
    Panel_welcome = welcomePanel_;
    Panel_welcome->setFixedSize(kLeftWidth - 16, 140);
    Image_welcome = welcomePanel_->Image_welcome;
    Label_hint = welcomePanel_->Label_hint;
    Image2 = welcomePanel_->Image2;
    Label_welcome = welcomePanel_->Label_welcome;
    Label2 = welcomePanel_->Label2;
    Label62 = welcomePanel_->Label62;
    Label19 = welcomePanel_->Label19;
    Label20 = welcomePanel_->Label20;
    Label13 = welcomePanel_->Label13;
    Label60 = welcomePanel_->Label60;
    Label61 = welcomePanel_->Label61;
    Label14 = welcomePanel_->Label14;
    connect(Label13, &LinkLabel::clicked, this, &TForm1::onLoginLink);
    connect(Label14, &LinkLabel::clicked, this, &TForm1::registerRequested);

    auto pageButton = [this](const char *name, const QString &text, const QIcon &icon) {
        auto *b = named(new QPushButton(icon, text, Panel_left), name);
        b->setProperty("pageButton", true);
        b->setCheckable(true);
        b->setIconSize(QSize(20, 20));
        b->setFixedHeight(36);
        b->setCursor(Qt::PointingHandCursor);
        pageButtons_.append(b);
        return b;
    };
    Button_manage = pageButton("Button_manage", QStringLiteral("资源管理"), manageIcon());
    Button_search = pageButton("Button_search", QStringLiteral("Zorvan搜索"), searchIcon());
    Button_settings = pageButton("Button_settings", QStringLiteral("使用设置"), settingsIcon());
    Button_login = pageButton("Button_login", QStringLiteral("登录信息"), loginIcon());
    connect(Button_manage, &QPushButton::clicked, this, [this] { showPage(1); });
    connect(Button_search, &QPushButton::clicked, this, [this] { showPage(2); });
    connect(Button_settings, &QPushButton::clicked, this, [this] { showPage(3); });
    connect(Button_login, &QPushButton::clicked, this, [this] { showPage(4); });

    // What each page shows in the left-hand panel, between the buttons.
    Panel_tree = sidePanel(Panel_left, "Panel_tree");
    TreeView1 = named(new QTreeWidget(Panel_tree), "TreeView1");
    TreeView1->setHeaderHidden(true);
    auto *downloading = new QTreeWidgetItem(TreeView1, {QStringLiteral("正在下载")});
    auto *local = new QTreeWidgetItem(TreeView1, {QStringLiteral("本地资源")});
    new QTreeWidgetItem(local, {QStringLiteral("已下资源")});
    new QTreeWidgetItem(local, {QStringLiteral("添加类别向导")});
    downloading->setIcon(0, downloadIcon());
    local->setIcon(0, manageIcon());
    local->setExpanded(true);
    TreeView1->setCurrentItem(downloading);
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this] {
        if (state_.pageCode == 12 || state_.pageCode == 13)
            showPage(1);
    });
    (new QVBoxLayout(Panel_tree))->addWidget(TreeView1);
    Panel_tree->layout()->setContentsMargins(4, 4, 4, 4);

    Panel_searchinfo = sidePanel(Panel_left, "Panel_searchinfo");
    {
        auto *l = new QVBoxLayout(Panel_searchinfo);
        l->setContentsMargins(10, 10, 10, 10);
        l->setSpacing(8);
        l->addWidget(hintLabel(QStringLiteral("在右侧的搜索页中查找其他老师共享的教案、试卷、课件等资源。"), Panel_searchinfo));
        l->addWidget(hintLabel(QStringLiteral("点击资源即可开始下载，下载的文件会自动加入本地资源库。"), Panel_searchinfo));
        l->addStretch();
    }

    Panel_settingstree = sidePanel(Panel_left, "Panel_settingstree");
    TreeView2 = named(new QTreeWidget(Panel_settingstree), "TreeView2");
    TreeView2->setHeaderHidden(true);
    TreeView2->setRootIsDecorated(false);
    for (const QString &text : {QStringLiteral("个人资料"), QStringLiteral("修改密码"), QStringLiteral("使用设置"),
                                QStringLiteral("文件类型设置")})
        new QTreeWidgetItem(TreeView2, {text});
    connect(TreeView2, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item)
            showSettingsNode(TreeView2->indexOfTopLevelItem(item));
    });
    (new QVBoxLayout(Panel_settingstree))->addWidget(TreeView2);
    Panel_settingstree->layout()->setContentsMargins(4, 4, 4, 4);

    Panel_logininfo = sidePanel(Panel_left, "Panel_logininfo");
    Label_account = named(hintLabel(QString(), Panel_logininfo), "Label_account");
    {
        auto *l = new QVBoxLayout(Panel_logininfo);
        l->setContentsMargins(10, 10, 10, 10);
        l->addWidget(Label_account);
        l->addStretch();
    }

    auto *layout = new QVBoxLayout(Panel_left);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(5);
    layout->addWidget(Panel_welcome);
    layout->addSpacing(4);
    sidePanels_ = {Panel_tree, Panel_searchinfo, Panel_settingstree, Panel_logininfo};
    for (int i = 0; i < 4; ++i) {
        layout->addWidget(pageButtons_[i]);
        layout->addWidget(sidePanels_[i], 1);
    }
    layout->addStretch(0);
}

void TForm1::buildPages()
{
    Panel_pages = named(new QWidget(this), "Panel_pages");
    Panel_pages->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(Panel_pages);
    layout->setContentsMargins(1, 1, 1, 1);

    Panel_search = new SearchPage(options_.embedBrowser, Panel_pages);

    Panel_library = named(new QWidget(Panel_pages), "Panel_library");
    Panel_download = named(new QWidget(Panel_library), "Panel_download");
    ListView1 = named(new QTreeWidget(Panel_download), "ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setAlternatingRowColors(true);
    ListView1->setHeaderLabels({QStringLiteral("文件名"), QStringLiteral("状态"), QStringLiteral("速度"),
                                QStringLiteral("进度"), QStringLiteral("已用时间"), QStringLiteral("来源"),
                                QStringLiteral("当前完成/总共")});
    int column = 0;
    for (int width : {170, 50, 64, 76, 70, 66})
        ListView1->header()->resizeSection(column++, width);
    ListView1->header()->setStretchLastSection(true);
    (new QVBoxLayout(Panel_download))->addWidget(ListView1);
    Panel_download->layout()->setContentsMargins(0, 0, 0, 0);
    Panel_local = named(new QWidget(Panel_library), "Panel_local");
    {
        auto *l = new QVBoxLayout(Panel_local);
        auto *empty = new QLabel(QStringLiteral("本地资源库中还没有资源。"), Panel_local);
        empty->setAlignment(Qt::AlignCenter);
        empty->setStyleSheet(QStringLiteral("color: #8a97a6;"));
        l->addWidget(empty);
    }
    {
        auto *l = new QVBoxLayout(Panel_library);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(Panel_download);
        l->addWidget(Panel_local);
    }

    Panel_settings = named(new QWidget(Panel_pages), "Panel_settings");
    settingsPages_ = new SettingsPages(state_, *channel_,
                                       {[this] { return autorun_; }, [this](bool value) { autorun_ = value; }},
                                       Panel_settings);
    {
        auto *l = new QVBoxLayout(Panel_settings);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(settingsPages_);
    }
    GroupBox1 = settingsPages_->GroupBox1;
    GroupBox2 = settingsPages_->GroupBox2;
    GroupBox3 = settingsPages_->GroupBox3;
    GroupBox4 = settingsPages_->GroupBox4;

    Panel_info = named(new QWidget(Panel_pages), "Panel_info");
    {
        auto *l = new QVBoxLayout(Panel_info);
        auto *logo = new QLabel(Panel_info);
        logo->setPixmap(logoPixmap(72));
        logo->setAlignment(Qt::AlignCenter);
        Label_info = named(new QLabel(Panel_info), "Label_info");
        Label_info->setAlignment(Qt::AlignCenter);
        auto *text = Label_info;
        l->addStretch();
        l->addWidget(logo);
        l->addSpacing(12);
        l->addWidget(text);
        l->addStretch();
    }

    for (QWidget *page : {static_cast<QWidget *>(Panel_search), Panel_library, Panel_settings, Panel_info}) {
        layout->addWidget(page);
        page->hide();
    }
}

void TForm1::buildTray()
{
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    MenuItem_open = named(PopupMenu1->addAction(appIcon(), QStringLiteral("打开/隐藏(&O)")), "MenuItem_open");
    PopupMenu1->addSeparator();
    MenuItem_exit = named(PopupMenu1->addAction(exitIcon(), QStringLiteral("退出(&X)")), "MenuItem_exit");
    PopupMenu1->setStyleSheet(QString::fromUtf8(kStyle));
    connect(MenuItem_open, &QAction::triggered, this, &TForm1::toggleFromTray);
    connect(MenuItem_exit, &QAction::triggered, this, &TForm1::quitFromTray);
    TrayIcon1 = named(new QSystemTrayIcon(appIcon(), this), "TrayIcon1");
    TrayIcon1->setToolTip(QStringLiteral("Zorvan"));
    TrayIcon1->setContextMenu(PopupMenu1);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, &TForm1::onTrayActivated);
    TrayIcon1->show();
}

void TForm1::createStep()
{
    ensureEmptyFile(state_.programFile(QStringLiteral("dir.obj")));
    reallyQuit_ = false;
    state_.stopwatches.start(platform::StopwatchTable::kGeneral);
    updateShutdown_ = false;
    state_.pageCode = 0;

    state_.firstDetectionServer = state_.serverHost;
    state_.relayAddress.clear();
    state_.newPort.clear();
    state_.binding.clear();
    state_.searchReply.clear();
    state_.connectionState = kOffline;
    state_.natType = -1;
    state_.runningDownloads = 0;
    state_.loginState.clear();
    state_.connectionKey = -1;
    state_.chunkSize = 1024;

    channel_->setServer(state_.serverAddress, state_.serverTcpPort);
    fallback_ = false;

    state_.fileTypes = loadOrCreateFileTypes(state_.computerFile(QStringLiteral("filetype.ls")));
    const StartupSettings settings =
        loadOrCreateSettings(state_.computerFolder(), platform::defaultDownloadFolder());
    state_.maxDownloads = settings.maxDownloads;
    state_.downloadFolder = settings.downloadFolder;

    resize(kClientWidth, kClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Timer1->start();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        showStep();
    }
}

void TForm1::showStep()
{
    Memo1->hide();
    ensureEmptyFile(state_.programFile(QStringLiteral("web_recorder.set")));
    hideAllPages();

    const QString libraryPath = state_.computerFile(QStringLiteral("local.res"));
    if (QFileInfo::exists(libraryPath)) {
        QString error;
        if (!localDatabase.open(libraryPath, &error)
            || !ADODataSet1.open(localDatabase,
                                 QStringLiteral("select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 )"),
                                 &error))
            appendLog(QStringLiteral("本地数据库打开失败：") + error);
    }

    channel_->startHeartbeat();
    showPage(2);

    const auto settings = SettingsFile::load(state_.computerFile(QStringLiteral("syslofile.ls")));
    if (settings && settings->autoLogin() && loginDialogFlow)
        loginDialogFlow(true);

    if (!updateShutdown_) {
        const QString linkFile = state_.programFile(QStringLiteral("needdlfile.ls"));
        if (QFileInfo::exists(linkFile)) {
            const auto lines = platform::readLines(linkFile);
            QFile::remove(linkFile);
            if (lines && !lines->isEmpty())
                pendingLink_ = lines->first();
        }
        Panel_search->navigate(QUrl(state_.deploy.portalUrl));
    }
    refreshWelcomePanel();
}

void TForm1::hideAllPages()
{
    for (QWidget *page : {static_cast<QWidget *>(Panel_search), Panel_library, Panel_download, Panel_local,
                          Panel_settings, Panel_info})
        page->hide();
}

void TForm1::showSidePanel(QWidget *panel)
{
    for (int i = 0; i < sidePanels_.size(); ++i) {
        sidePanels_[i]->setVisible(sidePanels_[i] == panel);
        pageButtons_[i]->setChecked(sidePanels_[i] == panel);
    }
}

void TForm1::showPage(int code)
{
    switch (code) {
    case 1: {
        hideAllPages();
        showSidePanel(Panel_tree);
        Panel_library->show();
        const bool downloads = TreeView1->currentItem() == TreeView1->topLevelItem(0);
        (downloads ? Panel_download : Panel_local)->show();
        state_.pageCode = downloads ? 12 : 13;
        if (!state_.loginState.isEmpty() && state_.userId != QStringLiteral("0")
            && recordLibraryUser(state_.computerFile(QStringLiteral("useridinfo.ls")), state_.userId))
            emit firstLibraryUse();
        break;
    }
    case 2: {
        const bool again = state_.pageCode == 2 && Panel_search->isVisibleTo(this);
        hideAllPages();
        showSidePanel(Panel_searchinfo);
        Panel_search->show();
        if (again)
            Panel_search->reload();
        state_.pageCode = 2;
        break;
    }
    case 3:
        if (state_.loginState != kLoginUser) {
            Button_settings->setChecked(state_.pageCode == 3);
            return;
        }
        hideAllPages();
        showSidePanel(Panel_settingstree);
        Panel_settings->show();
        if (!TreeView2->currentItem())
            TreeView2->setCurrentItem(TreeView2->topLevelItem(0));
        else
            showSettingsNode(TreeView2->indexOfTopLevelItem(TreeView2->currentItem()));
        settingsPages_->opened();
        state_.pageCode = 3;
        break;
    case 4:
        hideAllPages();
        showSidePanel(Panel_logininfo);
        updateAccountInfo();
        Panel_info->show();
        state_.pageCode = 4;
        break;
    default:
        return;
    }
    if (state_.pageCode == 2)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void TForm1::showSettingsNode(int index)
{
    settingsPages_->showPage(index);
}

void TForm1::updateAccountInfo()
{
    QString text;
    if (state_.loginState.isEmpty())
        text = QStringLiteral("当前状态：未登录");
    else if (state_.loginState == kLoginGuest)
        text = QStringLiteral("当前状态：访客");
    else
        text = QStringLiteral("用户ID：") + state_.userId + QStringLiteral("\n昵称：") + state_.profile.value(kProfileNickname);
    text += QStringLiteral("\n服务器：") + (state_.connectionState == kOnline ? QStringLiteral("已连接") : QStringLiteral("未连接"));
    Label_account->setText(text);
    Label_info->setText(state_.loginState.isEmpty()
                            ? QStringLiteral("登录后即可下载其他老师共享的资源，\n并把自己的资源共享给大家。")
                            : QStringLiteral("您已登录，可以在“Zorvan搜索”中查找资源，\n下载的资源会自动加入本地资源库。"));
}

void TForm1::refreshWelcomePanel()
{
    welcomePanel_->refresh(state_.loginState, state_.profile.value(kProfileNickname),
                           state_.profile.value(kProfileGender));
    Button_settings->setEnabled(state_.loginState == kLoginUser);
    updateAccountInfo();
}

void TForm1::onLoginLink()
{
    if (Label13->text() == QStringLiteral("登录")) {
        if (loginDialogFlow)
            loginDialogFlow(false);
        return;
    }
    channel_->close();
    state_.loginState.clear();
    refreshWelcomePanel();
    hideAllPages();
    showPage(2);
}

void TForm1::appendLog(const QString &line)
{
    Memo1->appendPlainText(line);
}

bool TForm1::staysWithWindow(const QKeyEvent *event)
{
    const int key = event->key();
    return key == Qt::Key_Backspace || key == Qt::Key_Left || key == Qt::Key_Right;
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) || state_.pageCode != 2)
        return QWidget::eventFilter(watched, event);
    QWidget *target = Panel_search->keyTarget();
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!target || !widget || widget->window() != this || !Panel_search->isVisible())
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (forwarding_ || staysWithWindow(key) || widget == Panel_search || Panel_search->isAncestorOf(widget))
        return QWidget::eventFilter(watched, event);
    // A key that its receiver ignored travels on to the receiver's parents;
    // it was offered to the browser already.
    if (event == lastKeyEvent_ && lastKeyReceiver_ && widget != lastKeyReceiver_ && widget->isAncestorOf(lastKeyReceiver_))
        return QWidget::eventFilter(watched, event);
    lastKeyEvent_ = event;
    lastKeyReceiver_ = widget;
    // Offered to the browser first; what it does not take goes on as usual.
    QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                   static_cast<ushort>(key->count()));
    copy.setAccepted(false);
    forwarding_ = true;
    QCoreApplication::sendEvent(target, &copy);
    forwarding_ = false;
    return copy.isAccepted();
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeTopLinks();
}

void TForm1::placeTopLinks()
{
    const int y = 10;
    Label_feedback->move(width() - 93, y);
    Label_help->move(width() - 39, y);
}

void TForm1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Minimised, the window leaves the taskbar and lives in the tray.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                hide();
        });
}

void TForm1::toggleFromTray()
{
    if (!isVisible() || (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    } else {
        hide();
    }
}

void TForm1::quitFromTray()
{
    reallyQuit_ = true;
    if (isVisible())
        close();
    else
        exitSequence();
}

void TForm1::onTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick && (!isVisible() || (windowState() & Qt::WindowMinimized)))
        toggleFromTray();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (!reallyQuit_) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
    exitSequence();
}

void TForm1::exitSequence()
{
    if (exited_)
        return;
    exited_ = true;
    Timer1->stop();
    ADODataSet1.close();
    localDatabase.close();
    state_.searchReply.clear();
    channel_->close();
    channel_->heartbeatTimer()->stop();
    // The backup copies that the database restore reads.
    makeBackupCopies(state_.programDirectory, options_.backupFolder);
    TrayIcon1->hide();
    emit exitRequested();
}

} // namespace zv::client::ui
