#pragma once
// A temporary folder per test, removed afterwards.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace zv::test {

class Sandbox {
public:
    Sandbox();
    // Absolute path of name inside the sandbox.
    QString path(const QString &name = {}) const;
    // Writes bytes to name (folders created as needed); returns the full path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;
    bool mkdir(const QString &name) const;

private:
    QTemporaryDir dir_;
};

// Waits (processing events) until pred holds or timeoutMs passes.
template <typename Pred>
bool waitFor(Pred pred, int timeoutMs = 5000);

} // namespace zv::test

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Pred>
bool zv::test::waitFor(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
