#pragma once
// What arrives on a relay link, parsed apart from the socket: scrambled frames
// ("C_LINK0.5", "U_LINK0.5") and the node's plain mark answers, six header
// lines "C_T", byte count, feature code, mark, tag, "#" and then the bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <cstdint>

namespace zv::server {

inline constexpr qsizetype kMarkBytes = 65280;
inline constexpr qsizetype kPieceBytes = 8160;

struct RelayInput {
    enum Status { Incomplete, Frame, MarkData, Bad } status = Incomplete;
    qsizetype consumed = 0;   // bytes to drop from the front of the buffer
    QStringList fields;       // Frame: the fields; MarkData: the six header lines
    QByteArray payload;       // MarkData: the bytes after the header
    QString error;            // Bad
};

// Looks at the front of buf. maxFrame bounds a scrambled frame.
RelayInput parseRelayInput(QByteArrayView buf, std::int32_t key, qsizetype maxFrame = 4096);

// The relay's answer to a client: "C_T", byte count, feature code, mark,
// piece, "#", each with CR LF, then the piece's bytes; plain.
QByteArray renderPieceAnswer(const QString &fileCode, qint64 mark, int piece, QByteArrayView bytes);
// The node's answer, as a node sends it (for tests and tools).
QByteArray renderMarkAnswer(const QString &fileCode, qint64 mark, const QString &tag, QByteArrayView bytes);

// Bytes of mark m of a file of the given size, and pieces in it.
qsizetype markLength(qint64 fileSize, qint64 mark);
int pieceCount(qint64 fileSize, qint64 mark);

} // namespace zv::server
