#pragma once
// The control channel to the central server: one QTcpSocket driven by signals
// on the user-interface thread, the receive path with its reply dispatch, the
// heartbeat and the automatic re-login. It needs no window: it reports trace
// lines, points and the login and registration replies through signals.
#include "client/core/clientstate.h"
#include "common/framing.h"

#include <QObject>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace zv::client {

// Intervals of the channel; tests shorten them.
struct ChannelTimings {
    int tickMs = 1000;               // Timer2
    double heartbeatSeconds = 60;    // a heartbeat once the heartbeat watch passes this
    double silenceSeconds = 300;     // re-login once the silence watch passes this
    double connectWaitSeconds = 10;  // wait for the connection
    double keyWaitSeconds = 10;      // then for the connection key
    int pollSleepMs = 10;            // sleep of each pass of those waits
};

class ControlChannel : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(ClientState &state, ChannelTimings timings = {}, QObject *parent = nullptr);
    ~ControlChannel() override;

    QTcpSocket *socket() const { return ClientSocket1; }
    QTimer *heartbeatTimer() const { return Timer2; }
    const ChannelTimings &timings() const { return timings_; }

    // Where the next connection goes (the configured address, or the fallback host).
    void setServer(const QString &host, quint16 port);
    QString serverHost() const { return host_; }
    quint16 serverPort() const { return port_; }

    // Renders, scrambles with the current key and sends fields. Safe from any
    // thread: sends from other threads are handed to the socket's own thread,
    // in the order they were made. Does nothing while the socket is not connected.
    void send(const QStringList &fields);

    // Opens the connection and waits for it and then for the connection key,
    // processing events between sleeps, each wait bounded on the general
    // stopwatch. cancelled ends the waits early. True when the channel is
    // online with a key. When it is online already nothing is opened.
    bool connectAndWaitForKey(const std::function<bool()> &cancelled = {});

    void close();

    // The show step: enables Timer2 and starts the silence and heartbeat watches.
    void startHeartbeat();

    // One tick of Timer2 (heartbeat and automatic re-login); public for tests.
    void tick();

    // The receive path on bytes already read (public for tests).
    void receive(QByteArrayView bytes);

signals:
    void traceLine(const QString &line);
    void pointsReceived(const QString &points);
    void loginReply(const zv::Message &message);
    void registerReply(const zv::Message &message);
    void searchReplyStored();
    void keyReceived(std::int32_t key);
    void connectionStateChanged(const QString &state);
    // The automatic re-login could not reach the server; the user is logged out.
    void reloginFailed();

private:
    void onReadyRead();
    void onConnected();
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void setConnectionState(const QString &value);
    void dispatch(const Message &message);
    void storeAddress(const Message &message, ReplySlot<AddressReply> &slot, const QString &name);
    void writeBytes(const QByteArray &frame);
    bool waitUntil(double seconds, const std::function<bool()> &done, const std::function<bool()> &cancelled);

    ClientState &state_;
    ChannelTimings timings_;
    QTcpSocket *ClientSocket1;
    QTimer *Timer2;
    FrameSplitter splitter_;
    QString host_;
    quint16 port_ = 80;
    bool inRelogin_ = false;
};

} // namespace zv::client

Q_DECLARE_METATYPE(zv::Message)
