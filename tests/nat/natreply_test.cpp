#include "common/nat/natreply.h"
#include "common/nat/nattype.h"

#include <gtest/gtest.h>

using namespace zv::nat;

namespace {

struct ReplyCase {
    const char *name;
    QByteArray datagram;
    std::optional<NatReply::Kind> kind;
    const char *mapped;
};

void PrintTo(const ReplyCase &c, std::ostream *os) { *os << c.name; }

const ReplyCase kReplyCases[] = {
    {"Empty", QByteArray(), std::nullopt, ""},
    {"RequestReply", "s_re_change_request0.5\r\n203.0.113.9:6300", NatReply::Kind::ChangeRequest, "203.0.113.9:6300"},
    {"RequestReplyTrailingBreak", "s_re_change_request0.5\r\n1.2.3.4:5\r\n", NatReply::Kind::ChangeRequest, "1.2.3.4:5"},
    {"RequestReplyLoneLf", "s_re_change_request0.5\n1.2.3.4:5", NatReply::Kind::ChangeRequest, "1.2.3.4:5"},
    {"RequestReplyLoneCr", "s_re_change_request0.5\r1.2.3.4:5", NatReply::Kind::ChangeRequest, "1.2.3.4:5"},
    {"RequestReplyWithoutMapping", "s_re_change_request0.5", NatReply::Kind::ChangeRequest, ""},
    {"IpPortReply", "s_re_change_ip_port0.5", NatReply::Kind::ChangeIpPort, ""},
    {"IpPortReplyExtraLines", "s_re_change_ip_port0.5\r\nwhatever\r\n", NatReply::Kind::ChangeIpPort, ""},
    {"PortReply", "s_re_change_port0.5\r\n", NatReply::Kind::ChangePort, ""},
    {"OtherVerb", "s_p2paskfor0.5\r\n1.2.3.4:5", std::nullopt, ""},
    {"VerbWithSpace", "s_re_change_port0.5 \r\n", std::nullopt, ""},
    {"RequestVerbEcho", "U_CHANGE_REQUEST0.5", std::nullopt, ""},
    {"LeadingBreak", "\r\ns_re_change_port0.5", std::nullopt, ""},
    {"TooLong", QByteArray("s_re_change_port0.5\r\n") + QByteArray(600, 'x'), std::nullopt, ""},
};

class NatReplyParse : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(NatReplyParse, Decodes)
{
    const auto reply = parseNatReply(GetParam().datagram);
    ASSERT_EQ(reply.has_value(), GetParam().kind.has_value());
    if (reply) {
        EXPECT_EQ(reply->kind, *GetParam().kind);
        EXPECT_EQ(reply->mapped, QString::fromLatin1(GetParam().mapped));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NatReplyParse, ::testing::ValuesIn(kReplyCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(NatRequest, VerbsAloneWithoutLineEnd)
{
    EXPECT_EQ(requestDatagram(Variant::Client, Request::ChangeRequest), QByteArray("U_CHANGE_REQUEST0.5"));
    EXPECT_EQ(requestDatagram(Variant::Client, Request::ChangeIpPort), QByteArray("U_CHANGE_IP_PORT0.5"));
    EXPECT_EQ(requestDatagram(Variant::Client, Request::ChangePort), QByteArray("U_CHANGE_PORT0.5"));
    EXPECT_EQ(requestDatagram(Variant::Node, Request::ChangeRequest), QByteArray("C_CHANGE_REQUEST0.5"));
    EXPECT_EQ(requestDatagram(Variant::Node, Request::ChangeIpPort), QByteArray("C_CHANGE_IP_PORT0.5"));
    EXPECT_EQ(requestDatagram(Variant::Node, Request::ChangePort), QByteArray("C_CHANGE_PORT0.5"));
}

TEST(NatRequest, MappedIpIsTextBeforeFirstColon)
{
    EXPECT_EQ(mappedIp(QStringLiteral("198.51.100.4:6301")), QStringLiteral("198.51.100.4"));
    EXPECT_EQ(mappedIp(QStringLiteral("198.51.100.4")), QStringLiteral("198.51.100.4"));
    EXPECT_EQ(mappedIp(QStringLiteral(":1")), QString());
}

} // namespace
