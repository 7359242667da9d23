#include "tests/nat/nat_responder.h"

#include "common/nat/nattype.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

namespace zv::test {

namespace {

enum Role { kFirst, kFirstAlt, kSecondAlt, kSecond };

bool isVerb(const QByteArray &payload, nat::Request request)
{
    return payload == nat::requestDatagram(nat::Variant::Client, request)
        || payload == nat::requestDatagram(nat::Variant::Node, request);
}

QString ipText(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

NatResponder::NatResponder() = default;
NatResponder::~NatResponder() = default;

bool NatResponder::start(const QHostAddress &a, const QHostAddress &b, quint16 udpPort, QString *error)
{
    struct Binding {
        std::unique_ptr<QUdpSocket> *socket;
        QHostAddress address;
        int port;
        Role role;
    };
    const Binding bindings[] = {{&a0_, a, udpPort, kFirst},
                          {&a1_, a, udpPort + 1, kFirstAlt},
                          {&b1_, b, udpPort + 1, kSecondAlt},
                          {&b2_, b, udpPort + 2, kSecond}};
    for (const auto &binding : bindings) {
        auto socket = std::make_unique<QUdpSocket>();
        if (binding.port > 65535 || !socket->bind(binding.address, static_cast<quint16>(binding.port), QAbstractSocket::DontShareAddress)) {
            if (error)
                *error = QStringLiteral("cannot bind %1:%2: %3").arg(binding.address.toString()).arg(binding.port).arg(socket->errorString());
            return false;
        }
        QUdpSocket *raw = socket.get();
        const Role role = binding.role;
        connect(raw, &QUdpSocket::readyRead, this, [this, raw, role] { readFrom(raw, role); });
        *binding.socket = std::move(socket);
    }
    return true;
}

void NatResponder::readFrom(QUdpSocket *socket, int role)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram(2048);
        if (!d.isValid())
            break;
        received_.append({d.data(), socket->localPort(), ipText(d.senderAddress())});
        Q_EMIT requestSeen(d.data());
        if (role == kFirst || role == kSecond)
            answer(socket, role, d.data(), d.senderAddress(), static_cast<quint16>(d.senderPort()));
    }
}

void NatResponder::answer(QUdpSocket *socket, int role, const QByteArray &payload, const QHostAddress &from, quint16 fromPort)
{
    if (script_.ignoreFrom.contains(ipText(from)))
        return;
    const bool first = role == kFirst;
    if (isVerb(payload, nat::Request::ChangeRequest)) {
        if (first ? !script_.answerRequestFirst : !script_.answerRequestSecond)
            return;
        QString mapped = first ? script_.mappedFirst : script_.mappedSecond;
        if (mapped.isEmpty())
            mapped = ipText(from) + u':' + QString::number(fromPort);
        const QByteArray reply = QByteArray(nat::kReplyChangeRequest) + "\r\n" + mapped.toLatin1();
        if (!script_.requestRepliesFrom.isNull()) {
            if (!third_) {
                third_ = std::make_unique<QUdpSocket>();
                third_->bind(script_.requestRepliesFrom, 0);
            }
            third_->writeDatagram(reply, from, fromPort);
            return;
        }
        socket->writeDatagram(reply, from, fromPort);
    } else if (isVerb(payload, nat::Request::ChangeIpPort)) {
        if (script_.answerIpPort)
            (first ? b1_ : a1_)->writeDatagram(QByteArray(nat::kReplyChangeIpPort), from, fromPort);
    } else if (isVerb(payload, nat::Request::ChangePort)) {
        if (!script_.answerPort)
            return;
        QUdpSocket *out = first ? a1_.get() : b1_.get();
        if (script_.portReplyDelayMs > 0) {
            QTimer::singleShot(script_.portReplyDelayMs, out, [out, from, fromPort] {
                out->writeDatagram(QByteArray(nat::kReplyChangePort), from, fromPort);
            });
        } else {
            out->writeDatagram(QByteArray(nat::kReplyChangePort), from, fromPort);
        }
    }
}

int NatResponder::count(const QByteArray &payload, quint16 toPort) const
{
    int n = 0;
    for (const auto &r : received_) {
        if (r.payload == payload && r.toPort == toPort)
            ++n;
    }
    return n;
}

quint16 NatResponder::findFreeBase(const QHostAddress &a, const QHostAddress &b)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 base = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 60000));
        bool ok = true;
        std::vector<std::unique_ptr<QUdpSocket>> probes;
        for (const QHostAddress &addr : {a, b}) {
            for (int k = 0; k < 3 && ok; ++k) {
                auto s = std::make_unique<QUdpSocket>();
                ok = s->bind(addr, static_cast<quint16>(base + k), QAbstractSocket::DontShareAddress);
                probes.push_back(std::move(s));
            }
        }
        if (ok)
            return base;
    }
    return 0;
}

} // namespace zv::test
