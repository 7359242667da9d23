#include "common/nat/natdetector.h"

#include "common/nat/natlog.h"
#include "common/nat/natreply.h"
#include "platform/stopwatch.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

namespace zv::nat {

namespace {

constexpr int kSendsPerStep = 5;

} // namespace

NatServers NatServers::make(const QString &first, const QString &second, quint16 udpPort)
{
    NatServers s;
    s.first = first;
    s.firstPort = udpPort;
    s.second = second;
    const int port2 = int(udpPort) + 2;
    s.secondPort = port2 <= 65535 ? static_cast<quint16>(port2) : 0;
    return s;
}

NatDetector::NatDetector(Variant variant, platform::StopwatchTable &stopwatches, QObject *parent)
    : QObject(parent), variant_(variant), stopwatches_(stopwatches), ports_(defaultPortRange(variant))
{
}

QString NatDetector::addressText(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

QHostAddress NatDetector::resolve(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    QHostAddress literal;
    if (literal.setAddress(trimmed))
        return literal;
    const QHostInfo info = QHostInfo::fromName(trimmed);
    for (const auto &a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    }
    return {};
}

void NatDetector::setServers(const NatServers &servers)
{
    servers_ = servers;
    const QHostAddress first = resolve(servers.first);
    const QHostAddress second = resolve(servers.second);
    firstText_ = first.isNull() ? QString() : addressText(first);
    secondText_ = second.isNull() ? QString() : addressText(second);
}

bool NatDetector::handleDatagram(const QByteArray &datagram, const QHostAddress &sender)
{
    const auto reply = parseNatReply(datagram);
    if (!reply)
        return false;
    switch (reply->kind) {
    case NatReply::Kind::ChangeRequest: {
        const QString from = addressText(sender);
        if (!firstText_.isEmpty() && from == firstText_)
            slots_.a = reply->mapped;
        else if (!secondText_.isEmpty() && from == secondText_)
            slots_.c = reply->mapped;
        break;
    }
    case NatReply::Kind::ChangeIpPort:
        slots_.b = receivedMark();
        break;
    case NatReply::Kind::ChangePort:
        slots_.d = receivedMark();
        break;
    }
    return true;
}

void NatDetector::attach(QUdpSocket *socket)
{
    if (!socket || attached_ == socket)
        return;
    if (attached_)
        disconnect(attached_, nullptr, this, nullptr);
    attached_ = socket;
    connect(socket, &QUdpSocket::readyRead, this, [this] {
        while (attached_ && attached_->hasPendingDatagrams()) {
            // Anything longer than a reply is cut short and then rejected.
            const QNetworkDatagram d = attached_->receiveDatagram(kMaxReplyBytes + 1);
            if (!d.isValid())
                break;
            handleDatagram(d.data(), d.senderAddress());
        }
    });
}

void NatDetector::sendFive(QUdpSocket &socket, Request request, const QHostAddress &to, quint16 port)
{
    const QByteArray payload = requestDatagram(variant_, request);
    if (to.isNull() || port == 0) {
        Q_EMIT trace(QStringLiteral("NAT detection: no address for %1").arg(QString::fromLatin1(payload)));
    } else {
        for (int i = 0; i < kSendsPerStep; ++i)
            socket.writeDatagram(payload, to, port);
    }
    stopwatches_.start(stopwatchIndex_);
}

bool NatDetector::aborted(const QPointer<QUdpSocket> &socket) const
{
    return cancelled_ || socket.isNull();
}

template <typename Cond>
NatDetector::WaitEnd NatDetector::waitUntil(QUdpSocket &socket, Cond cond, int maxPolls)
{
    const QPointer<QUdpSocket> guard(&socket);
    const double limit = timings_.replyTimeoutMs / 1000.0;
    for (int polls = 0;; ++polls) {
        if (aborted(guard))
            return WaitEnd::Aborted;
        if (cond())
            return WaitEnd::Met;
        if (stopwatches_.read(stopwatchIndex_) > limit)
            return WaitEnd::TimedOut;
        if (maxPolls >= 0 && polls >= maxPolls)
            return WaitEnd::TimedOut;
        QThread::msleep(static_cast<unsigned long>(std::max(0, timings_.pollSleepMs)));
        QCoreApplication::processEvents();
    }
}

int NatDetector::finish(int type, const QString &why)
{
    natType_ = type;
    Q_EMIT trace(QStringLiteral("NAT detection: type %1 (%2)").arg(type).arg(why));
    return type;
}

int NatDetector::detect(QUdpSocket &socket, const QString &localAddress)
{
    if (running_)
        return natType_;
    running_ = true;
    cancelled_ = false;
    slots_ = {};
    const QPointer<QUdpSocket> guard(&socket);
    const QHostAddress first = firstText_.isEmpty() ? QHostAddress() : QHostAddress(firstText_);
    const QHostAddress second = secondText_.isEmpty() ? QHostAddress() : QHostAddress(secondText_);
    const QString received = receivedMark();
    Q_EMIT trace(QStringLiteral("NAT detection from %1:%2 against %3:%4 and %5:%6")
                     .arg(localAddress)
                     .arg(socket.localPort())
                     .arg(firstText_)
                     .arg(servers_.firstPort)
                     .arg(secondText_)
                     .arg(servers_.secondPort));

    struct Running {
        bool &flag;
        ~Running() { flag = false; }
    } running{running_};

    auto stopped = [&](WaitEnd end) {
        if (end != WaitEnd::Aborted)
            return false;
        Q_EMIT trace(QStringLiteral("NAT detection cancelled"));
        return true;
    };

    // 1, 2: our mapping as the first server sees it.
    sendFive(socket, Request::ChangeRequest, first, servers_.firstPort);
    if (stopped(waitUntil(socket, [&] { return !slots_.a.isEmpty(); })))
        return natType_;
    if (slots_.a.isEmpty())
        return finish(kNoUdp, QStringLiteral("no answer from the first server"));

    // 3, 4: an answer from another address and port; a mapping equal to our
    // own address means no NAT.
    sendFive(socket, Request::ChangeIpPort, first, servers_.firstPort);
    if (stopped(waitUntil(socket, [&] { return slots_.b == received; })))
        return natType_;
    if (mappedIp(slots_.a) == localAddress)
        return finish(kPublic, slots_.a);

    // 5, 6: the mapping towards the second server.
    sendFive(socket, Request::ChangeRequest, second, servers_.secondPort);
    if (stopped(waitUntil(socket, [&] { return !slots_.c.isEmpty(); })))
        return natType_;
    if (slots_.a != slots_.c) {
        return finish(slots_.b == received ? kSymmetricReachable : kSymmetric,
                      slots_.a + QStringLiteral(" / ") + slots_.c);
    }

    // 7: same mapping, reachable from anywhere.
    if (slots_.b == received)
        return finish(kFullCone, slots_.a);

    // 8, 9: refresh the mapping at the first server, then ask for an answer
    // from its other port, waiting only briefly.
    sendFive(socket, Request::ChangeRequest, first, servers_.firstPort);
    if (stopped(waitUntil(socket, [&] { return !slots_.a.isEmpty(); })))
        return natType_;
    sendFive(socket, Request::ChangePort, first, servers_.firstPort);
    if (stopped(waitUntil(socket, [&] { return slots_.d == received; }, timings_.shortWaitPolls)))
        return natType_;

    // 10.
    return finish(slots_.d == received ? kRestrictedCone : kPortRestrictedCone, slots_.a);
}

NatBindResult NatDetector::bindAndClassify(QUdpSocket &socket, const QStringList &addresses, const QString &natLogPath)
{
    NatBindResult result;
    if (running_) {
        result.natType = natType_;
        return result;
    }
    const bool client = variant_ == Variant::Client;
    const QPointer<QUdpSocket> guard(&socket);
    cancelled_ = false;
    if (!client) {
        // The node starts every login from "no UDP path" with empty slots.
        natType_ = kNoUdp;
        slots_ = {};
    }
    socket.close();
    if (addresses.isEmpty())
        Q_EMIT trace(QStringLiteral("NAT detection: no local IPv4 address"));

    int port = ports_.first;
    for (qsizetype i = addresses.size() - 1; i >= 0; --i) {
        const QString &address = addresses[i];
        const QHostAddress host(address);
        bool bound = false;
        for (; port < ports_.end; ++port) {
            socket.close();
            if (socket.bind(host, static_cast<quint16>(port), QAbstractSocket::DontShareAddress)) {
                bound = true;
                break;
            }
        }
        if (!bound) {
            result.bound = false;
            result.localAddress.clear();
            result.localPort = 0;
            if (client) {
                Q_EMIT trace(QStringLiteral("UDP bind failed on %1").arg(address));
                Q_EMIT message(bindFailedText());
                continue;
            }
            // The node gives up its whole UDP set-up.
            Q_EMIT trace(QStringLiteral("UDP bind failed on %1: no UDP endpoint").arg(address));
            result = {};
            result.natType = natType_;
            return result;
        }
        result.bound = true;
        result.localPort = socket.localPort();
        result.localAddress = client ? address : addressText(socket.localAddress());
        Q_EMIT trace(QStringLiteral("UDP bound to %1:%2").arg(result.localAddress).arg(result.localPort));

        result.adopted = false;
        if (client) {
            Q_EMIT hint(detectingHintText());
            if (const auto stored = readStoredNatType(natLogPath)) {
                natType_ = *stored;
                result.adopted = true;
            }
        }
        if (!result.adopted) {
            detect(socket, result.localAddress);
            if (cancelled_ || guard.isNull()) {
                result.cancelled = true;
                result.bound = !guard.isNull() && socket.state() == QAbstractSocket::BoundState;
                result.natType = natType_;
                return result;
            }
        }
        if (client)
            Q_EMIT trace(QString::number(natType_));
        if (natType_ != kNoUdp)
            break;
    }

    if (!client && !writeStoredNatType(natLogPath, natType_))
        Q_EMIT trace(QStringLiteral("cannot write %1").arg(natLogPath));
    result.bound = result.bound && socket.state() == QAbstractSocket::BoundState;
    result.natType = natType_;
    return result;
}

} // namespace zv::nat
