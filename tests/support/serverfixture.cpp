#include "tests/support/serverfixture.h"

#include "tests/support/sandbox.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QUdpSocket>

#include <csignal>

#ifndef ZORVAN_SERVER_EXE
#define ZORVAN_SERVER_EXE ""
#endif

namespace zv::test {

ServerFixture::ServerFixture() = default;

ServerFixture::~ServerFixture()
{
    if (running()) {
        stop();
    }
}

static bool tcpFree(const QHostAddress &a, quint16 port)
{
    QTcpServer s;
    return s.listen(a, port);
}

static bool udpFree(const QHostAddress &a, quint16 port)
{
    QUdpSocket s;
    return s.bind(a, port);
}

bool ServerFixture::pickPorts()
{
    const QHostAddress a(QStringLiteral("127.0.0.1"));
    const QHostAddress b(QStringLiteral("127.0.0.2"));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 base = quint16(20000 + QRandomGenerator::global()->bounded(40000));
        const quint16 tcp = base, udp = quint16(base + 2), relay = quint16(base + 6), http = quint16(base + 7);
        if (tcpFree(a, tcp) && udpFree(a, udp) && udpFree(a, udp + 1) && udpFree(b, udp + 1) && udpFree(b, udp + 2)
            && tcpFree(a, relay) && tcpFree(a, http)) {
            tcp_ = tcp;
            udp_ = udp;
            relay_ = relay;
            http_ = http;
            return true;
        }
    }
    return false;
}

bool ServerFixture::start(const QStringList &extraArgs)
{
    extra_ = extraArgs;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!pickPorts())
            return false;
        if (launch())
            return true;
    }
    return false;
}

bool ServerFixture::launch()
{
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.contains(QStringLiteral("ASAN_OPTIONS"))) {
        // A small quarantine keeps the resident size meaningful for the
        // memory-bound checks under the sanitizer.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":quarantine_size_mb=16"));
    }
    process_->setProcessEnvironment(env);
    QStringList args{QStringLiteral("--data-dir"), dir_.path() + QStringLiteral("/data"),
                     QStringLiteral("--address"), address(), QStringLiteral("--alt-address"), altAddress(),
                     QStringLiteral("--tcp-port"), QString::number(tcp_), QStringLiteral("--udp-port"), QString::number(udp_),
                     QStringLiteral("--relay-port"), QString::number(relay_), QStringLiteral("--http-port"), QString::number(http_)};
    args += extra_;
    const qsizetype mark = out_.size();
    process_->start(QString::fromUtf8(ZORVAN_SERVER_EXE), args);
    if (!process_->waitForStarted(10000))
        return false;
    const bool ready = waitFor([&] {
        out_ += process_->readAll();
        return out_.indexOf("[server] ready", mark) >= 0 || process_->state() == QProcess::NotRunning;
    }, 30000);
    out_ += process_->readAll();
    if (ready && process_->state() == QProcess::Running && out_.indexOf("[server] ready", mark) >= 0)
        return true;
    process_->kill();
    process_->waitForFinished(5000);
    return false;
}

bool ServerFixture::stop()
{
    if (!process_)
        return false;
    bool clean = false;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        waitFor([&] { return process_->state() == QProcess::NotRunning; }, 15000);
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(5000);
        } else {
            clean = process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
        }
    }
    out_ += process_->readAll();
    return clean;
}

bool ServerFixture::restart()
{
    stop();
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (launch())
            return true;
        waitFor([] { return false; }, 250); // ports still in TIME_WAIT
    }
    return false;
}

bool ServerFixture::running() const
{
    return process_ && process_->state() == QProcess::Running;
}

qint64 ServerFixture::pid() const
{
    return process_ ? process_->processId() : -1;
}

qint64 ServerFixture::rssKiB() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString ServerFixture::output()
{
    if (process_)
        out_ += process_->readAll();
    return QString::fromUtf8(out_);
}

FrameClient::FrameClient() : socket_(std::make_unique<QTcpSocket>()) {}

FrameClient::~FrameClient() = default;

bool FrameClient::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    socket_->connectToHost(host, port);
    if (!socket_->waitForConnected(timeoutMs))
        return false;
    return waitFor(kSendKeyVerb, timeoutMs).has_value();
}

bool FrameClient::connected() const
{
    return socket_->state() == QAbstractSocket::ConnectedState;
}

void FrameClient::send(const QStringList &fields)
{
    sendRaw(encodeFrame(fields, key_));
}

void FrameClient::sendRaw(const QByteArray &bytes)
{
    socket_->write(bytes);
    socket_->flush();
}

void FrameClient::pump()
{
    const QByteArray bytes = socket_->readAll();
    if (bytes.isEmpty())
        return;
    if (rawMode_) {
        raw_ += bytes;
        return;
    }
    splitter_.append(bytes);
    while (auto m = splitter_.next()) {
        if (m->verb() == kSendKeyVerb) {
            if (const auto k = parseInt32(m->field(1)))
                key_ = *k;
        }
        queue_.append(*m);
    }
}

std::optional<Message> FrameClient::waitFor(const QString &verb, int timeoutMs)
{
    std::optional<Message> found;
    zv::test::waitFor([&] {
        pump();
        for (qsizetype i = 0; i < queue_.size(); ++i) {
            if (queue_[i].verb() == verb) {
                found = queue_.takeAt(i);
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return found;
}

std::optional<Message> FrameClient::request(const QStringList &fields, const QString &replyVerb, int timeoutMs)
{
    send(fields);
    return waitFor(replyVerb, timeoutMs);
}

bool FrameClient::quietFor(int ms)
{
    const qsizetype before = queue_.size() + raw_.size();
    zv::test::waitFor([&] {
        pump();
        return false;
    }, ms);
    return queue_.size() + raw_.size() == before;
}

QByteArray FrameClient::takeRaw()
{
    pump();
    return std::exchange(raw_, {});
}

} // namespace zv::test
