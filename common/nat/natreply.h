#pragma once
// Decoding of the detection servers' reply datagrams, apart from any socket.
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace zv::nat {

struct NatReply {
    enum class Kind { ChangeRequest, ChangeIpPort, ChangePort };
    Kind kind = Kind::ChangeRequest;
    // Second line of a change-request reply: the mapped "address:port" as the
    // server saw it; empty for the other two kinds.
    QString mapped;
};

// Replies are longer than this only when something is wrong; they are dropped.
inline constexpr qsizetype kMaxReplyBytes = 512;

// The reply a datagram carries, or nullopt when it is empty, too long or not
// one of the three reply verbs. Lines end with CR LF, lone CR or lone LF.
std::optional<NatReply> parseNatReply(QByteArrayView datagram);

// The address part of a mapped address: the text before the first ":".
QString mappedIp(const QString &mapped);

} // namespace zv::nat
