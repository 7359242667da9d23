#pragma once
// NAT type codes, the detection datagrams and the texts both programs show
// around the detection.
#include <QByteArray>
#include <QString>

namespace zv::nat {

// The NAT type every other module reads: -1 until the first detection or
// adoption, then 0 to 6.
enum NatType : int {
    kNotDetermined = -1,
    kNoUdp = 0,           // the first detection server never answered
    kPublic = 1,          // the server saw our own local address
    kFullCone = 2,
    kRestrictedCone = 3,
    kPortRestrictedCone = 4,
    kSymmetric = 5,
    kSymmetricReachable = 6, // symmetric, yet an answer from another address and port arrived
};

inline constexpr bool isValidNatType(int type) { return type >= kNoUdp && type <= kSymmetricReachable; }

// The client and the serving node run the same test; they differ in their
// request verbs, their local ports and what they do with nat_type.log.
enum class Variant { Client, Node };

enum class Request { ChangeRequest, ChangeIpPort, ChangePort };

// The request datagram: the verb alone, no line end.
QByteArray requestDatagram(Variant variant, Request request);

inline constexpr char kReplyChangeRequest[] = "s_re_change_request0.5";
inline constexpr char kReplyChangeIpPort[] = "s_re_change_ip_port0.5";
inline constexpr char kReplyChangePort[] = "s_re_change_port0.5";

// The value slots B and D take when their reply arrives.
inline QString receivedMark() { return QStringLiteral("收到"); }

// Shown when every local port of an address is taken (client).
inline QString bindFailedText() { return QStringLiteral("UDP 本地绑定失败。"); }
// The login window's hint while the client detects.
inline QString detectingHintText() { return QStringLiteral("正在检测网络类型,请稍候..."); }

// Local UDP ports tried in turn: [first, end).
struct PortRange {
    int first = 0;
    int end = 0;
};

inline constexpr PortRange defaultPortRange(Variant variant)
{
    return variant == Variant::Client ? PortRange{6300, 7000} : PortRange{3300, 4000};
}

} // namespace zv::nat
