#include "client/core/controlchannel.h"

#include <QCoreApplication>
#include <QThread>

namespace zv::client {

namespace {
const QString kVerbJifen = QStringLiteral("s_u_jifen_update0.5");
const QString kVerbLogin = QStringLiteral("s_u_login_reply0.5");
const QString kVerbRegister = QStringLiteral("s_u_register_reply0.5");
const QString kVerbSearch = QStringLiteral("s_u_search_reply0.5");
const QString kVerbUsSearch = QStringLiteral("s_u_us_search_reply0.5");
const QString kVerbRelay = QStringLiteral("s_reply_t0.5");
const QString kVerbNewPort = QStringLiteral("s_reply_newport0.5");
const QString kVerbBinding = QStringLiteral("s_reply_binding0.5");

// A port as the three address replies carry it: a decimal integer 0..65535.
std::optional<int> parsePort(const QString &text)
{
    const auto v = parseInt32(text);
    if (!v || *v < 0 || *v > 65535)
        return std::nullopt;
    return *v;
}
} // namespace

ControlChannel::ControlChannel(ClientState &state, ChannelTimings timings, QObject *parent)
    : QObject(parent),
      state_(state),
      timings_(timings),
      ClientSocket1(new QTcpSocket(this)),
      Timer2(new QTimer(this)),
      host_(state.serverAddress),
      port_(state.serverTcpPort)
{
    qRegisterMetaType<zv::Message>();
    ClientSocket1->setObjectName(QStringLiteral("ClientSocket1"));
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(timings_.tickMs);
    connect(ClientSocket1, &QTcpSocket::readyRead, this, &ControlChannel::onReadyRead);
    connect(ClientSocket1, &QTcpSocket::connected, this, &ControlChannel::onConnected);
    connect(ClientSocket1, &QTcpSocket::disconnected, this, &ControlChannel::onDisconnected);
    connect(ClientSocket1, &QTcpSocket::errorOccurred, this, &ControlChannel::onError);
    connect(Timer2, &QTimer::timeout, this, &ControlChannel::tick);
}

ControlChannel::~ControlChannel()
{
    ClientSocket1->disconnect(this);
    ClientSocket1->abort();
}

void ControlChannel::setServer(const QString &host, quint16 port)
{
    host_ = host;
    port_ = port;
}

void ControlChannel::setConnectionState(const QString &value)
{
    if (state_.connectionState == value)
        return;
    state_.connectionState = value;
    emit connectionStateChanged(value);
}

void ControlChannel::onConnected()
{
    setConnectionState(kOnline);
}

void ControlChannel::onDisconnected()
{
    setConnectionState(kOffline);
}

void ControlChannel::onError(QAbstractSocket::SocketError)
{
    // Never a dialog: the error only means the channel is down.
    setConnectionState(kOffline);
}

void ControlChannel::send(const QStringList &fields)
{
    const QByteArray frame = encodeFrame(fields, state_.connectionKey.load());
    if (QThread::currentThread() == thread()) {
        writeBytes(frame);
        return;
    }
    // The socket belongs to the user-interface thread; queued calls from one
    // thread run in the order they were posted, so frames never interleave.
    QMetaObject::invokeMethod(this, [this, frame] { writeBytes(frame); }, Qt::QueuedConnection);
}

void ControlChannel::writeBytes(const QByteArray &frame)
{
    if (ClientSocket1->state() != QAbstractSocket::ConnectedState)
        return;
    // The socket keeps what the network does not take at once and sends it in order.
    if (ClientSocket1->write(frame) != frame.size())
        emit traceLine(QStringLiteral("停止出错"));
}

bool ControlChannel::waitUntil(double seconds, const std::function<bool()> &done,
                               const std::function<bool()> &cancelled)
{
    const double start = state_.stopwatches.general();
    for (;;) {
        if (done())
            return true;
        if (cancelled && cancelled())
            return false;
        if (state_.stopwatches.general() - start > seconds)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(static_cast<unsigned long>(timings_.pollSleepMs));
    }
}

bool ControlChannel::connectAndWaitForKey(const std::function<bool()> &cancelled)
{
    if (state_.connectionState != kOnline) {
        state_.connectionKey = -1;
        splitter_.clear();
        splitter_.setKey(-1);
        if (ClientSocket1->state() != QAbstractSocket::UnconnectedState)
            ClientSocket1->abort();
        ClientSocket1->connectToHost(host_, port_);
        waitUntil(timings_.connectWaitSeconds, [this] { return state_.connectionState == kOnline; }, cancelled);
    }
    waitUntil(timings_.keyWaitSeconds, [this] { return state_.connectionKey.load() != -1; }, cancelled);
    return state_.connectionState == kOnline && state_.connectionKey.load() != -1;
}

void ControlChannel::close()
{
    ClientSocket1->abort();
    splitter_.clear();
    setConnectionState(kOffline);
}

void ControlChannel::startHeartbeat()
{
    Timer2->start();
    state_.stopwatches.start(kSilenceWatch);
    state_.stopwatches.start(kHeartbeatWatch);
}

void ControlChannel::tick()
{
    if (inRelogin_)
        return;
    auto &watches = state_.stopwatches;
    if (watches.read(kHeartbeatWatch) > timings_.heartbeatSeconds) {
        send({QStringLiteral("U_HAND0.5")});
        watches.start(kHeartbeatWatch);
    }
    if (watches.read(kSilenceWatch) <= timings_.silenceSeconds || state_.loginState.isEmpty())
        return;

    inRelogin_ = true;
    ClientSocket1->abort();
    Timer2->stop();
    setConnectionState(kOffline);
    emit traceLine(QStringLiteral("重新登录"));
    if (!connectAndWaitForKey()) {
        emit reloginFailed();
        state_.loginState.clear();
    } else {
        if (state_.loginKind == QStringLiteral("EMAIL"))
            send({QStringLiteral("U_LOGIN0.3"), QStringLiteral("E_MAIL"), state_.profile.value(kProfileEmail),
                  state_.loginPassword});
        else
            send({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), state_.userId, state_.loginPassword});
        Timer2->start();
    }
    watches.start(kSilenceWatch);
    inRelogin_ = false;
}

