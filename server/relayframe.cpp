#include "server/relayframe.h"

#include "common/framing.h"
#include "platform/textcodec.h"

namespace zv::server {

namespace {
constexpr qsizetype kMaxHeaderLine = 256;
const QByteArray kMarkHead = QByteArrayLiteral("C_T\r\n");

// Finds the next LF at or after from; -1 when none.
qsizetype lineEnd(QByteArrayView b, qsizetype from)
{
    for (qsizetype i = from; i < b.size(); ++i) {
        if (b[i] == '\n')
            return i;
    }
    return -1;
}

QByteArray chopCr(QByteArrayView line)
{
    if (!line.isEmpty() && line.back() == '\r')
        line.chop(1);
    return line.toByteArray();
}
} // namespace

RelayInput parseRelayInput(QByteArrayView buf, std::int32_t key, qsizetype maxFrame)
{
    RelayInput out;
    if (buf.isEmpty())
        return out;
    const qsizetype headLen = std::min(buf.size(), kMarkHead.size());
    if (buf.first(headLen) == QByteArrayView(kMarkHead).first(headLen)) {
        if (buf.size() < kMarkHead.size())
            return out; // the start of a mark answer
        // Mark answer: six lines, then the bytes.
        qsizetype pos = 0;
        QStringList header;
        for (int i = 0; i < 6; ++i) {
            const qsizetype end = lineEnd(buf, pos);
            if (end < 0) {
                if (buf.size() - pos > kMaxHeaderLine) {
                    out.status = RelayInput::Bad;
                    out.error = QStringLiteral("mark answer header line too long");
                }
                return out;
            }
            if (end - pos > kMaxHeaderLine) {
                out.status = RelayInput::Bad;
                out.error = QStringLiteral("mark answer header line too long");
                return out;
            }
            header.append(QString::fromLatin1(chopCr(buf.sliced(pos, end - pos))));
            pos = end + 1;
        }
        const auto count = parseInt32(header[1]);
        if (!count || *count < 0 || *count > kMarkBytes || header[5] != u"#") {
            out.status = RelayInput::Bad;
            out.error = QStringLiteral("mark answer header malformed");
            return out;
        }
        if (buf.size() - pos < *count)
            return out;
        out.status = RelayInput::MarkData;
        out.fields = header;
        out.payload = buf.sliced(pos, *count).toByteArray();
        out.consumed = pos + *count;
        return out;
    }
    // A scrambled frame closed by a line "|".
    const qsizetype scan = std::min(buf.size(), maxFrame);
    QByteArray plain = buf.first(scan).toByteArray();
    unscrambleInPlace(plain, key);
    qsizetype lineStart = 0;
    QList<QByteArray> lines;
    while (lineStart < plain.size()) {
        const qsizetype end = lineEnd(plain, lineStart);
        if (end < 0)
            break;
        const QByteArray line = chopCr(QByteArrayView(plain).sliced(lineStart, end - lineStart));
        lineStart = end + 1;
        if (line == "|") {
            out.status = RelayInput::Frame;
            out.consumed = lineStart;
            for (const QByteArray &l : std::as_const(lines))
                out.fields.append(platform::fromAnsi(l));
            return out;
        }
        lines.append(line);
    }
    if (buf.size() >= maxFrame) {
        out.status = RelayInput::Bad;
        out.error = QStringLiteral("no closing line within %1 bytes").arg(maxFrame);
    }
    return out;
}

static QByteArray header(const QString &fileCode, qint64 mark, const QString &last, qsizetype count)
{
    QByteArray h = "C_T\r\n" + QByteArray::number(count) + "\r\n" + fileCode.toLatin1() + "\r\n"
                   + QByteArray::number(mark) + "\r\n" + last.toLatin1() + "\r\n#\r\n";
    return h;
}

QByteArray renderPieceAnswer(const QString &fileCode, qint64 mark, int piece, QByteArrayView bytes)
{
    QByteArray out = header(fileCode, mark, QString::number(piece), bytes.size());
    out.append(bytes.data(), bytes.size());
    return out;
}

QByteArray renderMarkAnswer(const QString &fileCode, qint64 mark, const QString &tag, QByteArrayView bytes)
{
    QByteArray out = header(fileCode, mark, tag, bytes.size());
    out.append(bytes.data(), bytes.size());
    return out;
}

qsizetype markLength(qint64 fileSize, qint64 mark)
{
    if (fileSize <= 0 || mark < 0)
        return 0;
    const qint64 start = mark * kMarkBytes;
    if (start >= fileSize)
        return 0;
    return qsizetype(std::min<qint64>(kMarkBytes, fileSize - start));
}

int pieceCount(qint64 fileSize, qint64 mark)
{
    const qsizetype len = markLength(fileSize, mark);
    return int((len + kPieceBytes - 1) / kPieceBytes);
}

} // namespace zv::server
