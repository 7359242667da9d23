// Parsers and builders of the server's messages, apart from sockets.
#include "server/config.h"
#include "server/portalpage.h"
#include "server/protocol.h"
#include "server/relayframe.h"
#include "tests/server/serverhelpers.h"

#include <gtest/gtest.h>

using namespace zv;
using namespace zv::server;

namespace {

Message msg(const QStringList &fields)
{
    Message m;
    m.fields = fields;
    return m;
}

TEST(ServerProtocol, BatchWithThreeRecordsParsesEveryColumn)
{
    const auto m = msg(test::batch(7, 1,
                                   {test::record(QStringLiteral("a.doc"), 1000, QStringLiteral("1000!5!6!0!"), 1, 5,
                                                 {QStringLiteral("第一行"), QStringLiteral("第二行"), QStringLiteral("第三行")}, 10001),
                                    test::record(QStringLiteral("b.doc"), 2000, QStringLiteral("2000!5!6!0!"), 2),
                                    test::record(QStringLiteral("c.doc"), 3000, QStringLiteral("3000!-5!6!0!"), 4, 0)}));
    QString why;
    const auto b = parseUpdateBatch(m, &why);
    ASSERT_TRUE(b) << why.toStdString();
    EXPECT_EQ(b->computerId, 7);
    EXPECT_EQ(b->mode, 1);
    ASSERT_EQ(b->records.size(), 3);
    const IndexRecord &r = b->records[0];
    EXPECT_EQ(r.fileName, u"a.doc");
    EXPECT_EQ(r.fileSize, 1000);
    EXPECT_EQ(r.fileCode, u"1000!5!6!0!");
    EXPECT_EQ(r.grade, u"七年级");
    EXPECT_EQ(r.userId, 10001);
    EXPECT_EQ(r.state, 1);
    EXPECT_EQ(r.sort, u"试卷");
    EXPECT_EQ(r.jie, u"3.1");
    EXPECT_EQ(r.resume, (QStringList{QStringLiteral("第一行"), QStringLiteral("第二行"), QStringLiteral("第三行")}));
    EXPECT_EQ(r.score, 5);
    EXPECT_EQ(b->records[1].state, 2);
    EXPECT_EQ(b->records[2].score, 0);
}

TEST(ServerProtocol, EmptyBatchOfModeZeroAndThree)
{
    QString why;
    for (int mode : {0, 3}) {
        const auto b = parseUpdateBatch(msg(test::batch(3, mode, {})), &why);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->mode, mode);
        EXPECT_TRUE(b->records.isEmpty());
    }
}

struct BadBatch {
    const char *name;
    std::function<QStringList()> fields;
};

void PrintTo(const BadBatch &b, std::ostream *os)
{
    *os << b.name;
}

class ServerProtocolBadBatch : public ::testing::TestWithParam<BadBatch> {};

TEST_P(ServerProtocolBadBatch, IsRefused)
{
    QString why;
    EXPECT_FALSE(parseUpdateBatch(msg(GetParam().fields()), &why));
    EXPECT_FALSE(why.isEmpty());
}

