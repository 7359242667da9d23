#include "common/display.h"

#include <QStringView>

#include <cmath>

using namespace Qt::StringLiterals;

namespace zv {

namespace {

struct TypeClass {
    QStringView type;
    QStringView name;
};

// The resource classes shown beside a record's type.
constexpr TypeClass kTypeClasses[] = {
    {u"bmp", u"图片"}, {u"jpg", u"图片"}, {u"jpeg", u"图片"}, {u"gif", u"图片"}, {u"wmf", u"图片"}, {u"emf", u"图片"}, {u"tif", u"图片"},
    {u"mid", u"音频"}, {u"midi", u"音频"}, {u"rmi", u"音频"}, {u"mp3", u"音频"}, {u"mpa", u"音频"}, {u"mp2", u"音频"}, {u"m1a", u"音频"}, {u"m2a", u"音频"}, {u"acc", u"音频"}, {u"ra", u"音频"}, {u"wav", u"音频"}, {u"wma", u"音频"},
    {u"avi", u"视频"}, {u"mpg", u"视频"}, {u"mpeg", u"视频"}, {u"mp4", u"视频"}, {u"mov", u"视频"}, {u"rm", u"视频"}, {u"ram", u"视频"}, {u"rmvb", u"视频"}, {u"rpm", u"视频"}, {u"wmv", u"视频"}, {u"wmp", u"视频"}, {u"wm", u"视频"}, {u"asf", u"视频"},
    {u"pdf", u"文档"}, {u"doc", u"文档"}, {u"txt", u"文档"}, {u"rtf", u"文档"}, {u"wps", u"文档"},
    {u"ppt", u"幻灯片"}, {u"pps", u"幻灯片"},
    {u"xls", u"电子表格"},
    {u"fla", u"flash 动画"}, {u"swf", u"flash 动画"},
    {u"com", u"执行程序"}, {u"exe", u"执行程序"},
    {u"rar", u"压缩包"}, {u"zip", u"压缩包"}, {u"cab", u"压缩包"},
    {u"htm", u"网页"}, {u"html", u"网页"},
};

// Three significant digits, trailing zeros dropped; never in exponent form.
QString threeDigits(double value)
{
    QString text = QString::number(value, 'g', 3);
    if (text.contains(u'e'))
        text = QString::number(static_cast<qint64>(std::llround(value)));
    return text;
}

} // namespace

QString transferSizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + u" 字节"_s;
    const double kb = static_cast<double>(bytes) / 1024.0;
    if (std::floor(kb) < 1000)
        return QString::number(kb, 'f', 1) + u" KB"_s;
    const double mb = kb / 1024.0;
    if (std::floor(mb) < 1000)
        return QString::number(mb, 'f', 1) + u" MB"_s;
    return QString::number(mb / 1024.0, 'f', 1) + u" GB"_s;
}

QString transferSizeText(const QString &bytes)
{
    bool ok = false;
    const qint64 value = bytes.trimmed().toLongLong(&ok);
    if (!ok)
        return {};
    return transferSizeText(value);
}

QString durationText(double seconds)
{
    // A hundred years of seconds is far beyond any download and keeps the
    // conversions below in range.
    constexpr double kLongest = 100.0 * 366 * 24 * 3600;
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    seconds = std::min(seconds, kLongest);
    const auto h = static_cast<qint64>(seconds / 3600);
    const auto m = static_cast<qint64>((seconds - 3600.0 * static_cast<double>(h)) / 60);
    const auto r = static_cast<qint64>(seconds - 3600.0 * static_cast<double>(h) - 60.0 * static_cast<double>(m));
    QString text;
    if (h > 0)
        text += QString::number(h) + u"小时"_s;
    if (h > 0 || m > 0)
        text += QString::number(m) + u"分钟"_s;
    text += QString::number(r) + u"秒"_s;
    return text;
}

QString recordSizeText(qint64 bytes)
{
    const auto x = static_cast<float>(bytes);
    if (x > 1024000.0f)
        return threeDigits(static_cast<double>(x / 1048576.0f)) + u" MB"_s;
    if (x > 1000.0f)
        return threeDigits(static_cast<double>(x / 1024.0f)) + u" KB"_s;
    return threeDigits(static_cast<double>(x)) + u" B"_s;
}

QString recordSizeText(const QVariant &bytes)
{
    if (bytes.isNull() || !bytes.isValid())
        return {};
    bool ok = false;
    const qint64 value = bytes.toLongLong(&ok);
    if (!ok)
        return {};
    return recordSizeText(value);
}

QString resourceClass(const QString &type)
{
    const QString lower = type.toLower();
    for (const TypeClass &row : kTypeClasses) {
        if (row.type == lower)
            return row.name.toString();
    }
    return {};
}

QString resourceTypeText(const QString &type)
{
    const QString lower = type.toLower();
    const QString cls = resourceClass(lower);
    if (cls.isEmpty())
        return lower;
    return lower + u' ' + cls;
}

QString resourceTypeText(const QVariant &type)
{
    if (type.isNull() || !type.isValid())
        return {};
    return resourceTypeText(type.toString());
}

} // namespace zv
