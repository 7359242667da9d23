// Logins and look-ups per second against zorvan-server on loopback, from N
// concurrent clients. Each iteration sends one request on each of the N
// connections and waits for all N replies.
#include "common/framing.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace zv;

namespace {

constexpr int kIndexed = 1000;

class Conn {
public:
    bool open(quint16 port)
    {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket_.waitForConnected(5000))
            return false;
        return waitFor(kSendKeyVerb).has_value();
    }
    void send(const QStringList &fields)
    {
        socket_.write(encodeFrame(fields, splitter_.key()));
        socket_.flush();
    }
    std::optional<Message> waitFor(const QString &verb)
    {
        for (;;) {
            while (auto m = splitter_.next()) {
                if (m->verb() == verb)
                    return m;
            }
            if (!socket_.waitForReadyRead(10000))
                return std::nullopt;
            splitter_.append(socket_.readAll());
        }
    }

private:
    QTcpSocket socket_;
    FrameSplitter splitter_;
};

struct Server {
    QTemporaryDir dir;
    QProcess process;
    quint16 tcp = 0;
    qint64 userId = 0;
    QStringList codes;
    std::unique_ptr<Conn> node; // keeps the indexing computer online

    bool start()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const quint16 base = quint16(20000 + QRandomGenerator::global()->bounded(40000));
            tcp = base;
            // The log goes to a file: a pipe nobody reads would stall the server.
            const QString log = dir.filePath(QStringLiteral("server-%1.log").arg(attempt));
            process.setStandardOutputFile(log);
            process.setStandardErrorFile(log, QIODevice::Append);
            process.start(QString::fromUtf8(ZORVAN_SERVER_EXE),
                          {QStringLiteral("--data-dir"), dir.filePath(QStringLiteral("data")), QStringLiteral("--tcp-port"), QString::number(base),
                           QStringLiteral("--udp-port"), QString::number(base + 2), QStringLiteral("--relay-port"),
                           QString::number(base + 6), QStringLiteral("--http-port"), QString::number(base + 7),
                           QStringLiteral("--max-connections"), QStringLiteral("5000")});
            QByteArray out;
            for (int i = 0; i < 300 && !out.contains("[server] ready") && process.state() != QProcess::NotRunning; ++i) {
                QThread::msleep(50);
                QFile f(log);
                if (f.open(QIODevice::ReadOnly))
                    out = f.readAll();
            }
            if (out.contains("[server] ready"))
                return seed();
            process.kill();
            process.waitForFinished();
        }
        return false;
    }

    bool seed()
    {
        Conn c;
        if (!c.open(tcp))
            return false;
        c.send({QStringLiteral("U_REGISTER0.5"), QStringLiteral("bench@school.cn"), QStringLiteral("bench"), QStringLiteral("pw"),
                {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, QStringLiteral("数学"), {}, {}, QStringLiteral("0")});
        const auto r = c.waitFor(QStringLiteral("s_u_register_reply0.5"));
        if (!r)
            return false;
        userId = r->field(2).toLongLong();
        node = std::make_unique<Conn>();
        if (!node->open(tcp))
            return false;
        node->send({QStringLiteral("CF_LOGIN0.3"), QStringLiteral("1!1!0!0!"), QStringLiteral("127.0.0.1"), QStringLiteral("1")});
        const auto cf = node->waitFor(QStringLiteral("s_cf_login_reply0.5"));
        if (!cf)
            return false;
        QStringList b{QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), cf->field(1), QStringLiteral("3")};
        for (int i = 0; i < kIndexed; ++i) {
            const QString code = QStringLiteral("%1!%2!%3!0!").arg(10000 + i).arg(i * 3).arg(i * 5);
            codes << code;
            b << QStringLiteral("资源%1.doc").arg(i) << QString::number(10000 + i) << code << QStringLiteral("七年级")
              << QString::number(userId) << QStringLiteral("1") << QStringLiteral("试卷") << QStringLiteral("初中")
              << QStringLiteral("数学") << QStringLiteral("方程") << QStringLiteral("人教") << QStringLiteral("三")
              << QStringLiteral("1") << QStringLiteral("1") << QStringLiteral("说明") << QString() << QStringLiteral("4");
        }
        node->send(b);
        return node->waitFor(QStringLiteral("s_c_update_reply0.5")).has_value();
    }

};

Server *g_server = nullptr;

std::vector<std::unique_ptr<Conn>> openClients(int n)
{
    std::vector<std::unique_ptr<Conn>> clients;
    for (int i = 0; i < n; ++i) {
        auto c = std::make_unique<Conn>();
        if (!c->open(g_server->tcp))
            return {};
        clients.push_back(std::move(c));
    }
    return clients;
}

void BM_Logins(benchmark::State &state)
{
    auto clients = openClients(int(state.range(0)));
    if (clients.empty()) {
        state.SkipWithError("cannot connect");
        return;
    }
    const QStringList login{QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(g_server->userId), QStringLiteral("pw")};
    for (auto _ : state) {
        for (auto &c : clients)
            c->send(login);
        for (auto &c : clients) {
            const auto r = c->waitFor(QStringLiteral("s_u_login_reply0.5"));
            if (!r || r->field(1) != u"u_login_ok") {
                state.SkipWithError("login failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LookUps(benchmark::State &state)
{
    auto clients = openClients(int(state.range(0)));
    if (clients.empty()) {
        state.SkipWithError("cannot connect");
        return;
    }
    for (auto &c : clients)
        c->send({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()});
    for (auto &c : clients)
        c->waitFor(QStringLiteral("s_u_login_reply0.5"));
    int next = 0;
    for (auto _ : state) {
        for (auto &c : clients)
            c->send({QStringLiteral("U_SEARCH0.5"), g_server->codes[next++ % kIndexed], QString()});
        for (auto &c : clients) {
            const auto r = c->waitFor(QStringLiteral("s_u_search_reply0.5"));
            if (!r || r->field(1) != u"1") {
                state.SkipWithError("look-up without its source");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Logins)->Arg(1)->Arg(8)->Arg(32)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookUps)->Arg(1)->Arg(8)->Arg(32)->Arg(128)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Server server;
    if (!server.start()) {
        std::fprintf(stderr, "zorvan-server did not start\n");
        return 1;
    }
    g_server = &server;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server.node.reset();
    server.process.terminate();
    server.process.waitForFinished(10000);
    return 0;
}
