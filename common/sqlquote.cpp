#include "common/sqlquote.h"

namespace zv {

QString sqlQuote(const QString &text)
{
    if (text.size() > kMaxQuotedChars)
        return {};
    QString out = text;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

QString likeQuote(const QString &text)
{
    if (text.isEmpty() || text.size() > kMaxQuotedChars)
        return {};
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'\'')
            out += QStringLiteral("''");
        else if (c == u'%' || c == u'_' || c == u'[')
            out += u'[' + QString(c) + u']';
        else
            out += c;
    }
    return out;
}

} // namespace zv
