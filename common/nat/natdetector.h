#pragma once
// NAT type detection against the two detection servers, shared by the client
// and the serving node. Everything runs on the calling (user-interface) thread:
// every wait polls, sleeps and processes pending events, so the reply
// datagrams that fill the slots arrive through the same thread.
#include "common/deploy.h"
#include "common/nat/nattype.h"
#include "platform/netaddr.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QUdpSocket;

namespace zv::platform {
class StopwatchTable;
}

namespace zv::nat {

// Where the detection datagrams go: the central server's address on the UDP
// port, and the second detection server (named in the login reply) on that
// port + 2.
struct NatServers {
    QString first;
    quint16 firstPort = 80;
    QString second;
    quint16 secondPort = 82; // 0 when the second server has no usable port

    static NatServers make(const QString &first, const QString &second, quint16 udpPort);
};

// The addresses the programs bind their UDP socket to: deploy.ini's
// local_addresses when set, else the machine's IPv4 addresses.
inline QStringList natLocalAddresses(const DeployConfig &deploy)
{
    return platform::localIPv4Addresses(deploy.localAddresses);
}

// The four reply slots.
struct NatReplySlots {
    QString a; // mapping seen by the first server
    QString b; // "收到" once a reply from another address and port arrived
    QString c; // mapping seen by the second server
    QString d; // "收到" once a reply from another port arrived
};

struct NatTimings {
    int replyTimeoutMs = 10000; // each wait gives up this long after its step's last send
    int shortWaitPolls = 10;    // the changed-port wait ends after this many polls
    int pollSleepMs = 1;
};

// What binding and classifying gave.
struct NatBindResult {
    bool bound = false;      // the socket holds a binding at the end
    QString localAddress;    // the address it is bound to
    quint16 localPort = 0;
    int natType = kNotDetermined;
    bool adopted = false;    // client: taken from nat_type.log, no datagram sent
    bool cancelled = false;
};

class NatDetector : public QObject {
    Q_OBJECT
public:
    // The stopwatch table is the program's; the waits use stopwatchIndex
    // (the general stopwatch by default).
    NatDetector(Variant variant, platform::StopwatchTable &stopwatches, QObject *parent = nullptr);

    Variant variant() const { return variant_; }
    // Server names that are not address literals are looked up here, once.
    void setServers(const NatServers &servers);
    const NatServers &servers() const { return servers_; }
    void setTimings(const NatTimings &timings) { timings_ = timings; }
    void setPortRange(PortRange range) { ports_ = range; }
    PortRange portRange() const { return ports_; }
    void setStopwatchIndex(int index) { stopwatchIndex_ = index; }

    int natType() const { return natType_; }
    void setNatType(int type) { natType_ = type; }
    const NatReplySlots &replySlots() const { return slots_; }
    void clearReplySlots() { slots_ = {}; }
    bool running() const { return running_; }

    // Ends the current run at its next poll; the NAT type keeps the value it
    // had before the run. A new run clears the flag.
    void cancel() { cancelled_ = true; }

    // Receive handler: fills the slots from one datagram. Returns whether it
    // was one of the three reply verbs (the node passes everything else on to
    // its file serving).
    bool handleDatagram(const QByteArray &datagram, const QHostAddress &sender);
    // Reads every datagram that arrives on socket and hands it to
    // handleDatagram (the client's main socket carries nothing else).
    void attach(QUdpSocket *socket);

    // Steps 1 to 10 on a bound socket; localAddress is compared with the
    // address the first server saw. Stores and returns the NAT type (the
    // previous value when cancelled). The slots are emptied first.
    int detect(QUdpSocket &socket, const QString &localAddress);

    // Rebinds socket over the addresses, last to first, trying the variant's
    // port range, and classifies on each until a non-zero type. The client
    // adopts a valid type from natLogPath instead of detecting; the node
    // always detects and writes the result into natLogPath.
    NatBindResult bindAndClassify(QUdpSocket &socket, const QStringList &addresses, const QString &natLogPath);

Q_SIGNALS:
    // A line for the program's diagnostic log.
    void trace(const QString &line);
    // Client: a message for the user ("UDP 本地绑定失败。").
    void message(const QString &text);
    // Client: the login window's hint while it detects.
    void hint(const QString &text);

private:
    enum class WaitEnd { Met, TimedOut, Aborted };

    void sendFive(QUdpSocket &socket, Request request, const QHostAddress &to, quint16 port);
    template <typename Cond>
    WaitEnd waitUntil(QUdpSocket &socket, Cond cond, int maxPolls = -1);
    int finish(int type, const QString &why);
    bool aborted(const QPointer<QUdpSocket> &socket) const;
    static QHostAddress resolve(const QString &text);
    static QString addressText(const QHostAddress &address);

    Variant variant_;
    platform::StopwatchTable &stopwatches_;
    int stopwatchIndex_ = 0;
    NatServers servers_;
    NatTimings timings_;
    PortRange ports_;
    int natType_ = kNotDetermined;
    NatReplySlots slots_;
    QString firstText_;
    QString secondText_;
    bool cancelled_ = false;
    bool running_ = false;
    QPointer<QUdpSocket> attached_;
};

} // namespace zv::nat
