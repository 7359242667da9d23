#include "node/fileaccess.h"

#include <QFile>
#include <QFileInfo>

namespace zv::node {

bool DiskFileAccess::exists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

std::optional<FileSlice> DiskFileAccess::read(const QString &path, qint64 offset, qint64 maxBytes)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    FileSlice slice;
    slice.size = file.size();
    if (offset < 0 || maxBytes <= 0 || offset > slice.size)
        return slice;
    if (!file.seek(offset))
        return std::nullopt;
    slice.bytes = file.read(std::min(maxBytes, slice.size - offset));
    return slice;
}

RetriedRead readWithRetry(FileAccess &files, const RetryPolicy &policy, const QString &path,
                          qint64 offset, qint64 maxBytes)
{
    RetriedRead result;
    const auto started = policy.now ? policy.now() : std::chrono::nanoseconds{};
    // The attempt count bounds the loop even when the clock does not move.
    const qint64 maxAttempts = qint64(policy.limit.count()) * 2 + 2;
    for (qint64 attempt = 1;; ++attempt) {
        if (!files.exists(path)) {
            result.outcome = ReadOutcome::Missing;
            return result;
        }
        if (auto slice = files.read(path, offset, maxBytes)) {
            result.outcome = ReadOutcome::Read;
            result.slice = std::move(*slice);
            return result;
        }
        if (!policy.now || policy.now() - started >= policy.limit || attempt >= maxAttempts) {
            result.outcome = ReadOutcome::Unopenable;
            return result;
        }
        if (policy.pause)
            policy.pause();
    }
}

} // namespace zv::node
