#pragma once
// A program directory, shared state and main window with the login flow
// attached, message boxes recorded and answered by script, the serving node
// and the connection error dialog replaced by recorders.
#include "client/core/clientstate.h"
#include "client/ui/loginform.h"
#include "client/ui/mainwindow.h"
#include "platform/ui/dialogs.h"
#include "tests/support/sandbox.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <memory>

namespace zv::test {

// Records every message box; answers with answer (Ok / Yes by default).
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    QList<zv::ui::MessageRequest> shown;
    std::function<QMessageBox::StandardButton(const zv::ui::MessageRequest &)> answer;
    QStringList texts() const;
    bool saw(const QString &text) const { return texts().contains(text); }
    void clear() { shown.clear(); }

private:
    zv::ui::MessageHandler previous_;
};

class LoginHarness {
public:
    explicit LoginHarness(zv::DeployConfig deploy = {}, client::ChannelTimings timings = {});
    ~LoginHarness();

    // A new main window over the same program directory (a restart).
    void recreate();

    Sandbox box;
    QString programDirectory;
    zv::DeployConfig deploy;
    client::ChannelTimings timings;
    std::unique_ptr<client::ClientState> state;
    std::unique_ptr<client::ui::TForm1> form;
    client::ui::LoginFlow *flow = nullptr;
    MessageRecorder messages;
    QStringList nodeSteps;
    int linkErrors = 0;
    // Runs the real node starter instead of the recorder.
    bool realNode = false;
};

// Runs script once the next login (or registration) dialog is running modally.
void whenLoginShown(client::ui::LoginFlow *flow, std::function<void(client::ui::Tlogin_form *)> script);
void whenRegShown(client::ui::LoginFlow *flow, std::function<void(client::ui::Treg_form *)> script);

// The window's component by name.
template <typename T>
T *child(QObject *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

} // namespace zv::test
