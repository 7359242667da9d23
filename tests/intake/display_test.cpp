#include "common/display.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace zv;
using namespace Qt::StringLiterals;

// Readable failure output for texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

TEST(TransferSize, Units)
{
    const std::pair<qint64, QString> cases[] = {
        {0, u"0 字节"_s},
        {1023, u"1023 字节"_s},
        {1024, u"1.0 KB"_s},
        {1500, u"1.5 KB"_s},
        {12345, u"12.1 KB"_s},
        {1023 * 1024, u"1.0 MB"_s},            // 1023 KB: integer part over 999
        {999 * 1024 + 1023, u"1000.0 KB"_s},   // integer part 999: still KB
        {1000 * 1024, u"1.0 MB"_s},           // integer part 1000: MB
        {1048576, u"1.0 MB"_s},
        {5 * 1048576 + 314573, u"5.3 MB"_s},
        {1000ll * 1048576, u"1.0 GB"_s},
        {2147483647, u"2.0 GB"_s},
        {5ll * 1073741824, u"5.0 GB"_s},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(transferSizeText(bytes), text) << bytes;
}

TEST(TransferSize, FromText)
{
    EXPECT_EQ(transferSizeText(QString()), QString());
    EXPECT_EQ(transferSizeText(u"abc"_s), QString());
    EXPECT_EQ(transferSizeText(u"1500"_s), u"1.5 KB"_s);
    EXPECT_EQ(transferSizeText(u"12"_s), u"12 字节"_s);
}

TEST(Duration, HoursMinutesSeconds)
{
    const std::pair<double, QString> cases[] = {
        {0, u"0秒"_s},
        {5.9, u"5秒"_s},
        {59.99, u"59秒"_s},
        {60, u"1分钟0秒"_s},
        {3599, u"59分钟59秒"_s},
        {3600, u"1小时0分钟0秒"_s},
        {3725.5, u"1小时2分钟5秒"_s},
        {90061, u"25小时1分钟1秒"_s},
        {-5, u"0秒"_s},
        {std::numeric_limits<double>::quiet_NaN(), u"0秒"_s},
        {std::numeric_limits<double>::infinity(), u"0秒"_s},
        {1e300, durationText(100.0 * 366 * 24 * 3600)}, // bounded, no overflow
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(durationText(seconds), text) << seconds;
}

TEST(RecordSize, ThreeSignificantDigits)
{
    const std::pair<qint64, QString> cases[] = {
        {0, u"0 B"_s},
        {512, u"512 B"_s},
        {1000, u"1000 B"_s},
        {1001, u"0.978 KB"_s},
        {1536, u"1.5 KB"_s},
        {10240, u"10 KB"_s},
        {1024000, u"1000 KB"_s},
        {1024001, u"0.977 MB"_s},
        {2097152, u"2 MB"_s},
        {123456789, u"118 MB"_s},
        {2147483647, u"2048 MB"_s},
        {-1, u"-1 B"_s},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(recordSizeText(bytes), text) << bytes;
    EXPECT_EQ(recordSizeText(QVariant()), QString());
    EXPECT_EQ(recordSizeText(QVariant(qint32(512))), u"512 B"_s);
}

TEST(ResourceClass, TypeColumn)
{
    const std::pair<QString, QString> cases[] = {
        {u"DOC"_s, u"doc 文档"_s},
        {u"doc"_s, u"doc 文档"_s},
        {u"mp3"_s, u"mp3 音频"_s},
        {u"jpeg"_s, u"jpeg 图片"_s},
        {u"rmvb"_s, u"rmvb 视频"_s},
        {u"pps"_s, u"pps 幻灯片"_s},
        {u"xls"_s, u"xls 电子表格"_s},
        {u"SWF"_s, u"swf flash 动画"_s},
        {u"exe"_s, u"exe 执行程序"_s},
        {u"cab"_s, u"cab 压缩包"_s},
        {u"htm"_s, u"htm 网页"_s},
        {u"abc"_s, u"abc"_s},
        {u"files"_s, u"files"_s},
        {QString(), QString()},
    };
    for (const auto &[type, text] : cases)
        EXPECT_EQ(resourceTypeText(type), text) << type.toStdString();
    EXPECT_EQ(resourceClass(u"Mp3"_s), u"音频"_s);
    EXPECT_EQ(resourceClass(u"xlsx"_s), QString());
    EXPECT_EQ(resourceTypeText(QVariant()), QString());
    EXPECT_EQ(resourceTypeText(QVariant(u"PPT"_s)), u"ppt 幻灯片"_s);
}

} // namespace
