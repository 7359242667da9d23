#include "client/core/nodestarter.h"

#include "platform/paths.h"
#include "platform/processes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

namespace zv::client {

NodeStarter::NodeStarter(const QString &programDirectory)
    : programDirectory_(platform::withTrailingSlash(programDirectory)),
      terminator_([] { return platform::terminateProcesses(kNodeProgram); }),
      waiter_([](int ms) {
          const QDeadlineTimer deadline(ms);
          while (!deadline.hasExpired()) {
              QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
              QThread::msleep(10);
          }
      }),
      launcher_([](const QString &program, const QString &workingDirectory) {
          return QProcess::startDetached(program, {}, workingDirectory);
      })
{
}

QString NodeStarter::nodePath() const
{
    return programDirectory_ + QStringLiteral("computer/") + kNodeProgram;
}

bool NodeStarter::stop()
{
    return terminator_();
}

bool NodeStarter::start()
{
    if (!stop())
        return false;
    waiter_(1000);
    const QString path = nodePath();
    started_ = path;
    // A node that cannot be started is not reported: the client works without it.
    return launcher_(path, programDirectory_ + QStringLiteral("computer/"));
}

} // namespace zv::client
