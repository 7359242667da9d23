#pragma once
// Datagram layouts of the transfers between a downloader and this node, and
// the file geometry they share: chunks of 1,020 bytes, marks of 64 chunks.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace zv::node {

inline constexpr int kChunkConstant = 1024;
inline constexpr int kChunkBytes = kChunkConstant - 4;             // 1,020 file bytes per chunk
inline constexpr int kChunksPerMark = 64;
inline constexpr qint64 kMarkBytes = qint64(kChunkBytes) * kChunksPerMark;  // 65,280
inline constexpr int kDatagramLimit = kChunkConstant + 10;         // the 1,034-byte receive buffer
inline constexpr int kTransferSlots = 100;
inline constexpr int kRelayLinks = 100;

inline const QByteArray kDataHeader = QByteArrayLiteral("C_UDP0.5\r\n");
inline const QString kMarkerPrefix = QStringLiteral("C_P2PFILETRANSMARK0.5-");

// Splits a datagram into lines at CR, LF or CR LF; a final break starts no
// empty line. Bytes are read as Latin-1: every verb and number is ASCII, and a
// file code that is not ASCII cannot match a stored one anyway.
QStringList datagramLines(QByteArrayView datagram);

// A line list: each text followed by CR LF, no closing line.
QByteArray lineList(const QStringList &lines);

// "C_UDP0.5" CR LF, the chunk bytes, the chunk number as 4 bytes, most
// significant first.
QByteArray dataDatagram(QByteArrayView chunk, std::uint32_t chunkNumber);

// The chunk numbers of a lost list ("<n>" elements) that lie inside mark:
// elements that are not a decimal number or whose chunk belongs to another
// mark are skipped. Order is kept; at most 64 numbers are returned.
QList<std::uint32_t> lostChunksOfMark(const QString &lostList, qint64 mark);

// A mark number from the wire: a decimal integer from 0 to 2^31-1.
std::optional<qint64> parseMark(const QString &text);

// "address:port" as the central server writes a peer's endpoint; nullopt when
// the address is not IPv4 dotted text or the port not 1 to 65535.
struct Endpoint {
    QString address;
    quint16 port = 0;
    bool operator==(const Endpoint &) const = default;
};
std::optional<Endpoint> parseEndpoint(const QString &text);

} // namespace zv::node
