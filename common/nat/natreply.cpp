#include "common/nat/natreply.h"

#include "common/nat/nattype.h"
#include "platform/textfile.h"

namespace zv::nat {

QByteArray requestDatagram(Variant variant, Request request)
{
    const char *prefix = variant == Variant::Client ? "U_" : "C_";
    const char *verb = "CHANGE_REQUEST0.5";
    if (request == Request::ChangeIpPort)
        verb = "CHANGE_IP_PORT0.5";
    else if (request == Request::ChangePort)
        verb = "CHANGE_PORT0.5";
    return QByteArray(prefix) + verb;
}

std::optional<NatReply> parseNatReply(QByteArrayView datagram)
{
    if (datagram.isEmpty() || datagram.size() > kMaxReplyBytes)
        return std::nullopt;
    const QList<QByteArray> lines = platform::splitByteLines(datagram);
    if (lines.isEmpty())
        return std::nullopt;
    const QByteArray &verb = lines.front();
    NatReply reply;
    if (verb == kReplyChangeRequest) {
        reply.kind = NatReply::Kind::ChangeRequest;
        if (lines.size() > 1)
            reply.mapped = QString::fromLatin1(lines[1]);
    } else if (verb == kReplyChangeIpPort) {
        reply.kind = NatReply::Kind::ChangeIpPort;
    } else if (verb == kReplyChangePort) {
        reply.kind = NatReply::Kind::ChangePort;
    } else {
        return std::nullopt;
    }
    return reply;
}

QString mappedIp(const QString &mapped)
{
    const qsizetype colon = mapped.indexOf(u':');
    return colon < 0 ? mapped : mapped.left(colon);
}

} // namespace zv::nat
