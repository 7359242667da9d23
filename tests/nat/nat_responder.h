#pragma once
// A detection server for tests: answers the NAT detection requests the way
// the central server does, on four sockets (A:U, A:U+1, B:U+1, B:U+2), with a
// script that can make it lie about mappings, stay silent or answer late.
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <memory>

class QUdpSocket;

namespace zv::test {

struct NatResponderScript {
    bool answerRequestFirst = true;  // A:U answers "CHANGE_REQUEST"
    bool answerRequestSecond = true; // B:U+2 answers "CHANGE_REQUEST"
    bool answerIpPort = true;        // "CHANGE_IP_PORT" answered from the other address, port + 1
    bool answerPort = true;          // "CHANGE_PORT" answered from the same address, port + 1
    int portReplyDelayMs = 0;
    QString mappedFirst;  // reported instead of the real sender when not empty
    QString mappedSecond;
    QStringList ignoreFrom; // senders that get no answer at all
    // When set, the change-request replies come from this address instead
    // (a third party the client must not believe).
    QHostAddress requestRepliesFrom;
};

class NatResponder : public QObject {
    Q_OBJECT
public:
    struct Received {
        QByteArray payload;
        quint16 toPort = 0;
        QString from;
    };

    NatResponder();
    ~NatResponder() override;

    // Binds the four sockets; false (with a reason) when any is taken.
    bool start(const QHostAddress &a, const QHostAddress &b, quint16 udpPort, QString *error = nullptr);
    void setScript(const NatResponderScript &script) { script_ = script; }

    const QList<Received> &received() const { return received_; }
    int count(const QByteArray &payload, quint16 toPort) const;
    void clearReceived() { received_.clear(); }

    // A base port U with U, U+1 and U+2 free on both addresses.
    static quint16 findFreeBase(const QHostAddress &a, const QHostAddress &b);

Q_SIGNALS:
    void requestSeen(const QByteArray &payload);

private:
    void readFrom(QUdpSocket *socket, int role);
    void answer(QUdpSocket *socket, int role, const QByteArray &payload, const QHostAddress &from, quint16 fromPort);

    NatResponderScript script_;
    std::unique_ptr<QUdpSocket> a0_, a1_, b1_, b2_, third_;
    QList<Received> received_;
};

} // namespace zv::test
