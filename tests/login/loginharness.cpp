#include "tests/login/loginharness.h"

#include "client/ui/regform.h"

#include <QDir>
#include <QTimer>

namespace zv::test {

MessageRecorder::MessageRecorder()
{
    previous_ = zv::ui::setMessageHandler([this](const zv::ui::MessageRequest &r) {
        shown.append(r);
        if (answer)
            return answer(r);
        return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
}

MessageRecorder::~MessageRecorder()
{
    zv::ui::setMessageHandler(previous_);
}

QStringList MessageRecorder::texts() const
{
    QStringList list;
    for (const auto &r : shown)
        list << r.text;
    return list;
}

LoginHarness::LoginHarness(zv::DeployConfig deploy_, client::ChannelTimings timings_)
    : programDirectory(QDir::cleanPath(box.path()) + QStringLiteral("/")), deploy(std::move(deploy_)), timings(timings_)
{
    QDir().mkpath(programDirectory + QStringLiteral("computer"));
    qputenv("HOME", box.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (box.path() + QStringLiteral("/.config")).toUtf8());
    recreate();
}

LoginHarness::~LoginHarness()
{
    form.reset();
    state.reset();
}

void LoginHarness::recreate()
{
    form.reset();
    state = std::make_unique<client::ClientState>(programDirectory, deploy);
    client::ui::MainWindowOptions options;
    options.timings = timings;
    options.embedBrowser = false;
    options.backupFolder = box.path() + QStringLiteral("/backup/");
    form = std::make_unique<client::ui::TForm1>(*state, options);
    flow = form->findChild<client::ui::LoginFlow *>();
    if (!flow)
        flow = new client::ui::LoginFlow(*form);
    flow->showLinkError = [this] { ++linkErrors; };
    auto &starter = form->nodeStarter();
    if (!realNode) {
        starter.setTerminator([this] {
            nodeSteps << QStringLiteral("terminate");
            return true;
        });
        starter.setWaiter([this](int ms) { nodeSteps << QStringLiteral("wait %1").arg(ms); });
        starter.setLauncher([this](const QString &program, const QString &) {
            nodeSteps << QStringLiteral("launch ") + program;
            return true;
        });
    }
}

void whenLoginShown(client::ui::LoginFlow *flow, std::function<void(client::ui::Tlogin_form *)> script)
{
    auto *c = new QMetaObject::Connection;
    *c = QObject::connect(flow, &client::ui::LoginFlow::loginDialogShown, flow,
                          [c, script](client::ui::Tlogin_form *dialog) {
                              QObject::disconnect(*c);
                              delete c;
                              QTimer::singleShot(0, dialog, [dialog, script] { script(dialog); });
                          });
}

void whenRegShown(client::ui::LoginFlow *flow, std::function<void(client::ui::Treg_form *)> script)
{
    auto *c = new QMetaObject::Connection;
    *c = QObject::connect(flow, &client::ui::LoginFlow::regDialogShown, flow,
                          [c, script](client::ui::Treg_form *dialog) {
                              QObject::disconnect(*c);
                              delete c;
                              QTimer::singleShot(0, dialog, [dialog, script] { script(dialog); });
                          });
}

} // namespace zv::test
