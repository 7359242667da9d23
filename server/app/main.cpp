// zorvan-server: the central server, relay server and search portal.
#include "server/config.h"
#include "server/server.h"
#include "server/serverlog.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvan-server"));
    const auto parsed = zv::server::parseCommandLine(QCoreApplication::arguments());
    if (!parsed.config) {
        std::fputs(parsed.message.toLocal8Bit().constData(), parsed.exitCode ? stderr : stdout);
        return parsed.exitCode;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&app] {
        char c = 0;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        zv::server::logLine("server", QStringLiteral("stopping on signal"));
        app.quit();
    });

    zv::server::Server server(*parsed.config);
    if (!server.start()) {
        zv::server::logLine("server", QStringLiteral("start failed"));
        return 1;
    }
    const int rc = app.exec();
    server.stop();
    zv::server::logLine("server", QStringLiteral("stopped"));
    return rc;
}
