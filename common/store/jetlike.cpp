// Jet's LIKE, registered as SQLite's like() so that "x LIKE y" follows it.
#include "common/store/store_p.h"

#include <memory>
#include <vector>

namespace zv::store {

namespace {

// Longest pattern accepted, in bytes of UTF-8 (a quoted folder of 4096
// characters with every one bracketed stays well below it).
constexpr int kMaxPatternBytes = 64 * 1024;

struct LikeItem {
    enum Kind { Literal, One, Run, Class } kind;
    char32_t ch = 0; // Literal: case-folded character
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges; // Class: inclusive ranges as written
};

using CompiledLike = std::vector<LikeItem>;

LikeItem makeItem(LikeItem::Kind kind, char32_t ch = 0)
{
    LikeItem item{kind, ch, false, {}};
    return item;
}

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

CompiledLike compileLike(const QString &pattern)
{
    const QList<uint> p = pattern.toUcs4();
    CompiledLike items;
    const qsizetype n = p.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char32_t c = p[i];
        if (c == U'%') {
            if (items.empty() || items.back().kind != LikeItem::Run)
                items.push_back(makeItem(LikeItem::Run));
        } else if (c == U'_') {
            items.push_back(makeItem(LikeItem::One));
        } else if (c == U'[') {
            qsizetype close = i + 1;
            while (close < n && p[close] != U']')
                ++close;
            if (close >= n) {
                // Unclosed: the bracket stands for itself.
                items.push_back(makeItem(LikeItem::Literal, fold(c)));
                continue;
            }
            qsizetype j = i + 1;
            LikeItem item = makeItem(LikeItem::Class);
            if (j < close && p[j] == U'!') {
                item.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                const char32_t lo = p[j];
                if (j + 2 < close && p[j + 1] == U'-') {
                    const char32_t hi = p[j + 2];
                    item.ranges.emplace_back(qMin(lo, hi), qMax(lo, hi));
                    j += 2;
                } else {
                    item.ranges.emplace_back(lo, lo);
                }
            }
            i = close;
            if (item.ranges.empty()) {
                // "[]" matches nothing (takes no character); "[!]" any one character.
                if (item.negated)
                    items.push_back(makeItem(LikeItem::One));
                continue;
            }
            if (!item.negated && item.ranges.size() == 1 && item.ranges[0].first == item.ranges[0].second) {
                items.push_back(makeItem(LikeItem::Literal, fold(item.ranges[0].first)));
                continue;
            }
            items.push_back(std::move(item));
        } else {
            items.push_back(makeItem(LikeItem::Literal, fold(c)));
        }
    }
    return items;
}

bool inRanges(const LikeItem &item, char32_t c)
{
    const char32_t variants[] = {c, QChar::toLower(c), QChar::toUpper(c), fold(c)};
    for (const auto &[lo, hi] : item.ranges)
        for (const char32_t v : variants)
            if (v >= lo && v <= hi)
                return true;
    return false;
}

bool matchOne(const LikeItem &item, char32_t raw, char32_t folded)
{
    switch (item.kind) {
    case LikeItem::Literal:
        return item.ch == folded;
    case LikeItem::One:
        return true;
    case LikeItem::Class:
        return inRanges(item, raw) != item.negated;
    case LikeItem::Run:
        break;
    }
    return false;
}

// Every item but Run takes exactly one character, so the greedy match with
// a return to the last run is exact.
bool matchCompiled(const CompiledLike &items, const QString &text)
{
    const QList<uint> raw = text.toUcs4();
    std::vector<char32_t> folded(static_cast<size_t>(raw.size()));
    for (qsizetype k = 0; k < raw.size(); ++k)
        folded[static_cast<size_t>(k)] = fold(raw[k]);
    const size_t n = folded.size();
    const size_t m = items.size();
    size_t p = 0, s = 0;
    size_t runAt = m, runS = 0;
    while (s < n) {
        if (p < m && items[p].kind == LikeItem::Run) {
            runAt = p++;
            runS = s;
            continue;
        }
        if (p < m && matchOne(items[p], raw[static_cast<qsizetype>(s)], folded[s])) {
            ++p;
            ++s;
            continue;
        }
        if (runAt != m) {
            p = runAt + 1;
            s = ++runS;
            continue;
        }
        return false;
    }
    while (p < m && items[p].kind == LikeItem::Run)
        ++p;
    return p == m;
}

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *patternText = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    const auto *textText = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int textBytes = sqlite3_value_bytes(argv[1]);
    if (!patternText || !textText) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    if (patternBytes > kMaxPatternBytes) {
        sqlite3_result_error(ctx, "LIKE pattern too long", -1);
        return;
    }
    const QString text = QString::fromUtf8(textText, textBytes);
    // The pattern is the same for every row of a statement: compile it once.
    if (const auto *cached = static_cast<const CompiledLike *>(sqlite3_get_auxdata(ctx, 0))) {
        sqlite3_result_int(ctx, matchCompiled(*cached, text) ? 1 : 0);
        return;
    }
    auto compiled = std::make_unique<CompiledLike>(compileLike(QString::fromUtf8(patternText, patternBytes)));
    sqlite3_result_int(ctx, matchCompiled(*compiled, text) ? 1 : 0);
    sqlite3_set_auxdata(ctx, 0, compiled.release(), [](void *p) { delete static_cast<CompiledLike *>(p); });
}

} // namespace

bool jetLike(const QString &pattern, const QString &text)
{
    return matchCompiled(compileLike(pattern), text);
}

namespace detail {

bool registerJetLike(::sqlite3 *db)
{
    return sqlite3_create_function_v2(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                      likeFunction, nullptr, nullptr, nullptr)
           == SQLITE_OK;
}

} // namespace detail

} // namespace zv::store
