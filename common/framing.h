#pragma once
// Message framing and scrambling of the control channel, the node's server
// connection and the relay links.
//
// A message is a list of text fields; on the wire each field is one line, the
// list is closed by a line "|", every line ends in CR LF, and the text is
// GB18030 (GBK). Every frame except "s_send_key" is scrambled byte by byte with
// the connection key.
#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace zv {

inline const QString kSendKeyVerb = QStringLiteral("s_send_key");

// Renders fields as an unscrambled frame. A field never holds a line break: CR
// and LF inside a field become blanks, and a field that is exactly "|" (which
// would end the frame early and let the rest pass as a message of its own) is
// sent as "| ".
QByteArray renderFrame(const QStringList &fields);

// The byte transform with key K: k = K mod 256, h = (K / 2 rounded toward
// zero) mod 256; c = NOT(((p + k) XOR k) XOR h) and back.
std::uint8_t scrambleByte(std::uint8_t p, std::int32_t key);
std::uint8_t unscrambleByte(std::uint8_t c, std::int32_t key);
void scrambleInPlace(QByteArray &bytes, std::int32_t key);
void unscrambleInPlace(QByteArray &bytes, std::int32_t key);

// A frame as sent: rendered, then scrambled with key.
QByteArray encodeFrame(const QStringList &fields, std::int32_t key);
// The unscrambled "s_send_key" frame.
QByteArray encodeKeyFrame(std::int32_t key);

// Parses a decimal 32-bit integer strictly (optional sign, digits only).
std::optional<std::int32_t> parseInt32(const QString &text);

struct Message {
    QStringList fields;       // the fields; empty for the empty message
    bool plain = false;       // true when the frame arrived unscrambled ("s_send_key")
    bool isEmpty() const { return fields.isEmpty(); }
    QString verb() const { return fields.isEmpty() ? QString() : fields.first(); }
    // Field i, or the empty text when the message has fewer fields.
    QString field(qsizetype i) const { return i >= 0 && i < fields.size() ? fields.at(i) : QString(); }
};

// Accumulates the bytes of one connection and yields every complete message in
// order. A frame whose raw first line is "s_send_key" is taken unscrambled and
// its key adopted for everything after it; every other frame is unscrambled
// with the current key. Bytes after a closing line are kept for the next
// message. The buffer is bounded: when it holds more than the limit without a
// complete message it is dropped and overflowed() reports it once.
class FrameSplitter {
public:
    static constexpr qsizetype kDefaultLimit = 16 * 1024 * 1024;

    explicit FrameSplitter(qsizetype limit = kDefaultLimit) : limit_(limit) {}

    void setKey(std::int32_t key);
    std::int32_t key() const { return key_; }

    void append(QByteArrayView bytes);
    // The next complete message, or nullopt when more bytes are needed.
    std::optional<Message> next();

    // True once after the buffer was dropped for exceeding the limit.
    bool takeOverflow() { return std::exchange(overflowed_, false); }
    qsizetype buffered() const { return raw_.size(); }
    void clear();

private:
    void decideMode();

    QByteArray raw_;
    QByteArray plain_;         // raw_ unscrambled (or copied) up to plainDone_
    qsizetype scanFrom_ = 0;   // first byte of plain_ not yet searched for a closing line
    bool modeKnown_ = false;
    bool rawMode_ = false;
    bool skipLeadingLf_ = false;
    bool overflowed_ = false;
    std::int32_t key_ = -1;
    qsizetype limit_;
};

} // namespace zv
