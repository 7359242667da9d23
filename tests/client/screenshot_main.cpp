// Renders the main window on its search page and the tray menu to PNG files,
// for looking at the window under a virtual X server
// (scripts/client-screenshot.sh).
#include "client/core/clientstate.h"
#include "client/ui/mainwindow.h"
#include "client/ui/searchpage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool grabScreen(const QRect &area, const QString &path)
{
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return shot.save(path);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const QString portal = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QTemporaryDir program;
    zv::DeployConfig deploy;
    if (!portal.isEmpty())
        deploy.portalUrl = QUrl::fromLocalFile(portal).toString();
    zv::client::ClientState state(program.path(), deploy);
    zv::client::ui::MainWindowOptions options;
    options.backupFolder = program.filePath(QStringLiteral("backup"));
    zv::client::ui::TForm1 form(state, options);
    form.move(40, 30);
    form.show();
    pump(6000); // the browser engine starts and loads the page

    const QRect window = form.frameGeometry();
    bool ok = grabScreen(window, out + QStringLiteral("/client-search.png"));

    form.PopupMenu1->popup(window.topLeft() + QPoint(window.width() - 190, 120));
    pump(800);
    const QRect menu = form.PopupMenu1->geometry();
    ok = grabScreen(menu.adjusted(-40, -30, 40, 30), out + QStringLiteral("/client-traymenu.png")) && ok;
    ok = grabScreen(window.united(menu).adjusted(0, 0, 20, 20), out + QStringLiteral("/client-search-traymenu.png")) && ok;
    form.PopupMenu1->hide();

    // The library page as well, to see the left-hand panel with the tree.
    form.Button_manage->click();
    pump(500);
    ok = grabScreen(window, out + QStringLiteral("/client-library.png")) && ok;
    // A registered user's welcome panel.
    state.loginState = zv::client::kLoginUser;
    state.userId = QStringLiteral("100234");
    state.profile[zv::client::kProfileNickname] = QStringLiteral("王老师");
    state.profile[zv::client::kProfileGender] = QStringLiteral("女");
    form.refreshWelcomePanel();
    form.Label20->setText(QStringLiteral("1260"));
    form.Button_login->click();
    pump(300);
    ok = grabScreen(window, out + QStringLiteral("/client-loggedin.png")) && ok;
    std::printf("%s\n", ok ? "screenshots written" : "screenshot failed");
    return ok ? 0 : 1;
}