QStringList oneRecord()
{
    return test::batch(1, 2, {test::record(QStringLiteral("a.doc"), 10, QStringLiteral("10!1!1!0!"), 1, 3, {QStringLiteral("x")})});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerProtocolBadBatch,
    ::testing::Values(
        BadBatch{"NoComputerWord", [] { auto f = oneRecord(); f[1] = QStringLiteral("pc"); return f; }},
        BadBatch{"ModeFour", [] { auto f = oneRecord(); f[3] = QStringLiteral("4"); return f; }},
        BadBatch{"ComputerNotANumber", [] { auto f = oneRecord(); f[2] = QStringLiteral("x1"); return f; }},
        BadBatch{"MissingScore", [] { auto f = oneRecord(); f.removeLast(); return f; }},
        BadBatch{"ExtraLine", [] { auto f = oneRecord(); f << QStringLiteral("spare"); return f; }},
        BadBatch{"CountTooLarge", [] { auto f = oneRecord(); f[4 + 13] = QStringLiteral("5"); return f; }},
        BadBatch{"CountNegative", [] { auto f = oneRecord(); f[4 + 13] = QStringLiteral("-1"); return f; }},
        BadBatch{"StateZero", [] { auto f = oneRecord(); f[4 + 5] = QStringLiteral("0"); return f; }},
        BadBatch{"SizeNotANumber", [] { auto f = oneRecord(); f[4 + 1] = QStringLiteral("big"); return f; }},
        BadBatch{"EmptyLineNotEmpty", [] { auto f = oneRecord(); f[f.size() - 2] = QStringLiteral("x"); return f; }},
        BadBatch{"TooManyRecords", [] {
            QList<QStringList> rs;
            for (int i = 0; i < kMaxBatchRecords + 1; ++i)
                rs << test::record(QStringLiteral("f%1").arg(i), 1, QStringLiteral("1!1!1!0!"), 1);
            return test::batch(1, 2, rs);
        }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ServerProtocol, LoginReplyWithoutDescriptionHas21Lines)
{
    Profile p;
    p.userId = 10000;
    p.email = QStringLiteral("a@b.cn");
    const QStringList f = loginOkReply(p, QStringLiteral("127.0.0.2"));
    // 21 lines with the closing line: the last field is line 19.
    ASSERT_EQ(f.size() + 1, 21);
    EXPECT_EQ(f[1], u"u_login_ok");
    EXPECT_EQ(f[2], u"10000");
    EXPECT_EQ(f[3], u"a@b.cn");
    EXPECT_EQ(f[18], u"0");
    EXPECT_EQ(f[19], u"127.0.0.2");

    p.description = {QStringLiteral("一"), QStringLiteral("二")};
    const QStringList u = loginOkReply(p, QStringLiteral("127.0.0.2"), QStringLiteral("http://x/setup.exe"));
    EXPECT_EQ(u[1], u"u_update_login_ok");
    EXPECT_EQ(u[2], u"http://x/setup.exe");
    EXPECT_EQ(u[3], u"10000");
    EXPECT_EQ(u[20], u"一");
    EXPECT_EQ(u[21], u"二");
    EXPECT_EQ(u.last(), u"127.0.0.2");
}

TEST(ServerProtocol, SearchReplyLayout)
{
    ResourceInfo r;
    r.fileSize = 70000;
    r.score = 4;
    r.subject = QStringLiteral("数学");
    r.phase = QStringLiteral("初中");
    r.chubanshe = QStringLiteral("人教");
    r.grade = QStringLiteral("七年级");
    r.zhang = QStringLiteral("三");
    r.jie = QStringLiteral("1");
    r.ken = QStringLiteral("方程");
    r.sort = QStringLiteral("试卷");
    r.resume = {QStringLiteral("说明")};
    const QStringList f = searchReply(r, {{12, QStringLiteral("10.0.0.1"), 3300, 3}, {13, QStringLiteral("10.0.0.2"), 0, 0}});
    const QStringList expected{QStringLiteral("s_u_search_reply0.5"), QStringLiteral("2"), QStringLiteral("70000"), QStringLiteral("4"),
                               QStringLiteral("数学"), QStringLiteral("初中"), QStringLiteral("人教"), QStringLiteral("七年级"),
                               QStringLiteral("三"), QStringLiteral("1"), QStringLiteral("方程"), QString(), QStringLiteral("试卷"),
                               QStringLiteral("1"), QStringLiteral("说明"), QStringLiteral("0"),
                               QStringLiteral("12"), QStringLiteral("10.0.0.1"), QStringLiteral("3300"), QStringLiteral("3"),
                               QStringLiteral("13"), QStringLiteral("10.0.0.2"), QStringLiteral("0"), QStringLiteral("0")};
    EXPECT_EQ(f, expected);
    EXPECT_EQ(searchReply(r, {}), (QStringList{QStringLiteral("s_u_search_reply0.5"), QStringLiteral("0")}));
    EXPECT_EQ(searchReply(std::nullopt, {}), (QStringList{QStringLiteral("s_u_search_reply0.5"), QStringLiteral("0")}));
}

TEST(ServerProtocol, RegistrationLineCountMustMatch)
{
    QString why;
    auto ok = parseRegister(msg(test::registration(QStringLiteral("a@b.cn"), QStringLiteral("pw"), {QStringLiteral("x"), QStringLiteral("y")})), &why);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->profile.description.size(), 2);
    EXPECT_EQ(ok->profile.subject, u"数学");
    auto f = test::registration(QStringLiteral("a@b.cn"), QStringLiteral("pw"), {QStringLiteral("x")});
    f.removeLast();
    EXPECT_FALSE(parseRegister(msg(f), &why));
    EXPECT_FALSE(parseRegister(msg(test::registration(QString(), QStringLiteral("pw"))), &why));
}

TEST(ServerProtocol, FeatureCodes)
{
    EXPECT_TRUE(isFeatureCode(QStringLiteral("50688!317419!15998!0!")));
    EXPECT_TRUE(isFeatureCode(QStringLiteral("50688!-317!-15!0!")));
    for (const char *bad : {"", "50688!317419!15998!0", "a!1!1!0!", "1!1!1!0!1!", "-1!1!1!0!", "1!1!1#!0!", "1!!1!0!"})
        EXPECT_FALSE(isFeatureCode(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(featureCodeSize(QStringLiteral("70000!1!2!0!")), 70000);
}

TEST(ServerProtocol, MarkAndPieceGeometry)
{
    EXPECT_EQ(markLength(70000, 0), 65280);
    EXPECT_EQ(markLength(70000, 1), 4720);
    EXPECT_EQ(markLength(70000, 2), 0);
    EXPECT_EQ(pieceCount(70000, 0), 8);
    EXPECT_EQ(pieceCount(70000, 1), 1);
    EXPECT_EQ(pieceCount(130560, 1), 8);
}

TEST(RelayFrame, ScrambledFrameThenMarkAnswerInOneBuffer)
{
    const std::int32_t key = -123457;
    QByteArray mark(65280, 'q');
    QByteArray buf = encodeFrame({QStringLiteral("C_LINK0.5"), QStringLiteral("42")}, key)
                     + renderMarkAnswer(QStringLiteral("70000!1!2!0!"), 0, QStringLiteral("9"), mark);
    auto a = parseRelayInput(buf, key);
    ASSERT_EQ(a.status, RelayInput::Frame);
    EXPECT_EQ(a.fields, (QStringList{QStringLiteral("C_LINK0.5"), QStringLiteral("42")}));
    buf.remove(0, a.consumed);
    // Every prefix of the answer is incomplete.
    for (qsizetype cut : {qsizetype(1), qsizetype(4), qsizetype(20), buf.size() - 1})
        EXPECT_EQ(parseRelayInput(QByteArrayView(buf).first(cut), key).status, RelayInput::Incomplete) << cut;
    auto b = parseRelayInput(buf, key);
    ASSERT_EQ(b.status, RelayInput::MarkData);
    EXPECT_EQ(b.fields.value(4), u"9");
    EXPECT_EQ(b.payload, mark);
    EXPECT_EQ(b.consumed, buf.size());
}

TEST(RelayFrame, BadInputs)
{
    EXPECT_EQ(parseRelayInput(QByteArray("C_T\r\n99999\r\nx\r\n0\r\n1\r\n#\r\n"), 5).status, RelayInput::Bad);
    EXPECT_EQ(parseRelayInput(QByteArray("C_T\r\n10\r\nx\r\n0\r\n1\r\nno\r\n"), 5).status, RelayInput::Bad);
    EXPECT_EQ(parseRelayInput(QByteArray(5000, 'z'), 5).status, RelayInput::Bad);
    EXPECT_EQ(parseRelayInput(QByteArray(100, 'z'), 5).status, RelayInput::Incomplete);
}

TEST(ServerConfig, DefaultsAndErrors)
{
    auto p = parseCommandLine({QStringLiteral("zorvan-server")});
    ASSERT_TRUE(p.config);
    EXPECT_EQ(p.config->tcpPort, 80);
    EXPECT_EQ(p.config->udpPort, 80);
    EXPECT_EQ(p.config->relayPort, 8000);
    EXPECT_EQ(p.config->httpPort, 8080);
    EXPECT_EQ(p.config->address.toString(), u"127.0.0.1");
    EXPECT_EQ(p.config->altAddress.toString(), u"127.0.0.2");
    for (const QStringList &bad : {QStringList{QStringLiteral("--tcp-port"), QStringLiteral("70000")},
                                   QStringList{QStringLiteral("--address"), QStringLiteral("nowhere")},
                                   QStringList{QStringLiteral("--alt-address"), QStringLiteral("127.0.0.1")},
                                   QStringList{QStringLiteral("--update-policy"), QStringLiteral("mandatory")},
                                   QStringList{QStringLiteral("--udp-port"), QStringLiteral("65534")}}) {
        auto r = parseCommandLine(QStringList{QStringLiteral("zorvan-server")} + bad);
        EXPECT_FALSE(r.config) << bad.join(u' ').toStdString();
        EXPECT_EQ(r.exitCode, 2);
    }
    auto h = parseCommandLine({QStringLiteral("zorvan-server"), QStringLiteral("--help")});
    EXPECT_FALSE(h.config);
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_TRUE(h.message.contains(u"--data-dir"));
}

TEST(PortalPage, ResultRowCarriesTheResourceLinkAndEscapes)
{
    PortalHit hit;
    hit.info.fileName = QStringLiteral("宽容 <序言>.doc");
    hit.info.fileCode = QStringLiteral("50688!317419!15998!0!");
    hit.info.fileSize = 50688;
    hit.info.score = 4;
    hit.info.subject = QStringLiteral("语文");
    hit.holders = 2;
    const QString page = QString::fromUtf8(renderPortalPage(QStringLiteral("宽容"), {hit}, {}, true));
    EXPECT_TRUE(page.contains(QStringLiteral("href=\"Zorvan://1|宽容 &lt;序言&gt;.doc|50688!317419!15998!0!|/\"")));
    EXPECT_FALSE(page.contains(QStringLiteral("<序言>")));
    EXPECT_TRUE(page.contains(QStringLiteral("49.5 KB")));
    EXPECT_TRUE(page.contains(QStringLiteral("语文")));
    EXPECT_TRUE(page.contains(QStringLiteral("2 台电脑共享")));
}

} // namespace
