// The statement dialect: a small tokenizer and the rewrites that turn the
// programs' statement texts into SQLite's.
#include "common/store/store_p.h"

#include <QDate>
#include <QTime>

#include <vector>

namespace zv::store {

using namespace Qt::StringLiterals;

namespace {

enum class Tok { Space, Comment, String, QuotedIdent, Number, Word, Hash, Punct };

struct Token {
    Tok kind;
    QStringView text;
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

// Splits a statement into tokens. Every character belongs to exactly one
// token, so joining the token texts gives the statement back.
std::vector<Token> tokenize(QStringView s)
{
    std::vector<Token> out;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto push = [&](Tok kind, qsizetype from, qsizetype to) { out.push_back({kind, s.sliced(from, to - from)}); };
    while (i < n) {
        const qsizetype start = i;
        const QChar c = s[i];
        if (c.isSpace()) {
            while (i < n && s[i].isSpace())
                ++i;
            push(Tok::Space, start, i);
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n')
                ++i;
            push(Tok::Comment, start, i);
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            i += 2;
            while (i < n && !(s[i] == u'*' && i + 1 < n && s[i + 1] == u'/'))
                ++i;
            i = qMin(n, i + 2);
            push(Tok::Comment, start, i);
        } else if (c == u'\'' || c == u'"' || c == u'`') {
            // Quoted text; a doubled quote stands for itself. An unclosed
            // quote runs to the end (SQLite reports it).
            ++i;
            while (i < n) {
                if (s[i] == c) {
                    if (i + 1 < n && s[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            push(c == u'\'' ? Tok::String : Tok::QuotedIdent, start, i);
        } else if (c == u'[') {
            while (i < n && s[i] != u']')
                ++i;
            i = qMin(n, i + 1);
            push(Tok::QuotedIdent, start, i);
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            while (i < n) {
                const QChar d = s[i];
                if ((d == u'e' || d == u'E') && i + 1 < n && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
                    i += 2;
                    continue;
                }
                if (!(d.isLetterOrNumber() || d == u'.' || d == u'_'))
                    break;
                ++i;
            }
            push(Tok::Number, start, i);
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(s[i]))
                ++i;
            push(Tok::Word, start, i);
        } else if (c == u'#') {
            qsizetype j = i + 1;
            while (j < n && s[j] != u'#' && s[j] != u'\n')
                ++j;
            if (j < n && s[j] == u'#') {
                i = j + 1;
                push(Tok::Hash, start, i);
            } else {
                ++i;
                push(Tok::Punct, start, i);
            }
        } else {
            static constexpr const char16_t *kTwoChar[] = {u"<>", u"<=", u">=", u"!=", u"==", u"||", u"<<", u">>"};
            i += 1;
            if (i < n) {
                const QStringView two = s.sliced(start, 2);
                for (const char16_t *op : kTwoChar) {
                    if (two == QStringView(op)) {
                        i += 1;
                        break;
                    }
                }
            }
            push(Tok::Punct, start, i);
        }
    }
    return out;
}

bool significant(const Token &t)
{
    return t.kind != Tok::Space && t.kind != Tok::Comment;
}

bool isWord(const Token &t, QStringView w)
{
    return t.kind == Tok::Word && t.text.compare(w, Qt::CaseInsensitive) == 0;
}

bool isPunct(const Token &t, QStringView p)
{
    return t.kind == Tok::Punct && t.text == p;
}

// Index of the next significant token after i, or tokens.size().
size_t nextSig(const std::vector<Token> &tokens, size_t i)
{
    for (size_t j = i + 1; j < tokens.size(); ++j)
        if (significant(tokens[j]))
            return j;
    return tokens.size();
}

bool isUnsignedInteger(const Token &t)
{
    if (t.kind != Tok::Number || t.text.isEmpty() || t.text.size() > 10)
        return false;
    for (const QChar c : t.text)
        if (!c.isDigit() || c.unicode() > 0x7f)
            return false;
    return true;
}

// A Jet date literal "#...#" (US month/day order or ISO order) as a quoted
// stored date text, or the empty text when it is not one.
QString dateLiteral(QStringView hashed)
{
    const QString inner = hashed.sliced(1, hashed.size() - 2).trimmed().toString();
    static constexpr const char16_t *kDateTimeForms[] = {
        u"M/d/yyyy h:mm:ss", u"M/d/yyyy h:mm", u"M/d/yyyy h:mm:ss AP", u"M/d/yyyy h:mm AP",
        u"yyyy-M-d h:mm:ss", u"yyyy-M-d h:mm", u"yyyy/M/d h:mm:ss", u"yyyy/M/d h:mm",
        u"yyyy-M-dTh:mm:ss",
    };
    static constexpr const char16_t *kDateForms[] = {u"M/d/yyyy", u"yyyy-M-d", u"yyyy/M/d"};
    static constexpr const char16_t *kTimeForms[] = {u"h:mm:ss", u"h:mm", u"h:mm:ss AP", u"h:mm AP"};
    QDateTime dt;
    for (const char16_t *f : kDateTimeForms) {
        dt = QDateTime::fromString(inner, QString::fromUtf16(f));
        if (dt.isValid())
            break;
    }
    if (!dt.isValid()) {
        for (const char16_t *f : kDateForms) {
            const QDate d = QDate::fromString(inner, QString::fromUtf16(f));
            if (d.isValid()) {
                dt = QDateTime(d, QTime(0, 0));
                break;
            }
        }
    }
    if (!dt.isValid()) {
        // A time alone is a time on Jet's day zero.
        for (const char16_t *f : kTimeForms) {
            const QTime t = QTime::fromString(inner, QString::fromUtf16(f));
            if (t.isValid()) {
                dt = QDateTime(QDate(1899, 12, 30), t);
                break;
            }
        }
    }
    if (!dt.isValid())
        return {};
    return u'\'' + dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + u'\'';
}

QString unquoteIdentifier(QStringView t)
{
    if (t.size() >= 2) {
        const QChar open = t.front();
        const QChar close = t.back();
        if ((open == u'"' && close == u'"') || (open == u'`' && close == u'`')) {
            QString inner = t.sliced(1, t.size() - 2).toString();
            inner.replace(QString(2, open), QString(open));
            return inner;
        }
        if (open == u'[' && close == u']')
            return t.sliced(1, t.size() - 2).toString();
    }
    return t.toString();
}

bool isClauseWord(const Token &t)
{
    static constexpr const char16_t *kWords[] = {
        u"where", u"order", u"limit", u"group", u"having", u"union", u"intersect", u"except", u"join",
        u"inner", u"left", u"right", u"cross", u"natural", u"full", u"outer", u"on", u"using",
        u"window", u"as", u"indexed", u"not",
    };
    if (t.kind != Tok::Word)
        return false;
    for (const char16_t *w : kWords)
        if (t.text.compare(QStringView(w), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isAggregate(QStringView word)
{
    static constexpr const char16_t *kAggregates[] = {u"count", u"sum", u"avg", u"min", u"max", u"total",
                                                      u"group_concat", u"first", u"last"};
    for (const char16_t *a : kAggregates)
        if (word.compare(QStringView(a), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QString translateStatement(const QString &statement)
{
    const std::vector<Token> tokens = tokenize(statement);
    struct Piece {
        QString text;
        bool significant;
    };
    std::vector<Piece> out;
    out.reserve(tokens.size() + 4);
    struct PendingLimit {
        int depth;
        QString count;
    };
    std::vector<PendingLimit> limits;
    int depth = 0;

    auto keep = [&](const Token &t) { out.push_back({t.text.toString(), significant(t)}); };
    // Places " LIMIT n" right after the last significant piece, so that a
    // trailing comment cannot swallow it.
    auto flushLimit = [&](const QString &count) {
        size_t at = out.size();
        while (at > 0 && !out[at - 1].significant)
            --at;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), Piece{u" LIMIT "_s + count, true});
    };
    auto flushDepth = [&](int d) {
        while (!limits.empty() && limits.back().depth >= d) {
            flushLimit(limits.back().count);
            limits.pop_back();
        }
    };

    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        if (isWord(t, u"select")) {
            keep(t);
            size_t k = nextSig(tokens, i);
            if (k < tokens.size() && (isWord(tokens[k], u"distinct") || isWord(tokens[k], u"all")))
                k = nextSig(tokens, k);
            if (k < tokens.size() && isWord(tokens[k], u"top")) {
                const size_t num = nextSig(tokens, k);
                const size_t after = num < tokens.size() ? nextSig(tokens, num) : tokens.size();
                if (num < tokens.size() && isUnsignedInteger(tokens[num])
                    && !(after < tokens.size() && isWord(tokens[after], u"percent"))) {
                    for (size_t j = i + 1; j < k; ++j)
                        keep(tokens[j]);
                    limits.push_back({depth, tokens[num].text.toString()});
                    i = num;
                    // Keep one blank between what precedes "top" and what follows the count.
                    if (i + 1 < tokens.size() && tokens[i + 1].kind == Tok::Space && !out.empty()
                        && !out.back().significant)
                        ++i;
                    continue;
                }
            }
            continue;
        }
        if (isPunct(t, u"(")) {
            ++depth;
        } else if (isPunct(t, u")")) {
            flushDepth(depth);
            if (depth > 0)
                --depth;
        } else if (isPunct(t, u";")) {
            flushDepth(0);
        } else if (t.kind == Tok::Hash) {
            const QString literal = dateLiteral(t.text);
            if (!literal.isEmpty()) {
                out.push_back({literal, true});
                continue;
            }
        } else if (isWord(t, u"delete")) {
            const size_t star = nextSig(tokens, i);
            const size_t from = star < tokens.size() ? nextSig(tokens, star) : tokens.size();
            if (star < tokens.size() && isPunct(tokens[star], u"*") && from < tokens.size()
                && isWord(tokens[from], u"from")) {
                keep(t);
                out.push_back({u" "_s, false});
                i = from - 1;
                continue;
            }
        }
        keep(t);
    }
    flushDepth(0);

    QString result;
    result.reserve(statement.size() + 16);
    for (const Piece &p : out)
        result += p.text;
    return result;
}

namespace detail {

QString quoteIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

SelectShape analyseSelect(const QString &translated)
{
    SelectShape shape;
    const std::vector<Token> tokens = tokenize(translated);
    size_t i = nextSig(tokens, static_cast<size_t>(-1));
    if (i >= tokens.size() || !isWord(tokens[i], u"select"))
        return shape;
    shape.isSelect = true;
    const size_t selectAt = i;

    const size_t first = nextSig(tokens, selectAt);
    if (first < tokens.size() && (isWord(tokens[first], u"distinct") || isWord(tokens[first], u"distinctrow")))
        return shape;

    // The top-level FROM.
    int depth = 0;
    size_t from = tokens.size();
    for (size_t j = first; j < tokens.size(); ++j) {
        const Token &t = tokens[j];
        if (isPunct(t, u"("))
            ++depth;
        else if (isPunct(t, u")"))
            --depth;
        else if (depth == 0 && isWord(t, u"from")) {
            from = j;
            break;
        }
    }
    if (from >= tokens.size())
        return shape;
    // An aggregate in the select list makes one row out of many.
    depth = 0;
    for (size_t j = first; j < from; ++j) {
        const Token &t = tokens[j];
        if (isPunct(t, u"("))
            ++depth;
        else if (isPunct(t, u")"))
            --depth;
        else if (t.kind == Tok::Word && isAggregate(t.text)) {
            const size_t open = nextSig(tokens, j);
            if (open < from && isPunct(tokens[open], u"("))
                return shape;
        }
    }

    size_t tab = nextSig(tokens, from);
    if (tab >= tokens.size())
        return shape;
    const Token &tableTok = tokens[tab];
    if (!((tableTok.kind == Tok::Word && !isClauseWord(tableTok)) || tableTok.kind == Tok::QuotedIdent))
        return shape;
    // schema.table is not expected; keep it read-only.
    size_t after = nextSig(tokens, tab);
    if (after < tokens.size() && isPunct(tokens[after], u"."))
        return shape;
    // Optional alias.
    if (after < tokens.size() && isWord(tokens[after], u"as"))
        after = nextSig(tokens, nextSig(tokens, after));
    else if (after < tokens.size()
             && ((tokens[after].kind == Tok::Word && !isClauseWord(tokens[after])) || tokens[after].kind == Tok::QuotedIdent))
        after = nextSig(tokens, after);
    if (after < tokens.size()) {
        const Token &t = tokens[after];
        if (!(isPunct(t, u";") || isWord(t, u"where") || isWord(t, u"order") || isWord(t, u"limit")))
            return shape;
    }
    // Nothing at the top level after it that groups or combines rows.
    depth = 0;
    for (size_t j = after; j < tokens.size(); ++j) {
        const Token &t = tokens[j];
        if (isPunct(t, u"("))
            ++depth;
        else if (isPunct(t, u")"))
            --depth;
        else if (depth == 0
                 && (isWord(t, u"group") || isWord(t, u"having") || isWord(t, u"union") || isWord(t, u"intersect")
                     || isWord(t, u"except") || isWord(t, u"window")))
            return shape;
    }

    shape.singleTable = true;
    shape.table = unquoteIdentifier(tableTok.text);
    QString with;
    with.reserve(translated.size() + 16);
    for (size_t j = 0; j <= selectAt; ++j)
        with += tokens[j].text;
    with += u" rowid,"_s;
    for (size_t j = selectAt + 1; j < tokens.size(); ++j)
        with += tokens[j].text;
    shape.withRowId = with;
    return shape;
}

} // namespace detail

} // namespace zv::store
