#include "node/node.h"

#include "common/nat/natlog.h"
#include "common/store/store.h"
#include "node/indexsync.h"
#include "node/library.h"
#include "node/wait.h"
#include "platform/netaddr.h"

#include <QCoreApplication>
#include <QDate>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QScopeGuard>

namespace zv::node {

namespace {
QString ipv4Text(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

QTimer *makeTimer(QObject *parent, const char *name, int intervalMs)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    return timer;
}
} // namespace

Node::Node(NodeSettings settings, ComputerIdentity identity, store::Database &db, NatProbe &nat, QObject *parent)
    : QObject(parent), settings_(std::move(settings)), identity_(std::move(identity)), db_(db), nat_(nat),
      splitter_(FrameSplitter::kDefaultLimit)
{
    const auto traceFn = [this](const QString &line) { trace(line); };
    library_ = std::make_unique<StoreServingLibrary>(db_, traceFn);
    udp_ = std::make_unique<UdpEndpoint>(*library_, files_, this, settings_.timings.serving);
    udp_->setObserver([this](const QString &a, quint16 p, const QByteArray &d) { observeDatagram(a, p, d); });
    relays_ = std::make_unique<RelayLinks>(*library_, files_, [this] { return identity_.computerId; }, this);
    relays_->setTimings(settings_.timings.relay);
    relays_->setLog(traceFn);
    sync_ = std::make_unique<IndexSync>(
        db_, [this](const QStringList &fields) { send(fields); }, [this] { return identity_.computerId; },
        [this] { return nat::readLibraryBusyFlag(natLogPath()); }, traceFn);

    ClientSocket1 = new QTcpSocket(this);
    ClientSocket1->setObjectName(QStringLiteral("ClientSocket1"));
    connect(ClientSocket1, &QTcpSocket::readyRead, this, &Node::readControl);
    connect(ClientSocket1, &QTcpSocket::disconnected, this, &Node::onDisconnected);
    // Socket errors show only as failed attempts or a disconnection.
    connect(ClientSocket1, &QTcpSocket::errorOccurred, this, [](QAbstractSocket::SocketError) {});

    const NodeTimings &t = settings_.timings;
    Timer_read = makeTimer(this, "Timer_read", t.readTickMs);
    Timer_check_socket = makeTimer(this, "Timer_check_socket", t.checkSocketMs);
    Timer1 = makeTimer(this, "Timer1", t.keepAliveMs);
    Timer_update1 = makeTimer(this, "Timer_update1", t.updateMs);
    connect(Timer_read, &QTimer::timeout, this, &Node::readTick);
    connect(Timer_check_socket, &QTimer::timeout, this, &Node::checkSocketTick);
    connect(Timer1, &QTimer::timeout, this, &Node::keepAliveTick);
    connect(Timer_update1, &QTimer::timeout, this, &Node::updateTick);

    centralServer_ = settings_.deploy.serverHost;
}

Node::~Node()
{
    ClientSocket1->disconnect(this);
}

QTimer *Node::timer(const QString &name) const
{
    for (QTimer *t : {Timer_read, Timer_check_socket, Timer1, Timer_update1, udp_->sendingTick()}) {
        if (t->objectName() == name)
            return t;
    }
    return nullptr;
}

bool Node::connected() const
{
    return ClientSocket1->state() == QAbstractSocket::ConnectedState;
}

bool Node::uploadGateOpen() const
{
    return sync_->gateOpen();
}

void Node::start()
{
    stopwatches_.start(kGeneral);
    stopwatches_.start(kSilence);
    Timer_read->start();
    connectAndLogin();
}

void Node::letEventsThrough()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool Node::attempt(const QString &host)
{
    stopwatches_.start(kAttempt);
    keyReceived_ = false;
    splitter_.clear();
    splitter_.setKey(-1);
    ClientSocket1->abort();
    trace(QStringLiteral("connecting to ") + host);
    ClientSocket1->connectToHost(host, settings_.deploy.tcpPort);
    const bool ok = nestedWait([this] { return connected() && keyReceived_; }, settings_.timings.attemptMs);
    if (!ok) {
        ClientSocket1->abort();
        return false;
    }
    return true;
}

void Node::connectAndLogin()
{
    // The silence watch may fire inside the waits below; one procedure at a time.
    if (inProcedure_)
        return;
    inProcedure_ = true;
    const auto done = qScopeGuard([this] { inProcedure_ = false; });

    natType_ = 0;
    if (!attempt(settings_.deploy.serverAddress) && !attempt(centralServer_)) {
        trace(QStringLiteral("central server unreachable"));
        return;
    }
    dropped_ = false;
    loggedIn_ = false;
    sendLogin();
    stopwatches_.start(kSilence);
    stopwatches_.start(kAttempt);
    if (!nestedWait([this] { return loggedIn_; }, settings_.timings.loginMs)) {
        trace(QStringLiteral("no login reply"));
        return;
    }
    Timer_check_socket->start();
    stopwatches_.start(kHeartbeat);
    bindUdp();
}

void Node::bindUdp()
{
    const QStringList addresses = platform::localIPv4Addresses(settings_.deploy.localAddresses);
    const NatOutcome outcome = nat_.bindAndClassify(*udp_->socket(), addresses, centralServer_,
                                                    settings_.deploy.udpPort, secondServer_, natLogPath());
    natType_ = outcome.bound ? outcome.natType : 0;
    trace(QStringLiteral("UDP %1:%2, NAT type %3").arg(outcome.localAddress).arg(outcome.localPort).arg(natType_));
    if (!outcome.bound || natType_ == 0)
        return;
    sendUdpRegistration();
    Timer1->start();
}

void Node::sendUdpRegistration()
{
    const QByteArray datagram = lineList({QStringLiteral("C_UDP_LOGIN_TYPE0.5"), QString::number(identity_.computerId),
                                          udp_->localAddress(), QString::number(udp_->localPort()),
                                          QString::number(natType_)});
    udp_->send(centralServer_, settings_.deploy.udpPort, datagram);
}

void Node::sendLogin()
{
    const QString address = ipv4Text(ClientSocket1->localAddress());
    const QString port = QString::number(ClientSocket1->localPort());
    if (identity_.computerId != 0) {
        send({QStringLiteral("CC_LOGIN0.3"), QString::number(identity_.computerId), identity_.computerKey, address,
              port});
        return;
    }
    const qint64 day = QDate(1899, 12, 30).daysTo(QDate::currentDate());
    auto *random = QRandomGenerator::global();
    const QString token = QString::number(day) + u'!' + QString::number(random->bounded(2000000000)) + u'!'
        + QString::number(QCoreApplication::applicationPid() % 1000000) + u'!'
        + QString::number(random->bounded(1000000)) + u'!';
    send({QStringLiteral("CF_LOGIN0.3"), token, address, port});
}

void Node::send(const QStringList &fields)
{
    if (!connected())
        return;
    ClientSocket1->write(encodeFrame(fields, splitter_.key()));
}

void Node::readControl()
{
    splitter_.append(ClientSocket1->readAll());
    if (splitter_.takeOverflow())
        trace(QStringLiteral("control channel: oversized message dropped"));
    // Each message is taken from the splitter before it is handled, so a
    // handler that lets events through (and so reads again) keeps the order.
    while (auto message = splitter_.next())
        dispatch(*message);
}

void Node::dispatch(const Message &message)
{
    if (message.isEmpty()) {
        stopwatches_.start(kSilence);
        return;
    }
    const QString verb = message.verb();
    if (verb == kSendKeyVerb) {
        if (parseInt32(message.field(1))) {
            keyReceived_ = true;
        }
        return;
    }
    if (verb == QStringLiteral("s_cf_login_reply0.5")) {
        loginReply(message, true);
    } else if (verb == QStringLiteral("s_cc_login_reply0.5")) {
        loginReply(message, false);
    } else if (verb == QStringLiteral("s_c_update_reply0.5")) {
        sync_->confirm();
        Timer_update1->start();
    } else if (verb == QStringLiteral("s_c_exit0.5")) {
        trace(QStringLiteral("the server closed the connection"));
        ClientSocket1->abort();
        onDisconnected();
    } else if (verb == QStringLiteral("s_reply_t0.5")) {
        relays_->open(message.field(1), message.field(2));
    }
}

void Node::loginReply(const Message &message, bool first)
{
    if (first) {
        const auto id = parseInt32(message.field(1));
        if (!id || *id <= 0) {
            trace(QStringLiteral("registration reply without a computer id"));
            return;
        }
        identity_ = ComputerIdentity{*id, message.field(2)};
        if (!saveIdentity(pcDllPath(), identity_))
            trace(QStringLiteral("pc.dll could not be written"));
    }
    centralServer_ = ipv4Text(ClientSocket1->peerAddress());
    secondServer_ = message.field(first ? 4 : 1);
    loggedIn_ = true;
    trace(QStringLiteral("logged in as computer %1").arg(identity_.computerId));
    Q_EMIT loginSucceeded();
    if (message.field(2) == QStringLiteral("1")) {
        sync_->closeGate();
        localIndexCheckCommand();
        sync_->openGate();
        fullRebuildCommand();
    } else {
        sync_->openGate();
        sync_->announce(IndexSync::Kind::Login);
    }
}

void Node::onDisconnected()
{
    if (!loggedIn_ && dropped_)
        return;
    dropped_ = true;
    loggedIn_ = false;
    sync_->closeGate();
    Timer_update1->stop();
    Q_EMIT disconnectedFromServer();
}

void Node::readTick()
{
    if (ClientSocket1->bytesAvailable() > 0)
        readControl();
    const NodeTimings &t = settings_.timings;
    if (watch(kSilence) <= t.silenceRetryMs)
        return;
    if (loggedIn_) {
        if (watch(kSilence) <= t.silenceDropMs)
            return;
        trace(QStringLiteral("the server has been silent too long"));
        ClientSocket1->abort();
        onDisconnected();
    }
    stopwatches_.start(kSilence);
    connectAndLogin();
}

void Node::checkSocketTick()
{
    relays_->releaseDropped();
    if (watch(kHeartbeat) > settings_.timings.heartbeatMs) {
        send({QStringLiteral("C_HAND0.5")});
        stopwatches_.start(kHeartbeat);
    }
}

void Node::keepAliveTick()
{
    if (reRegister_) {
        sendUdpRegistration();
        return;
    }
    if (!udp_->send(centralServer_, settings_.deploy.udpPort, QByteArray())) {
        trace(QStringLiteral("UDP keep-alive failed"));
        Timer1->stop();
    }
}

void Node::updateTick()
{
    sync_->announce(IndexSync::Kind::Periodic);
    if (log_.count() > 1000)
        log_.clear();
}

void Node::observeDatagram(const QString &address, quint16 port, const QByteArray &datagram)
{
    if ((natType_ == 5 || natType_ == 6) && address != centralServer_ && address != secondServer_
        && (address != lastPeerAddress_ || port != lastPeerPort_)) {
        lastPeerAddress_ = address;
        lastPeerPort_ = port;
        reRegister_ = true;
    }
    const QStringList lines = datagramLines(datagram);
    if (!lines.isEmpty() && lines.first() == QStringLiteral("s_port_update_ok0.5"))
        reRegister_ = false;
    nat_.offer(datagram, QHostAddress(address));
}

void Node::periodicBatchCommand()
{
    sync_->announce(IndexSync::Kind::Periodic);
}

void Node::fullRebuildCommand()
{
    Timer_update1->stop();
    sync_->announce(IndexSync::Kind::Full);
    Timer_update1->start();
}

void Node::localIndexCheckCommand()
{
    if (indexCheckDepth_ > 0) {
        trace(QStringLiteral("the local index check is already running"));
        return;
    }
    ++indexCheckDepth_;
    Timer_update1->stop();
    sync_->checkLocalIndex([this] { letEventsThrough(); });
    Timer_update1->start();
    --indexCheckDepth_;
}

bool Node::deleteAllIndexCommand()
{
    return sync_->deleteAll();
}

} // namespace zv::node
