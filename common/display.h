#pragma once
// Texts both programs show for sizes, durations and resource types.
#include <QString>
#include <QVariant>

namespace zv {

// The download list's size: below 1024 the number and " 字节"; else KB with
// one decimal while the integer part of the KB value is below 1000; else MB
// the same way; else GB. "12345" -> "12.1 KB".
QString transferSizeText(qint64 bytes);
// The same from a decimal text; the empty text (or one that is not a number)
// gives the empty text.
QString transferSizeText(const QString &bytes);

// The download list's time: h "小时" when h > 0, m "分钟" when h or m > 0,
// then r "秒", from whole hours, minutes and seconds of the seconds given.
// Negative or non-finite input counts as 0.
QString durationText(double seconds);

// The record list's size, taken as a single-precision number: above 1024000
// in MB, above 1000 in KB, else in B, with three significant digits in the
// shortest form ("0.978 KB", "2 MB", "512 B"). Values of 1000 or more are
// written as whole numbers, never in exponent form.
QString recordSizeText(qint64 bytes);
// Null gives the empty text.
QString recordSizeText(const QVariant &bytes);

// The class name of a type ("doc" -> "文档"), compared in lower case; empty for
// a type outside the classes.
QString resourceClass(const QString &type);

// The record list's type column: lower-case type, a blank and the class name,
// or the bare lower-case type when it has no class ("DOC" -> "doc 文档").
QString resourceTypeText(const QString &type);
// Null gives the empty text.
QString resourceTypeText(const QVariant &type);

} // namespace zv
