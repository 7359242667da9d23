// The client program Zorvan: one instance per user, the main window, the
// message loop.
#include "client/core/clientstate.h"
#include "client/ui/feedbackform.h"
#include "client/ui/loginform.h"
#include "client/ui/mainwindow.h"
#include "common/deploy.h"
#include "platform/instancelock.h"
#include "platform/paths.h"

#include <QApplication>
#include <QFont>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // The embedded browser's sandbox refuses to run for root.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);

    // One instance: the lock is named after the program file, before the
    // product title is set. A second start ends at once, silently.
    zv::platform::InstanceLock lock;
    if (!lock.tryLock(zv::platform::instanceTitle(QCoreApplication::applicationFilePath())))
        return 0;

    QCoreApplication::setApplicationName(QStringLiteral("Zorvan"));
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font(QStringLiteral("Noto Sans CJK SC"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);

    const QString programDirectory = zv::platform::programDirectory();
    const zv::DeployConfig deploy =
        zv::DeployConfig::load(programDirectory + QStringLiteral("computer/deploy.ini"));
    zv::client::ClientState state(programDirectory, deploy);

    zv::client::ui::TForm1 form(state);
    // The login dialog flow (automatic at the show step, "登录", "注册新用户")
    // and the feedback dialog behind "问题反馈".
    new zv::client::ui::LoginFlow(form);
    auto *feedback = new zv::client::ui::TForm_feedback(form.channel(), &form);
    QObject::connect(&form, &zv::client::ui::TForm1::feedbackRequested, feedback, [feedback] { feedback->exec(); });
    QObject::connect(&form, &zv::client::ui::TForm1::exitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    form.show();
    const int rc = app.exec();
    lock.release();
    return rc;
}
