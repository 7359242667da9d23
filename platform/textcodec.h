#pragma once
// The system's text encoding. Every text file, every frame on the wire and every
// byte-level rule (kana check, byte sums, byte limits, the settings byte shift)
// works on the GB18030 bytes of a text. GB18030 is a superset of GBK, so GBK
// bytes written by other programs decode unchanged and every Unicode text survives.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zv::platform {

QByteArray toAnsi(QStringView text);
QString fromAnsi(QByteArrayView bytes);

// Number of encoded bytes of a text.
qsizetype ansiLength(QStringView text);

} // namespace zv::platform
