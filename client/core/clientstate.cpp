#include "client/core/clientstate.h"

#include "platform/paths.h"

namespace zv::client {

ClientState::ClientState(const QString &programDirectory_, const DeployConfig &deploy_,
                         platform::StopwatchTable::Clock clock)
    : programDirectory(platform::withTrailingSlash(programDirectory_)),
      deploy(deploy_),
      serverAddress(deploy_.serverAddress),
      serverHost(deploy_.serverHost),
      firstDetectionServer(deploy_.serverHost),
      serverTcpPort(deploy_.tcpPort),
      serverUdpPort(deploy_.udpPort),
      downloadFolder(platform::defaultDownloadFolder()),
      stopwatches(std::move(clock))
{
    stopwatches.start(platform::StopwatchTable::kGeneral);
}

} // namespace zv::client
