#pragma once
// Quoting of texts placed in statements. Every file name, folder, feature code
// and search word that goes into a statement passes through one of these.
#include <QString>

namespace zv {

inline constexpr qsizetype kMaxQuotedChars = 4096;

// Single quotes doubled. A text longer than 4096 characters yields the empty text.
QString sqlQuote(const QString &text);

// For use before a trailing "%" in a LIKE condition: single quotes doubled and
// every "%", "_" and "[" enclosed in "[" "]" so that it matches itself. The
// empty text and a text longer than 4096 characters yield the empty text.
QString likeQuote(const QString &text);

} // namespace zv
