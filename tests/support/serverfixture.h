#pragma once
// Starts the real zorvan-server on loopback with free ports and a temporary
// data folder, and a small client that speaks the control-channel framing.
#include "common/framing.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

namespace zv::test {

class ServerFixture {
public:
    ServerFixture();
    ~ServerFixture();
    ServerFixture(const ServerFixture &) = delete;
    ServerFixture &operator=(const ServerFixture &) = delete;

    // Starts the server (with extra command-line arguments) and waits until it
    // listens on every port; picks new ports and retries when one is taken.
    bool start(const QStringList &extraArgs = {});
    // SIGTERM, then waits; true when it ended on its own with exit code 0.
    bool stop();
    // Stops and starts again on the same ports and data folder.
    bool restart();
    bool running() const;

    QString address() const { return QStringLiteral("127.0.0.1"); }
    QString altAddress() const { return QStringLiteral("127.0.0.2"); }
    quint16 tcpPort() const { return tcp_; }
    quint16 udpPort() const { return udp_; }
    quint16 relayPort() const { return relay_; }
    quint16 httpPort() const { return http_; }
    QString dataDir() const { return dir_.path(); }
    qint64 pid() const;
    // Resident memory of the server process in KiB (VmRSS), -1 when unknown.
    qint64 rssKiB() const;
    // Everything the server wrote to standard output so far.
    QString output();

private:
    bool launch();
    bool pickPorts();

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    QStringList extra_;
    QByteArray out_;
    quint16 tcp_ = 0, udp_ = 0, relay_ = 0, http_ = 0;
};

// A control-channel (or relay-link) client: receives the key, then sends and
// receives scrambled frames.
class FrameClient {
public:
    FrameClient();
    ~FrameClient();
    // Connects and waits for "s_send_key".
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 5000);
    void send(const QStringList &fields);
    void sendRaw(const QByteArray &bytes);
    std::int32_t key() const { return key_; }
    bool connected() const;
    // Waits for the next message whose verb is verb (an empty verb: the empty
    // message); earlier messages with other verbs stay queued.
    std::optional<Message> waitFor(const QString &verb, int timeoutMs = 5000);
    // Sends fields and waits for the reply verb.
    std::optional<Message> request(const QStringList &fields, const QString &replyVerb, int timeoutMs = 5000);
    QList<Message> &received() { return queue_; }
    // Processes events for a while and tells whether any message came.
    bool quietFor(int ms);
    QTcpSocket &socket() { return *socket_; }
    // Raw bytes read so far that were not frames (the relay's piece answers).
    QByteArray takeRaw();
    void setRawMode(bool on) { rawMode_ = on; }

private:
    void pump();
    std::unique_ptr<QTcpSocket> socket_;
    FrameSplitter splitter_;
    std::int32_t key_ = -1;
    QList<Message> queue_;
    QByteArray raw_;
    bool rawMode_ = false;
};

} // namespace zv::test
