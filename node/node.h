#pragma once
// The serving node's state and its connection to the central server: the
// connect-and-login procedure with its two attempts, CF/CC login, dispatch of
// the server's messages, the silence watch and the heartbeat, the UDP
// endpoint with NAT detection, registration and keep-alive, the relay links
// and the index synchronisation. One instance per program, one thread; the
// waits let events through, so every handler tolerates being entered again
// while the procedure or the local index check is suspended further up.
#include "common/deploy.h"
#include "common/framing.h"
#include "node/identity.h"
#include "node/natprobe.h"
#include "node/nodelog.h"
#include "node/relay.h"
#include "node/udpendpoint.h"
#include "platform/stopwatch.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace zv::store {
class Database;
}

namespace zv::node {

class IndexSync;
class StoreServingLibrary;

struct NodeTimings {
    int attemptMs = 10000;        // connection and key, per attempt
    int loginMs = 20000;          // login reply
    int silenceRetryMs = 60000;   // not logged in: retry this often
    int silenceDropMs = 300000;   // logged in: drop a connection this silent
    int heartbeatMs = 60000;      // "C_HAND0.5"
    int readTickMs = 1;           // Timer_read
    int checkSocketMs = 50;       // Timer_check_socket
    int keepAliveMs = 10000;      // Timer1
    int updateMs = 60000;         // Timer_update1
    RelayLinks::Timings relay;
    ServingEngine::Timings serving;
};

struct NodeSettings {
    QString directory;            // the node directory, with a trailing "/"
    DeployConfig deploy;
    NodeTimings timings;
};

class Node : public QObject {
    Q_OBJECT
public:
    // db is the open local.res; nat is the detection seam. Both outlive the node.
    Node(NodeSettings settings, ComputerIdentity identity, store::Database &db, NatProbe &nat,
         QObject *parent = nullptr);
    ~Node() override;

    // Starts the silence watch and Timer_read, then runs the connect-and-login
    // procedure to its end.
    void start();
    void connectAndLogin();

    // Sends a message on the control connection (scrambled, closed by "|");
    // nothing happens when it is not connected.
    void send(const QStringList &fields);

    // The four maintenance commands.
    void periodicBatchCommand();
    void fullRebuildCommand();
    void localIndexCheckCommand();
    bool deleteAllIndexCommand();

    bool loggedIn() const { return loggedIn_; }
    bool connected() const;
    qint32 computerId() const { return identity_.computerId; }
    const ComputerIdentity &identity() const { return identity_; }
    int natType() const { return natType_; }
    QString centralServerAddress() const { return centralServer_; }
    QString secondDetectionServer() const { return secondServer_; }
    bool uploadGateOpen() const;
    bool reRegistrationPending() const { return reRegister_; }
    NodeLog &log() { return log_; }
    UdpEndpoint &udp() { return *udp_; }
    RelayLinks &relays() { return *relays_; }
    IndexSync &sync() { return *sync_; }
    QTimer *timer(const QString &name) const;
    QString natLogPath() const { return settings_.directory + QStringLiteral("nat_type.log"); }
    QString pcDllPath() const { return settings_.directory + QStringLiteral("pc.dll"); }

Q_SIGNALS:
    void loginSucceeded();
    void disconnectedFromServer();

private:
    bool attempt(const QString &host);
    void sendLogin();
    void readControl();
    void dispatch(const Message &message);
    void loginReply(const Message &message, bool first);
    void onDisconnected();
    void readTick();
    void checkSocketTick();
    void keepAliveTick();
    void updateTick();
    void bindUdp();
    void sendUdpRegistration();
    void observeDatagram(const QString &address, quint16 port, const QByteArray &datagram);
    void trace(const QString &line) { log_.add(line); }
    void letEventsThrough();
    double watch(int index) const { return stopwatches_.read(index) * 1000.0; }

    enum Watch { kGeneral = 0, kAttempt = 1, kSilence = 2, kHeartbeat = 3 };

    NodeSettings settings_;
    ComputerIdentity identity_;
    store::Database &db_;
    NatProbe &nat_;
    NodeLog log_;
    platform::StopwatchTable stopwatches_;
    DiskFileAccess files_;
    std::unique_ptr<StoreServingLibrary> library_;
    std::unique_ptr<UdpEndpoint> udp_;
    std::unique_ptr<RelayLinks> relays_;
    std::unique_ptr<IndexSync> sync_;

    QTcpSocket *ClientSocket1;
    FrameSplitter splitter_;
    QTimer *Timer_read;
    QTimer *Timer_check_socket;
    QTimer *Timer1;
    QTimer *Timer_update1;

    QString centralServer_;
    QString secondServer_;
    bool keyReceived_ = false;
    bool loggedIn_ = false;
    bool inProcedure_ = false;
    bool dropped_ = false;
    int natType_ = 0;
    bool reRegister_ = false;
    QString lastPeerAddress_;
    quint16 lastPeerPort_ = 0;
    int indexCheckDepth_ = 0;
};

} // namespace zv::node
