#include "platform/textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zv::platform {

QByteArray toAnsi(QStringView text)
{
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid())
        return text.toUtf8(); // Qt without ICU; never the case on the supported platform
    return encoder.encode(text);
}

QString fromAnsi(QByteArrayView bytes)
{
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

qsizetype ansiLength(QStringView text)
{
    return toAnsi(text).size();
}

} // namespace zv::platform
