#pragma once
// Starting and stopping the serving node computer/Zorvan_C. The client and the
// node have no channel between them: the client only ends every running node
// process and starts a fresh one.
#include <QString>

#include <functional>

namespace zv::client {

inline const QString kNodeProgram = QStringLiteral("Zorvan_C");

class NodeStarter {
public:
    // Ends every running node process; false when one could not be ended.
    using Terminator = std::function<bool()>;
    // Waits ms milliseconds (the default processes events while it waits).
    using Waiter = std::function<void(int ms)>;
    // Starts program detached in workingDirectory; false when it could not.
    using Launcher = std::function<bool(const QString &program, const QString &workingDirectory)>;

    explicit NodeStarter(const QString &programDirectory);

    void setTerminator(Terminator terminator) { terminator_ = std::move(terminator); }
    void setWaiter(Waiter waiter) { waiter_ = std::move(waiter); }
    void setLauncher(Launcher launcher) { launcher_ = std::move(launcher); }

    QString nodePath() const;

    // Ends every running node process.
    bool stop();
    // Ends every running node process, waits a second and starts a new node.
    // A failed termination starts nothing. True when the new node was started.
    bool start();
    // The node started last, empty before the first start.
    QString startedPath() const { return started_; }

private:
    QString programDirectory_;
    Terminator terminator_;
    Waiter waiter_;
    Launcher launcher_;
    QString started_;
};

} // namespace zv::client
