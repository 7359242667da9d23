#pragma once
// Relay links: when no UDP path can be made the central server names a relay
// server; the node opens a TCP link to it, announces itself with "C_LINK0.5"
// and answers every "t_request0.5" with one whole mark in the "C_T" layout.
#include "common/framing.h"
#include "node/fileaccess.h"
#include "node/serving.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <array>
#include <functional>
#include <optional>

namespace zv::node {

// The answer to "t_request0.5" (file code, mark, tag): the six lines "C_T",
// byte count, code, mark, tag, "#", each with CR LF, then the mark's bytes.
// The byte count is 65,280 for every mark but the file's last, which carries
// the rest of the size taken from the code. nullopt (no answer) when no
// served record with a file on disk holds the code, the mark lies beyond the
// end of the file, the code does not start with a size, or the file is no
// longer as long as its code says.
std::optional<QByteArray> relayAnswer(ServingLibrary &library, FileAccess &files, const RetryPolicy &retry,
                                      const QString &fileCode, const QString &markText, const QString &tag);

class RelayLinks : public QObject {
    Q_OBJECT
public:
    struct Timings {
        int connectWaitMs = 10000;
        int keyWaitMs = 10000;
    };
    // A relay link receives nothing large; more than this without a complete
    // message drops the buffer.
    static constexpr qsizetype kBufferLimit = 64 * 1024;

    RelayLinks(ServingLibrary &library, FileAccess &files, std::function<qint32()> computerId,
               QObject *parent = nullptr);
    ~RelayLinks() override;

    void setTimings(Timings timings) { timings_ = timings; }
    void setLog(std::function<void(const QString &)> log) { log_ = std::move(log); }
    void setRetryPolicy(RetryPolicy policy) { retry_ = std::move(policy); }

    // "s_reply_t0.5": opens a link to address:port unless one is open to it.
    // Waits (processing events) for the connection and the link's key.
    void open(const QString &address, const QString &portText);
    // Frees the entries whose link has dropped.
    void releaseDropped();

    int activeLinks() const;
    bool hasLink(const QString &address, quint16 port) const;

private:
    struct Entry {
        QString address;
        int port = -1;
        QPointer<QTcpSocket> socket;
        FrameSplitter splitter{kBufferLimit};
        std::int32_t key = -1;
        bool hasKey = false;
        bool connected = false;
    };
    void read(Entry &entry);
    void free(Entry &entry);
    void log(const QString &line) const;

    ServingLibrary &library_;
    FileAccess &files_;
    std::function<qint32()> computerId_;
    std::function<void(const QString &)> log_;
    RetryPolicy retry_;
    Timings timings_;
    std::array<Entry, 100> entries_;
};

} // namespace zv::node
