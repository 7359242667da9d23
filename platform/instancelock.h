#pragma once
// One instance per program and user: an exclusive lock on a file named after the
// program title in the user's runtime folder. The kernel releases the lock when
// the process ends, so a crashed instance never blocks the next start.
#include <QString>

namespace zv::platform {

// The title the lock is named after: the program file's name without its folder,
// cut at its first ".", every character after the first in lower case.
QString instanceTitle(const QString &programPath);

// Folder of the lock files: $XDG_RUNTIME_DIR, else /tmp.
QString runtimeFolder();

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this process now holds the lock for title; false when another
    // process holds it or the lock file cannot be made.
    bool tryLock(const QString &title, const QString &folder = runtimeFolder());
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace zv::platform
