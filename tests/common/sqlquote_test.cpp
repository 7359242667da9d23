#include "common/sqlquote.h"

#include <gtest/gtest.h>

using namespace zv;

namespace {

struct QuoteCase {
    const char *name;
    QString in;
    QString sql;
    QString like;
};

void PrintTo(const QuoteCase &c, std::ostream *os)
{
    *os << c.name;
}

class Quoting : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(Quoting, BothQuotings)
{
    EXPECT_EQ(sqlQuote(GetParam().in), GetParam().sql);
    EXPECT_EQ(likeQuote(GetParam().in), GetParam().like);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Quoting,
    ::testing::Values(
        QuoteCase{"plain", QStringLiteral("教案.doc"), QStringLiteral("教案.doc"), QStringLiteral("教案.doc")},
        QuoteCase{"apostrophes", QStringLiteral("it's 'x'"), QStringLiteral("it''s ''x''"), QStringLiteral("it''s ''x''")},
        QuoteCase{"percent", QStringLiteral("/a/100%/"), QStringLiteral("/a/100%/"), QStringLiteral("/a/100[%]/")},
        QuoteCase{"underscore", QStringLiteral("a_b"), QStringLiteral("a_b"), QStringLiteral("a[_]b")},
        QuoteCase{"bracket", QStringLiteral("[x]"), QStringLiteral("[x]"), QStringLiteral("[[]x]")},
        QuoteCase{"empty", QString(), QString(), QString()},
        QuoteCase{"exactly4096", QString(4096, u'a'), QString(4096, u'a'), QString(4096, u'a')},
        QuoteCase{"over4096", QString(4097, u'a'), QString(), QString()},
        QuoteCase{"over4096quotes", QString(4097, u'\''), QString(), QString()}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
