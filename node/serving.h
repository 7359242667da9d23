#pragma once
// Serving files to downloaders over UDP: the transfer table of 100 slots, the
// answers to the downloaders' datagrams and the 1 ms sending tick with marker
// resends, repairs and idle removal.
//
// The engine owns no socket and reads no clock of its own: it talks to a
// ServingTransport, so tests capture every datagram and drive time.
#include "node/fileaccess.h"
#include "node/wire.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <optional>

namespace zv::node {

class ServingTransport {
public:
    virtual ~ServingTransport() = default;
    virtual void sendDatagram(const QString &address, quint16 port, const QByteArray &bytes) = 0;
    virtual std::chrono::nanoseconds now() const = 0;
    // The short sleep after each mark and between retries of a file open.
    virtual void pause() = 0;
    // Switches the 1 ms sending tick (Timer_udp_trans) on or off.
    virtual void setSendingTick(bool on) = 0;
};

// A record that may be served: live and offered to other peers.
struct ServedRecord {
    QString path;       // trailing blanks removed
    QString fileName;   // trailing blanks removed
    QString fullPath() const { return path + fileName; }
};

class ServingLibrary {
public:
    virtual ~ServingLibrary() = default;
    // The first live record with this file code whose share is 1.
    virtual std::optional<ServedRecord> findServed(const QString &fileCode) = 0;
    // The file of a record with this code and name is gone: with one live
    // holder its removal is marked (state 2), with several the first is deleted.
    virtual void withdrawMissing(const QString &fileCode, const QString &fileName) = 0;
};

struct TransferSlot {
    enum State { Idle = 0, SendMark = 1, Repair = 2 };
    QString address;
    quint16 port = 0;
    QString fileCode;
    QString fullPath;
    QString fileName;
    int state = Idle;
    qint64 mark = -1;
    QString lostList;
    bool markerAnswered = true;
    int markerResends = 0;
    std::chrono::nanoseconds idleSince{};
    std::chrono::nanoseconds markerSince{};
};

class ServingEngine {
public:
    struct Timings {
        std::chrono::milliseconds markerResend{1000};
        int maxMarkerResends = 10;
        std::chrono::milliseconds idleRemoval{10000};
        std::chrono::milliseconds openRetry{100};
    };

    ServingEngine(ServingTransport &transport, ServingLibrary &library, FileAccess &files);
    ServingEngine(ServingTransport &transport, ServingLibrary &library, FileAccess &files, Timings timings);

    // One datagram from address:port. Datagrams longer than the receive
    // buffer are cut to it by the caller.
    void handleDatagram(const QString &address, quint16 port, QByteArrayView datagram);
    // One pass of the sending tick.
    void tick();

    qsizetype transferCount() const { return slots_.size(); }
    const QList<TransferSlot> &transfers() const { return slots_; }

private:
    void fileRequest(const QString &address, quint16 port, const QStringList &lines);
    TransferSlot *findSlot(const QString &address, quint16 port, const QString &code);
    void removeSlot(qsizetype index);
    // Sends the mark's chunks (or the listed ones); false when the mark
    // starts beyond the end of the file. nullopt when the file could not be
    // read and the transfer was dropped.
    std::optional<bool> sendChunks(qsizetype index, bool repair);
    void send(const TransferSlot &slot, const QByteArray &bytes);
    RetryPolicy retryPolicy() const;

    ServingTransport &transport_;
    ServingLibrary &library_;
    FileAccess &files_;
    Timings timings_;
    QList<TransferSlot> slots_;
};

} // namespace zv::node
