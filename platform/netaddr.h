#pragma once
// The machine's IPv4 addresses, as the host-name lookup gave them.
#include <QStringList>

namespace zv::platform {

// The configured addresses when any are given; else every non-loopback IPv4
// address of the machine's interfaces that are up.
QStringList localIPv4Addresses(const QStringList &configured = {});

} // namespace zv::platform
