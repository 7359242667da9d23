#pragma once
// Reading the served files. Files are opened again for every mark and every
// repair; nothing of a file is cached. The reads go through a small interface
// so tests can make a file that exists refuse to open.
#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace zv::node {

struct FileSlice {
    qint64 size = 0;     // the whole file's size
    QByteArray bytes;    // the bytes read from the offset asked (fewer at the end)
};

class FileAccess {
public:
    virtual ~FileAccess() = default;
    virtual bool exists(const QString &path) = 0;
    // Opens path for reading; if it is at least offset bytes long, reads at
    // most maxBytes from offset. nullopt when the file cannot be opened.
    virtual std::optional<FileSlice> read(const QString &path, qint64 offset, qint64 maxBytes) = 0;
};

class DiskFileAccess final : public FileAccess {
public:
    bool exists(const QString &path) override;
    std::optional<FileSlice> read(const QString &path, qint64 offset, qint64 maxBytes) override;
};

// How long a file that exists but refuses to open is tried again, and how the
// waiting is done: the clock and the pause come from the caller's transport.
struct RetryPolicy {
    std::chrono::milliseconds limit{100};
    std::function<std::chrono::nanoseconds()> now;
    std::function<void()> pause;   // about 1 ms
};

enum class ReadOutcome { Read, Missing, Unopenable };

struct RetriedRead {
    ReadOutcome outcome = ReadOutcome::Missing;
    FileSlice slice;
};

// Reads with bounded retries: Missing as soon as the file is gone,
// Unopenable once the limit has passed without a successful open.
RetriedRead readWithRetry(FileAccess &files, const RetryPolicy &policy, const QString &path,
                          qint64 offset, qint64 maxBytes);

} // namespace zv::node
