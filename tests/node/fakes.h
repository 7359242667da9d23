#pragma once
// Test doubles for the node's seams: a transport that records datagrams and
// runs on a clock the test moves, an in-memory library, and file access that
// can refuse to open.
#include "node/serving.h"

#include <QMap>
#include <QSet>

namespace zv::node::test {

struct SentDatagram {
    QString address;
    quint16 port = 0;
    QByteArray bytes;
};

class FakeTransport : public ServingTransport {
public:
    void sendDatagram(const QString &address, quint16 port, const QByteArray &bytes) override
    {
        sent.append({address, port, bytes});
    }
    std::chrono::nanoseconds now() const override { return clock; }
    void pause() override
    {
        ++pauses;
        clock += std::chrono::milliseconds(1);
    }
    void setSendingTick(bool on) override { tickOn = on; }

    void advance(std::chrono::milliseconds ms) { clock += ms; }
    QList<SentDatagram> take() { return std::exchange(sent, {}); }

    QList<SentDatagram> sent;
    std::chrono::nanoseconds clock{std::chrono::seconds(1000)};
    int pauses = 0;
    bool tickOn = false;
};

class FakeLibrary : public ServingLibrary {
public:
    std::optional<ServedRecord> findServed(const QString &code) override
    {
        ++lookups;
        for (const auto &r : records) {
            if (r.code == code && r.live && r.share == 1)
                return ServedRecord{r.path, r.name};
        }
        return std::nullopt;
    }
    void withdrawMissing(const QString &code, const QString &name) override
    {
        withdrawn.append(code + u'|' + name);
        for (auto &r : records) {
            if (r.code == code && r.name == name && r.live) {
                r.live = false;
                break;
            }
        }
    }
    struct Row {
        QString code, path, name;
        int share = 1;
        bool live = true;
    };
    QList<Row> records;
    QStringList withdrawn;
    int lookups = 0;
};

// Files that exist but refuse to open for the first failures reads.
class StubbornFiles : public FileAccess {
public:
    explicit StubbornFiles(int failures) : failures_(failures) {}
    bool exists(const QString &) override { return true; }
    std::optional<FileSlice> read(const QString &path, qint64 offset, qint64 maxBytes) override
    {
        ++attempts;
        if (failures_ < 0 || attempts <= failures_)
            return std::nullopt;
        return disk_.read(path, offset, maxBytes);
    }
    int attempts = 0;

private:
    int failures_;
    DiskFileAccess disk_;
};

// Chunk number and payload of a data datagram.
inline std::optional<std::pair<std::uint32_t, QByteArray>> parseData(const QByteArray &d)
{
    if (d.size() < 14 || !d.startsWith("C_UDP0.5\r\n"))
        return std::nullopt;
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData() + d.size() - 4);
    const std::uint32_t n = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    return std::make_pair(n, d.mid(10, d.size() - 14));
}

inline QByteArray patternBytes(qsizetype n, int seed = 7)
{
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 31 + seed + i / 251) & 0xFF);
    return b;
}

} // namespace zv::node::test
