#include "platform/netaddr.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace zv::platform {

QStringList localIPv4Addresses(const QStringList &configured)
{
    QStringList out;
    for (const auto &text : configured) {
        QHostAddress address(text.trimmed());
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !out.contains(address.toString()))
            out.append(address.toString());
    }
    if (!out.isEmpty())
        return out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const auto &iface : interfaces) {
        if (!(iface.flags() & QNetworkInterface::IsUp) || (iface.flags() & QNetworkInterface::IsLoopBack))
            continue;
        for (const auto &entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback() && !out.contains(ip.toString()))
                out.append(ip.toString());
        }
    }
    return out;
}

} // namespace zv::platform