void ControlChannel::onReadyRead()
{
    const QByteArray bytes = ClientSocket1->readAll();
    if (!bytes.isEmpty())
        receive(bytes);
}

void ControlChannel::receive(QByteArrayView bytes)
{
    splitter_.append(bytes);
    while (auto message = splitter_.next())
        dispatch(*message);
    if (splitter_.takeOverflow())
        emit traceLine(QStringLiteral("接收缓冲区溢出，已丢弃"));
}

void ControlChannel::storeAddress(const Message &message, ReplySlot<AddressReply> &slot, const QString &name)
{
    const auto port = parsePort(message.field(2));
    if (message.fields.size() < 3 || !port) {
        emit traceLine(message.verb() + QStringLiteral(" 格式错误，已丢弃"));
        return;
    }
    if (!slot.store({message.field(1), *port}))
        emit traceLine(name + QStringLiteral(" 未取走，已替换"));
}

void ControlChannel::dispatch(const Message &message)
{
    if (message.isEmpty()) {
        state_.stopwatches.start(kSilenceWatch);
        return;
    }
    const QString verb = message.verb();
    if (verb == kSendKeyVerb) {
        const auto key = parseInt32(message.field(1));
        if (!key) {
            emit traceLine(QStringLiteral("s_send_key 格式错误，已丢弃"));
            return;
        }
        state_.connectionKey = *key;
        splitter_.setKey(*key);
        emit traceLine(QStringLiteral("key=") + QString::number(*key));
        emit keyReceived(*key);
    } else if (verb == kVerbJifen) {
        if (message.fields.size() >= 2)
            emit pointsReceived(message.field(1));
    } else if (verb == kVerbLogin) {
        if (message.fields.size() >= 2)
            emit loginReply(message);
    } else if (verb == kVerbRegister) {
        if (message.fields.size() >= 2)
            emit registerReply(message);
    } else if (verb == kVerbSearch) {
        QStringList lines = message.fields.mid(1);
        lines.append(QStringLiteral("|"));
        if (!state_.searchReply.store(lines))
            emit traceLine(QStringLiteral("搜索结果未取走，已替换"));
        emit searchReplyStored();
    } else if (verb == kVerbUsSearch) {
        if (message.fields.size() < 2)
            return;
        emit traceLine(QStringLiteral("收到") + message.field(1));
        emit traceLine(message.field(1) == QStringLiteral("0") ? QStringLiteral("无可用资源下载！")
                                                               : QStringLiteral("下载资源被用户停止！"));
    } else if (verb == kVerbRelay) {
        if (message.field(2) == QStringLiteral("0"))
            return; // no relay: the waiting worker runs into its time-out
        const auto port = parsePort(message.field(2));
        if (message.fields.size() < 3 || !port) {
            emit traceLine(verb + QStringLiteral(" 格式错误，已丢弃"));
            return;
        }
        if (!state_.relayAddress.store({message.field(1), *port}))
            emit traceLine(QStringLiteral("中转地址未取走，已替换"));
        for (const QString &line : message.fields)
            emit traceLine(line);
        emit traceLine(QStringLiteral("|"));
        emit traceLine(QStringLiteral("1:") + QString::number(*port));
    } else if (verb == kVerbNewPort) {
        storeAddress(message, state_.newPort, QStringLiteral("新端口"));
    } else if (verb == kVerbBinding) {
        storeAddress(message, state_.binding, QStringLiteral("绑定地址"));
    }
    // Any other verb is dropped.
}

} // namespace zv::client
