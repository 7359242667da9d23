// Zorvan_C, the serving node: a background program without a visible window.
#include "common/deploy.h"
#include "common/store/store.h"
#include "node/identity.h"
#include "node/natdetection.h"
#include "node/node.h"
#include "node/ui/mainwindow.h"
#include "platform/instancelock.h"
#include "platform/paths.h"
#include "platform/stopwatch.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {
int fail(const QString &text)
{
    std::fprintf(stderr, "Zorvan_C: %s\n", text.toLocal8Bit().constData());
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    // A background program: with no display it runs on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    zv::platform::InstanceLock lock;
    if (!lock.tryLock(zv::platform::instanceTitle(QCoreApplication::applicationFilePath())))
        return 0;

    const QString dir = zv::platform::programDirectory();
    const auto identity = zv::node::loadIdentity(dir + QStringLiteral("pc.dll"));
    if (!identity.identity)
        return fail(identity.error);
    zv::node::ensureFileTypes(dir + QStringLiteral("filetype.ls"));

    QString error;
    const QString libraryPath = dir + QStringLiteral("local.res");
    zv::store::Database db;
    if (!zv::store::createLibrary(libraryPath, &error) || !db.open(libraryPath, &error))
        return fail(QStringLiteral("cannot open %1: %2").arg(libraryPath, error));

    zv::node::NodeSettings settings;
    settings.directory = dir;
    settings.deploy = zv::DeployConfig::load(dir + QStringLiteral("deploy.ini"));

    zv::platform::StopwatchTable stopwatches;
    zv::node::SharedNatProbe nat(stopwatches);
    zv::node::Node node(settings, *identity.identity, db, nat);
    nat.setLog([&node](const QString &line) { node.log().add(line); });
    zv::node::TForm1 window(node);

    QTimer::singleShot(0, &node, [&node] { node.start(); });
    return app.exec();
}
