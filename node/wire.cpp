#include "node/wire.h"

#include <QHostAddress>

namespace zv::node {

QStringList datagramLines(QByteArrayView datagram)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = datagram.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = datagram[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QString::fromLatin1(datagram.sliced(start, i - start)));
        if (c == '\r' && i + 1 < n && datagram[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(QString::fromLatin1(datagram.sliced(start)));
    return lines;
}

QByteArray lineList(const QStringList &lines)
{
    QByteArray out;
    for (const auto &line : lines) {
        out += line.toLatin1();
        out += "\r\n";
    }
    return out;
}

QByteArray dataDatagram(QByteArrayView chunk, std::uint32_t chunkNumber)
{
    QByteArray out;
    out.reserve(kDataHeader.size() + chunk.size() + 4);
    out += kDataHeader;
    out.append(chunk.data(), chunk.size());
    out += static_cast<char>((chunkNumber >> 24) & 0xFF);
    out += static_cast<char>((chunkNumber >> 16) & 0xFF);
    out += static_cast<char>((chunkNumber >> 8) & 0xFF);
    out += static_cast<char>(chunkNumber & 0xFF);
    return out;
}

static std::optional<qint64> parseUnsigned(QStringView text, qint64 max)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    qint64 v = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v > max)
        return std::nullopt;
    return v;
}

QList<std::uint32_t> lostChunksOfMark(const QString &lostList, qint64 mark)
{
    QList<std::uint32_t> out;
    if (mark < 0)
        return out;
    const qint64 first = mark * kChunksPerMark;
    const qint64 last = first + kChunksPerMark - 1;
    qsizetype pos = 0;
    while (out.size() < kChunksPerMark) {
        const qsizetype open = lostList.indexOf(u'<', pos);
        if (open < 0)
            break;
        const qsizetype close = lostList.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        const auto n = parseUnsigned(QStringView(lostList).mid(open + 1, close - open - 1), 0xFFFFFFFFll);
        if (n && *n >= first && *n <= last)
            out.append(static_cast<std::uint32_t>(*n));
        pos = close + 1;
    }
    return out;
}

std::optional<qint64> parseMark(const QString &text)
{
    return parseUnsigned(text, 0x7FFFFFFFll);
}

std::optional<Endpoint> parseEndpoint(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    const QString address = text.left(colon).trimmed();
    QHostAddress host;
    if (!host.setAddress(address) || host.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    const auto port = parseUnsigned(QStringView(text).mid(colon + 1).trimmed(), 65535);
    if (!port || *port == 0)
        return std::nullopt;
    return Endpoint{host.toString(), static_cast<quint16>(*port)};
}

} // namespace zv::node
