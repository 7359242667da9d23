#include "common/framing.h"

#include "platform/textcodec.h"
#include "platform/textfile.h"

namespace zv {

QByteArray renderFrame(const QStringList &fields)
{
    QByteArray out;
    for (QString field : fields) {
        if (field.contains(u'\r') || field.contains(u'\n')) {
            field.replace(u'\r', u' ');
            field.replace(u'\n', u' ');
        }
        if (field == QStringLiteral("|"))
            field = QStringLiteral("| ");
        out += platform::toAnsi(field);
        out += "\r\n";
    }
    out += "|\r\n";
    return out;
}

static inline std::uint8_t lowKey(std::int32_t key)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(key) & 0xFFu);
}

static inline std::uint8_t halfKey(std::int32_t key)
{
    // Division in C++ rounds toward zero, as the transform requires.
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(key / 2) & 0xFFu);
}

std::uint8_t scrambleByte(std::uint8_t p, std::int32_t key)
{
    const std::uint8_t k = lowKey(key);
    const std::uint8_t h = halfKey(key);
    const std::uint8_t sum = static_cast<std::uint8_t>(p + k);
    return static_cast<std::uint8_t>(~((sum ^ k) ^ h));
}

std::uint8_t unscrambleByte(std::uint8_t c, std::int32_t key)
{
    const std::uint8_t k = lowKey(key);
    const std::uint8_t h = halfKey(key);
    const std::uint8_t x = static_cast<std::uint8_t>(static_cast<std::uint8_t>(~c) ^ h ^ k);
    return static_cast<std::uint8_t>(x - k);
}

void scrambleInPlace(QByteArray &bytes, std::int32_t key)
{
    for (auto &b : bytes)
        b = static_cast<char>(scrambleByte(static_cast<std::uint8_t>(b), key));
}

void unscrambleInPlace(QByteArray &bytes, std::int32_t key)
{
    for (auto &b : bytes)
        b = static_cast<char>(unscrambleByte(static_cast<std::uint8_t>(b), key));
}

QByteArray encodeFrame(const QStringList &fields, std::int32_t key)
{
    QByteArray frame = renderFrame(fields);
    scrambleInPlace(frame, key);
    return frame;
}

QByteArray encodeKeyFrame(std::int32_t key)
{
    return renderFrame({kSendKeyVerb, QString::number(key)});
}

std::optional<std::int32_t> parseInt32(const QString &text)
{
    if (text.isEmpty() || text.size() > 11)
        return std::nullopt;
    qsizetype i = 0;
    if (text[0] == u'-' || text[0] == u'+')
        i = 1;
    if (i == text.size())
        return std::nullopt;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (text[j] < u'0' || text[j] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

void FrameSplitter::setKey(std::int32_t key)
{
    if (key == key_)
        return;
    key_ = key;
    // Bytes not yet consumed are unscrambled again with the new key.
    plain_.clear();
    scanFrom_ = 0;
    modeKnown_ = false;
}

void FrameSplitter::clear()
{
    raw_.clear();
    plain_.clear();
    scanFrom_ = 0;
    modeKnown_ = false;
    skipLeadingLf_ = false;
}

void FrameSplitter::append(QByteArrayView bytes)
{
    raw_.append(bytes.data(), bytes.size());
}

void FrameSplitter::decideMode()
{
    static const QByteArray keyLine = kSendKeyVerb.toLatin1();
    modeKnown_ = false;
    if (raw_.size() > keyLine.size()) {
        rawMode_ = raw_.startsWith(keyLine) && (raw_[keyLine.size()] == '\r' || raw_[keyLine.size()] == '\n');
        modeKnown_ = true;
    } else if (!keyLine.startsWith(raw_)) {
        rawMode_ = false;
        modeKnown_ = true;
    }
}

std::optional<Message> FrameSplitter::next()
{
    for (;;) {
        if (skipLeadingLf_ && !raw_.isEmpty()) {
            // The LF of a closing "|" CR LF that arrived after the CR.
            const std::uint8_t first = static_cast<std::uint8_t>(raw_[0]);
            const bool lf = rawMode_ ? first == '\n' : unscrambleByte(first, key_) == '\n';
            if (lf)
                raw_.remove(0, 1);
            skipLeadingLf_ = false;
            plain_.clear();
            scanFrom_ = 0;
            modeKnown_ = false;
        }
        if (raw_.isEmpty())
            return std::nullopt;
        if (!modeKnown_) {
            decideMode();
            if (!modeKnown_)
                return std::nullopt; // a prefix of "s_send_key": wait for more
            plain_.clear();
            scanFrom_ = 0;
        }
        // Bring the plain copy up to the raw bytes.
        const qsizetype have = plain_.size();
        if (have < raw_.size()) {
            QByteArray more = raw_.mid(have);
            if (!rawMode_)
                unscrambleInPlace(more, key_);
            plain_.append(more);
        }

        // Look for a line that holds "|" alone, starting at a line start.
        qsizetype lineStart = scanFrom_;
        qsizetype closeEnd = -1;
        bool pendingLf = false;
        for (qsizetype i = scanFrom_; i < plain_.size(); ++i) {
            const char c = plain_[i];
            if (c != '\r' && c != '\n')
                continue;
            if (i - lineStart == 1 && plain_[lineStart] == '|') {
                closeEnd = i + 1;
                if (c == '\r') {
                    if (i + 1 < plain_.size()) {
                        if (plain_[i + 1] == '\n')
                            ++closeEnd;
                    } else {
                        pendingLf = true;
                    }
                }
                break;
            }
            if (c == '\r' && i + 1 < plain_.size() && plain_[i + 1] == '\n')
                ++i;
            lineStart = i + 1;
        }
        if (closeEnd < 0) {
            scanFrom_ = lineStart; // resume at the start of the unfinished line
            if (raw_.size() > limit_) {
                clear();
                overflowed_ = true;
            }
            return std::nullopt;
        }

        Message message;
        message.plain = rawMode_;
        const auto lines = platform::splitByteLines(QByteArrayView(plain_).first(lineStart));
        for (QByteArray line : lines) {
            const auto zero = line.indexOf('\0');
            if (zero >= 0)
                line.truncate(zero);
            message.fields.append(platform::fromAnsi(line));
        }
        raw_.remove(0, closeEnd);
        plain_.clear();
        scanFrom_ = 0;
        modeKnown_ = false;
        skipLeadingLf_ = pendingLf; // rawMode_ is kept for the LF test above

        if (message.verb() == kSendKeyVerb) {
            if (const auto key = parseInt32(message.field(1)))
                key_ = *key;
        }
        return message;
    }
}

} // namespace zv
