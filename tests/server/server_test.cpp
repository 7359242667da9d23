// The real server on loopback, spoken to over sockets with the channel framing.
#include "server/relayframe.h"
#include "tests/server/serverhelpers.h"
#include "tests/support/sandbox.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace zv;
using namespace zv::test;

namespace {

class ServerE2E : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.output().toStdString(); }
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << server.output().toStdString();
    }

    std::unique_ptr<FrameClient> connectClient()
    {
        auto c = std::make_unique<FrameClient>();
        EXPECT_TRUE(c->connectTo(server.address(), server.tcpPort()));
        return c;
    }

    std::unique_ptr<FrameClient> guest()
    {
        auto c = connectClient();
        const auto r = c->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()},
                                  QStringLiteral("s_u_login_reply0.5"));
        EXPECT_TRUE(r && r->field(1) == u"u_login_ok");
        return c;
    }

    // A node: control connection logged in, and its UDP socket registered.
    struct Node {
        std::unique_ptr<FrameClient> control;
        NodeLogin login;
        std::unique_ptr<QUdpSocket> udp;
    };
    Node startNode(int natType = 3)
    {
        Node n;
        n.control = connectClient();
        n.login = registerComputer(*n.control);
        EXPECT_GT(n.login.id, 0);
        n.udp = std::make_unique<QUdpSocket>();
        EXPECT_TRUE(n.udp->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        const QByteArray reg = "C_UDP_LOGIN_TYPE0.5\r\n" + QByteArray::number(n.login.id) + "\r\n127.0.0.1\r\n"
                               + QByteArray::number(n.udp->localPort()) + "\r\n" + QByteArray::number(natType) + "\r\n";
        n.udp->writeDatagram(reg, QHostAddress(server.address()), server.udpPort());
        const auto ok = receive(*n.udp);
        EXPECT_TRUE(ok && ok->data() == "s_port_update_ok0.5");
        return n;
    }

    static std::optional<QNetworkDatagram> receive(QUdpSocket &s, int timeoutMs = 3000)
    {
        if (!waitFor([&] { return s.hasPendingDatagrams(); }, timeoutMs))
            return std::nullopt;
        return s.receiveDatagram();
    }

    ServerFixture server;
};

TEST_F(ServerE2E, RegisterThenLogInByIdByEmailAndAsGuest)
{
    auto c = connectClient();
    const auto reg = c->request(registration(QStringLiteral("Teacher@School.cn"), QStringLiteral("s3cret"),
                                             {QStringLiteral("教龄十年"), QStringLiteral("喜欢分享")}),
                                QStringLiteral("s_u_register_reply0.5"));
    ASSERT_TRUE(reg);
    ASSERT_EQ(reg->field(1), u"u_register_ok");
    const qint64 id = reg->field(2).toLongLong();
    EXPECT_GE(id, 10000);
    EXPECT_EQ(reg->field(3), server.altAddress());
    EXPECT_EQ(reg->fields.size(), 4);

    const auto again = c->request(registration(QStringLiteral("teacher@school.CN"), QStringLiteral("x")), QStringLiteral("s_u_register_reply0.5"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->fields, (QStringList{QStringLiteral("s_u_register_reply0.5"), QStringLiteral("e_mail already exist")}));
    EXPECT_EQ(registerUser(server, QStringLiteral("second@school.cn"), QStringLiteral("pw")), id + 1);

    const QList<QStringList> logins{{QStringLiteral("ID"), QString::number(id)}, {QStringLiteral("E_MAIL"), QStringLiteral("teacher@school.cn")}};
    for (const QStringList &how : logins) {
        auto l = connectClient();
        const auto r = l->request(QStringList{QStringLiteral("U_LOGIN0.3")} + how + QStringList{QStringLiteral("s3cret")},
                                  QStringLiteral("s_u_login_reply0.5"));
        ASSERT_TRUE(r) << how.join(u' ').toStdString();
        ASSERT_EQ(r->field(1), u"u_login_ok");
        // 21 lines with the closing line, plus the two description lines.
        EXPECT_EQ(r->fields.size() + 1, 23);
        EXPECT_EQ(r->field(2), QString::number(id));
        EXPECT_EQ(r->field(3), u"Teacher@School.cn");
        EXPECT_EQ(r->field(4), u"小王");
        EXPECT_EQ(r->field(10), u"男");
        EXPECT_EQ(r->field(16), u"数学");
        EXPECT_EQ(r->field(18), u"0");
        EXPECT_EQ(r->field(19), u"教龄十年");
        EXPECT_EQ(r->field(20), u"喜欢分享");
        EXPECT_EQ(r->fields.last(), server.altAddress());
        const auto points = l->waitFor(QStringLiteral("s_u_jifen_update0.5"));
        ASSERT_TRUE(points);
        EXPECT_EQ(points->field(1), u"10");
    }

    auto g = connectClient();
    const auto r = g->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()}, QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->field(1), u"u_login_ok");
    EXPECT_EQ(r->field(2), u"0");
    EXPECT_EQ(r->fields.size() + 1, 21);
    EXPECT_EQ(r->fields.last(), server.altAddress());
}

struct LoginError {
    const char *name;
    const char *kind;
    const char *who;   // "$" stands for the registered ID
    const char *password;
    const char *outcome;
};

void PrintTo(const LoginError &e, std::ostream *os)
{
    *os << e.name;
}

class ServerLoginErrors : public ServerE2E, public ::testing::WithParamInterface<LoginError> {};

TEST_P(ServerLoginErrors, Outcome)
{
    const qint64 id = registerUser(server, QStringLiteral("known@school.cn"), QStringLiteral("right"));
    ASSERT_GT(id, 0);
    const LoginError &e = GetParam();
    QString who = QString::fromUtf8(e.who);
    who.replace(u'$', QString::number(id));
    auto c = connectClient();
    const auto r = c->request({QStringLiteral("U_LOGIN0.3"), QString::fromUtf8(e.kind), who, QString::fromUtf8(e.password)},
                              QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->fields, (QStringList{QStringLiteral("s_u_login_reply0.5"), QString::fromUtf8(e.outcome)}));
    // A refused login sends no points.
    EXPECT_TRUE(c->quietFor(200));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerLoginErrors,
    ::testing::Values(LoginError{"WrongPasswordById", "ID", "$", "wrong", "pass_word error"},
                      LoginError{"EmptyPasswordById", "ID", "$", "", "pass_word error"},
                      LoginError{"WrongPasswordByEmail", "E_MAIL", "known@school.cn", "Right", "pass_word error"},
                      LoginError{"UnknownId", "ID", "99999", "right", "id error"},
                      LoginError{"IdNotANumber", "ID", "abc", "right", "id error"},
                      LoginError{"IdZeroWithPassword", "ID", "0", "right", "id error"},
                      LoginError{"UnknownEmail", "E_MAIL", "nobody@school.cn", "right", "e_mail error"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ServerE2E, AccountChangesAreStoredAndPasswordsHashed)
{
    const qint64 id = registerUser(server, QStringLiteral("change@school.cn"), QStringLiteral("old-pass"));
    ASSERT_GT(id, 0);
    auto c = connectClient();
    ASSERT_TRUE(c->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(id), QStringLiteral("old-pass")},
                           QStringLiteral("s_u_login_reply0.5")));
    c->send({QStringLiteral("U_NEWPASS0.5"), QString::number(id), QStringLiteral("new-pass")});
    c->send({QStringLiteral("U_UPDATEUSERDATE0.5"), QString::number(id), QStringLiteral("新昵称"), QStringLiteral("全名"), QStringLiteral("女"),
             QStringLiteral("id"), QStringLiteral("1990"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("上海"), QStringLiteral("上海"),
             QStringLiteral("徐汇"), QStringLiteral("二中"), QStringLiteral("组长"), QStringLiteral("英语"), QStringLiteral("021"),
             QStringLiteral("1"), QStringLiteral("新说明")});
    c->send({QStringLiteral("U_FEEDBACK0.5"), QStringLiteral("建议"), QStringLiteral("2"), QStringLiteral("很好用"), QStringLiteral("谢谢")});
    // Another user's password cannot be changed from this connection.
    const qint64 other = registerUser(server, QStringLiteral("other@school.cn"), QStringLiteral("other-pass"));
    c->send({QStringLiteral("U_NEWPASS0.5"), QString::number(other), QStringLiteral("hijacked")});
    c->quietFor(300);

    auto l = connectClient();
    const auto bad = l->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(id), QStringLiteral("old-pass")}, QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->field(1), u"pass_word error");
    const auto ok = l->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(id), QStringLiteral("new-pass")}, QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(ok);
    ASSERT_EQ(ok->field(1), u"u_login_ok");
    EXPECT_EQ(ok->field(3), u"change@school.cn");
    EXPECT_EQ(ok->field(4), u"新昵称");
    EXPECT_EQ(ok->field(10), u"女");
    EXPECT_EQ(ok->field(16), u"英语");
    EXPECT_EQ(ok->field(19), u"新说明");
    const auto otherLogin = l->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(other), QStringLiteral("other-pass")}, QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(otherLogin);
    EXPECT_EQ(otherLogin->field(1), u"u_login_ok");

    // The database holds salted hashes and the feedback.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((server.dataDir() + QStringLiteral("/data/zorvan-server.db")).toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT password_hash FROM users ORDER BY id", -1, &st, nullptr);
    QStringList hashes;
    while (sqlite3_step(st) == SQLITE_ROW)
        hashes << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_prepare_v2(db, "SELECT body FROM feedback", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0))), QStringLiteral("很好用\r\n谢谢"));
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_EQ(hashes.size(), 2);
    for (const QString &h : hashes) {
        EXPECT_TRUE(h.startsWith(u"pbkdf2-sha256$"));
        EXPECT_FALSE(h.contains(u"pass"));
    }
}

TEST_F(ServerE2E, ComputerFirstRegistrationThenLoginAndWrongKey)
{
    auto c = connectClient();
    const auto cf = c->request({QStringLiteral("CF_LOGIN0.3"), QStringLiteral("46000!1!0!0!"), QStringLiteral("127.0.0.1"), QStringLiteral("5000")},
                               QStringLiteral("s_cf_login_reply0.5"));
    ASSERT_TRUE(cf);
    ASSERT_EQ(cf->fields.size(), 5);
    const NodeLogin n{cf->field(1).toLongLong(), cf->field(2)};
    EXPECT_GT(n.id, 0);
    EXPECT_GE(n.key.size(), 16);
    EXPECT_NE(n.key, u"1");
    EXPECT_EQ(cf->field(4), server.altAddress());

    auto d = connectClient();
    const auto cc = loginComputer(*d, n);
    ASSERT_TRUE(cc);
    // A computer the server holds no full index for is asked to rebuild.
    EXPECT_EQ(cc->fields, (QStringList{QStringLiteral("s_cc_login_reply0.5"), server.altAddress(), QStringLiteral("1")}));
    ASSERT_TRUE(d->request(batch(n.id, 3, {}), QStringLiteral("s_c_update_reply0.5")));

    auto e = connectClient();
    const auto again = loginComputer(*e, n);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->field(2), u"0");

    auto w = connectClient();
    EXPECT_FALSE(loginComputer(*w, NodeLogin{n.id, n.key + QStringLiteral("x")}, 800));
    EXPECT_FALSE(loginComputer(*w, NodeLogin{n.id + 1000, n.key}, 800));
    // Without a login its batches are not stored.
    EXPECT_FALSE(w->request(batch(n.id, 3, {}), QStringLiteral("s_c_update_reply0.5"), 800));
}

TEST_F(ServerE2E, BatchOfThreeThenLookUpReturnsMetadataAndTheNode)
{
    Node node = startNode(3);
    const QString codeA = QStringLiteral("70000!100!-20!0!");
    const QString codeB = QStringLiteral("2000!5!6!0!");
    const QString codeC = QStringLiteral("3000!7!8!0!");
    const auto reply = node.control->request(
        batch(node.login.id, 1,
              {record(QStringLiteral("方程练习.doc"), 70000, codeA, 1, 4, {QStringLiteral("第一课时"), QStringLiteral("含答案")}, 10001),
               record(QStringLiteral("b.ppt"), 2000, codeB, 1, 2), record(QStringLiteral("c.xls"), 3000, codeC, 4, 0)}),
        QStringLiteral("s_c_update_reply0.5"));
    ASSERT_TRUE(reply);

    auto client = guest();
    const auto r = client->request({QStringLiteral("U_SEARCH0.5"), codeA, QStringLiteral("方程练习.doc")}, QStringLiteral("s_u_search_reply0.5"));
    ASSERT_TRUE(r);
    const QStringList expected{QStringLiteral("s_u_search_reply0.5"), QStringLiteral("1"), QStringLiteral("70000"), QStringLiteral("4"),
                               QStringLiteral("数学"), QStringLiteral("初中"), QStringLiteral("人民教育出版社"), QStringLiteral("七年级"),
                               QStringLiteral("第三章"), QStringLiteral("3.1"), QStringLiteral("一元一次方程"), QString(), QStringLiteral("试卷"),
                               QStringLiteral("2"), QStringLiteral("第一课时"), QStringLiteral("含答案"), QStringLiteral("0"),
                               QString::number(node.login.id), QStringLiteral("127.0.0.1"), QString::number(node.udp->localPort()), QStringLiteral("3")};
    EXPECT_EQ(r->fields, expected);
    for (const auto &[code, size, rating] : {std::tuple{codeB, 2000, 2}, std::tuple{codeC, 3000, 0}}) {
        const auto s = client->request({QStringLiteral("U_SEARCH0.5"), code, QString()}, QStringLiteral("s_u_search_reply0.5"));
        ASSERT_TRUE(s);
        EXPECT_EQ(s->field(1), u"1");
        EXPECT_EQ(s->field(2), QString::number(size));
        EXPECT_EQ(s->field(3), QString::number(rating));
    }

    // Removal, and a code nobody holds.
    ASSERT_TRUE(node.control->request(batch(node.login.id, 2, {record(QStringLiteral("b.ppt"), 2000, codeB, 2)}),
                                      QStringLiteral("s_c_update_reply0.5")));
    for (const QString &code : {codeB, QStringLiteral("1!1!1!0!")}) {
        const auto s = client->request({QStringLiteral("U_SEARCH0.5"), code, QStringLiteral("b.ppt")}, QStringLiteral("s_u_search_reply0.5"));
        ASSERT_TRUE(s);
        EXPECT_EQ(s->fields, (QStringList{QStringLiteral("s_u_search_reply0.5"), QStringLiteral("0")}));
    }

    // Port brokering answers the node's public and binding endpoints.
    const auto np = client->request({QStringLiteral("U_ASKFOR_NEWPORT0.5"), QString::number(node.login.id)}, QStringLiteral("s_reply_newport0.5"));
    ASSERT_TRUE(np);
    EXPECT_EQ(np->fields, (QStringList{QStringLiteral("s_reply_newport0.5"), QStringLiteral("127.0.0.1"), QString::number(node.udp->localPort())}));
    const auto bp = client->request({QStringLiteral("U_ASKFOR_BINDING0.5"), QString::number(node.login.id)}, QStringLiteral("s_reply_binding0.5"));
    ASSERT_TRUE(bp);
    EXPECT_EQ(bp->field(1), u"127.0.0.1");

    // Once the node is gone it is no source any more.
    node.control.reset();
    ASSERT_TRUE(waitFor([&] {
        const auto s = client->request({QStringLiteral("U_SEARCH0.5"), codeA, QString()}, QStringLiteral("s_u_search_reply0.5"));
        return s && s->field(1) == u"0";
    }));
}

TEST_F(ServerE2E, DownloadReportsMoveThePoints)
{
    const qint64 owner = registerUser(server, QStringLiteral("owner@school.cn"), QStringLiteral("pw"));
    const qint64 taker = registerUser(server, QStringLiteral("taker@school.cn"), QStringLiteral("pw"));
    Node node = startNode(3);
    const QString code = QStringLiteral("5000!1!1!0!");
    ASSERT_TRUE(node.control->request(batch(node.login.id, 1, {record(QStringLiteral("好.doc"), 5000, code, 1, 5, {}, owner)}),
                                      QStringLiteral("s_c_update_reply0.5")));
    auto o = connectClient();
    ASSERT_TRUE(o->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(owner), QStringLiteral("pw")}, QStringLiteral("s_u_login_reply0.5")));
    ASSERT_TRUE(o->waitFor(QStringLiteral("s_u_jifen_update0.5")));
    auto t = connectClient();
    ASSERT_TRUE(t->request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(taker), QStringLiteral("pw")}, QStringLiteral("s_u_login_reply0.5")));
    ASSERT_TRUE(t->waitFor(QStringLiteral("s_u_jifen_update0.5")));

    t->send({QStringLiteral("U_DOWNLOADED0.5"), code + QStringLiteral("_294"), QString::number(taker), QStringLiteral("1")});
    const auto tp = t->waitFor(QStringLiteral("s_u_jifen_update0.5"));
    ASSERT_TRUE(tp);
    EXPECT_EQ(tp->field(1), u"9");
    const auto op = o->waitFor(QStringLiteral("s_u_jifen_update0.5"));
    ASSERT_TRUE(op);
    EXPECT_EQ(op->field(1), u"11");
    // The same report again changes nothing.
    t->send({QStringLiteral("U_DOWNLOADED0.5"), code + QStringLiteral("_294"), QString::number(taker), QStringLiteral("1")});
    EXPECT_TRUE(t->quietFor(300));
    EXPECT_TRUE(o->quietFor(10));
}

struct NatCase {
    const char *name;
    const char *verb;
    const char *reply;
    bool toSecond;          // sent to B:U+2 instead of A:U
    const char *fromAddress;
    int fromPortOffset;     // relative to U
};

void PrintTo(const NatCase &c, std::ostream *os)
{
    *os << c.name;
}

class ServerNat : public ServerE2E, public ::testing::WithParamInterface<NatCase> {};

TEST_P(ServerNat, AnswersFromTheRightAddressAndPort)
{
    const NatCase &c = GetParam();
    QUdpSocket s;
    ASSERT_TRUE(s.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QHostAddress to(QString::fromLatin1(c.toSecond ? "127.0.0.2" : "127.0.0.1"));
    s.writeDatagram(QByteArray(c.verb), to, quint16(server.udpPort() + (c.toSecond ? 2 : 0)));
    const auto d = receive(s);
    ASSERT_TRUE(d);
    const QList<QByteArray> lines = d->data().split('\n');
    EXPECT_EQ(lines.value(0).trimmed(), QByteArray(c.reply));
    EXPECT_EQ(lines.value(1).trimmed(), "127.0.0.1:" + QByteArray::number(s.localPort()));
    EXPECT_EQ(QHostAddress(d->senderAddress().toIPv4Address()).toString(), QString::fromLatin1(c.fromAddress));
    EXPECT_EQ(d->senderPort(), server.udpPort() + c.fromPortOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerNat,
    ::testing::Values(NatCase{"RequestU", "U_CHANGE_REQUEST0.5", "s_re_change_request0.5", false, "127.0.0.1", 0},
                      NatCase{"RequestC", "C_CHANGE_REQUEST0.5", "s_re_change_request0.5", false, "127.0.0.1", 0},
                      NatCase{"RequestSecondServer", "U_CHANGE_REQUEST0.5", "s_re_change_request0.5", true, "127.0.0.2", 2},
                      NatCase{"IpPortU", "U_CHANGE_IP_PORT0.5", "s_re_change_ip_port0.5", false, "127.0.0.2", 1},
                      NatCase{"IpPortC", "C_CHANGE_IP_PORT0.5", "s_re_change_ip_port0.5", false, "127.0.0.2", 1},
                      NatCase{"PortU", "U_CHANGE_PORT0.5", "s_re_change_port0.5", false, "127.0.0.1", 1},
                      NatCase{"PortC", "C_CHANGE_PORT0.5", "s_re_change_port0.5", false, "127.0.0.1", 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ServerE2E, PunchRequestIsPassedToTheNode)
{
    Node node = startNode(3);
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    client.writeDatagram("U_P2PASKFOR0.5127.0.0.1:" + QByteArray::number(node.udp->localPort()), QHostAddress(server.address()), server.udpPort());
    const auto d = receive(*node.udp);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->data(), "s_p2paskfor0.5127.0.0.1:" + QByteArray::number(client.localPort()));
    EXPECT_EQ(d->senderPort(), server.udpPort());
    // An endpoint nobody registered gets nothing passed on.
    client.writeDatagram("U_P2PASKFOR0.5127.0.0.1:9", QHostAddress(server.address()), server.udpPort());
    EXPECT_FALSE(receive(*node.udp, 300));
    // Registrations for a computer that is not logged in from there are refused.
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    stranger.writeDatagram("C_UDP_LOGIN_TYPE0.5\r\n" + QByteArray::number(node.login.id) + "\r\n127.0.0.3\r\n1\r\n1\r\n",
                           QHostAddress(server.address()), server.udpPort());
    EXPECT_FALSE(receive(stranger, 300));
}

// Reads one piece answer from a relay client link.
std::optional<server::RelayInput> readPiece(FrameClient &link, QByteArray &buffer, int timeoutMs = 5000)
{
    std::optional<server::RelayInput> got;
    waitFor([&] {
        buffer += link.takeRaw();
        auto in = server::parseRelayInput(buffer, link.key());
        if (in.status != server::RelayInput::MarkData)
            return false;
        buffer.remove(0, in.consumed);
        got = in;
        return true;
    }, timeoutMs);
    return got;
}

TEST_F(ServerE2E, RelayRoundTripCutsTheNodesMarkIntoPieces)
{
    Node node = startNode(0);
    auto client = guest();
    const auto t = client->request({QStringLiteral("U_ASKFOR_T0.5"), QString::number(node.login.id)}, QStringLiteral("s_reply_t0.5"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->fields, (QStringList{QStringLiteral("s_reply_t0.5"), server.address(), QString::number(server.relayPort())}));
    const auto toNode = node.control->waitFor(QStringLiteral("s_reply_t0.5"));
    ASSERT_TRUE(toNode);
    EXPECT_EQ(toNode->fields, t->fields);

    FrameClient nodeLink;
    ASSERT_TRUE(nodeLink.connectTo(server.address(), server.relayPort()));
    nodeLink.send({QStringLiteral("C_LINK0.5"), QString::number(node.login.id)});
    FrameClient clientLink;
    ASSERT_TRUE(clientLink.connectTo(server.address(), server.relayPort()));
    clientLink.setRawMode(true);

    const QString code = QStringLiteral("70000!11!12!0!");
    QByteArray file(70000, Qt::Uninitialized);
    for (int i = 0; i < file.size(); ++i)
        file[i] = char((i * 7 + i / 251) & 0xFF);

    int requests = 0;
    auto serveNode = [&] {
        while (auto r = nodeLink.waitFor(QStringLiteral("t_request0.5"), 3000)) {
            ++requests;
            const qint64 mark = r->field(2).toLongLong();
            const QByteArray bytes = file.mid(mark * server::kMarkBytes, server::markLength(file.size(), mark));
            nodeLink.sendRaw(server::renderMarkAnswer(r->field(1), mark, r->field(3), bytes));
            return true;
        }
        return false;
    };

    QByteArray buffer;
    clientLink.send({QStringLiteral("U_LINK0.5"), QString::number(node.login.id), code, QStringLiteral("0"), QStringLiteral("3")});
    ASSERT_TRUE(serveNode());
    auto piece = readPiece(clientLink, buffer);
    ASSERT_TRUE(piece);
    EXPECT_EQ(piece->fields.value(0), u"C_T");
    EXPECT_EQ(piece->fields.value(1), u"8160");
    EXPECT_EQ(piece->fields.value(5), u"#");
    EXPECT_EQ(piece->payload, file.mid(3 * 8160, 8160));

    // The other pieces of the mark come from the kept mark.
    for (int p : {0, 1, 2, 4, 5, 6, 7}) {
        clientLink.send({QStringLiteral("U_LINK0.5"), QString::number(node.login.id), code, QStringLiteral("0"), QString::number(p)});
        auto got = readPiece(clientLink, buffer);
        ASSERT_TRUE(got) << p;
        EXPECT_EQ(got->payload, file.mid(p * 8160, 8160)) << p;
    }
    EXPECT_EQ(requests, 1);

    // The last, short piece of the file.
    clientLink.send({QStringLiteral("U_LINK0.5"), QString::number(node.login.id), code, QStringLiteral("1"), QStringLiteral("0")});
    ASSERT_TRUE(serveNode());
    auto last = readPiece(clientLink, buffer);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->fields.value(1), u"4720");
    EXPECT_EQ(last->payload, file.mid(65280));
    EXPECT_EQ(requests, 2);
}

TEST_F(ServerE2E, RelayRequestBeforeTheNodeLinksIsServedOnceItDoes)
{
    Node node = startNode(0);
    FrameClient clientLink;
    ASSERT_TRUE(clientLink.connectTo(server.address(), server.relayPort()));
    clientLink.setRawMode(true);
    const QString code = QStringLiteral("100!1!1!0!");
    clientLink.send({QStringLiteral("U_LINK0.5"), QString::number(node.login.id), code, QStringLiteral("0"), QStringLiteral("0")});
    EXPECT_TRUE(clientLink.quietFor(200));
    FrameClient nodeLink;
    ASSERT_TRUE(nodeLink.connectTo(server.address(), server.relayPort()));
    nodeLink.send({QStringLiteral("C_LINK0.5"), QString::number(node.login.id)});
    const auto r = nodeLink.waitFor(QStringLiteral("t_request0.5"));
    ASSERT_TRUE(r);
    nodeLink.sendRaw(server::renderMarkAnswer(code, 0, r->field(3), QByteArray(100, 'z')));
    QByteArray buffer;
    const auto piece = readPiece(clientLink, buffer);
    ASSERT_TRUE(piece);
    EXPECT_EQ(piece->payload, QByteArray(100, 'z'));
}

TEST_F(ServerE2E, RelayAskForAnOfflineNodeAnswersPortZero)
{
    auto client = guest();
    const auto t = client->request({QStringLiteral("U_ASKFOR_T0.5"), QStringLiteral("424242")}, QStringLiteral("s_reply_t0.5"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->field(2), u"0");
}

TEST_F(ServerE2E, ExitOrderClosesTheNodeConnection)
{
    ServerFixture admin;
    ASSERT_TRUE(admin.start({QStringLiteral("--admin-token"), QStringLiteral("t0k")}));
    FrameClient c;
    ASSERT_TRUE(c.connectTo(admin.address(), admin.tcpPort()));
    const NodeLogin n = registerComputer(c);
    ASSERT_GT(n.id, 0);
    QTcpSocket http;
    http.connectToHost(admin.address(), admin.httpPort());
    ASSERT_TRUE(http.waitForConnected(3000));
    http.write("GET /admin/exit?computer=" + QByteArray::number(n.id) + "&token=t0k HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(c.waitFor(QStringLiteral("s_c_exit0.5")));
    EXPECT_TRUE(waitFor([&] { return !c.connected(); }));
}

TEST_F(ServerE2E, PortalListsIndexedResourcesWithTheirLinks)
{
    Node node = startNode(3);
    const QString code = QStringLiteral("50688!317419!15998!0!");
    ASSERT_TRUE(node.control->request(batch(node.login.id, 1, {record(QStringLiteral("宽容 序言 同步练习.doc"), 50688, code, 1, 4)}),
                                      QStringLiteral("s_c_update_reply0.5")));
    QTcpSocket http;
    http.connectToHost(server.address(), server.httpPort());
    ASSERT_TRUE(http.waitForConnected(3000));
    http.write("GET /?q=%E5%AE%BD%E5%AE%B9+%E5%BA%8F%E8%A8%80 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray response;
    waitFor([&] {
        response += http.readAll();
        return http.state() == QAbstractSocket::UnconnectedState || response.contains("</html>");
    });
    const QString page = QString::fromUtf8(response);
    EXPECT_TRUE(page.startsWith(u"HTTP/1.1 200"));
    EXPECT_TRUE(page.contains(QStringLiteral("href=\"Zorvan://1|宽容 序言 同步练习.doc|50688!317419!15998!0!|/\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("人民教育出版社")));
    EXPECT_TRUE(page.contains(QStringLiteral("找到 <b>1</b> 个资源")));
}

TEST_F(ServerE2E, UpdatePolicies)
{
    for (const auto &[policy, outcome] : {std::pair{"optional", "u_update_login_ok"}, std::pair{"mandatory", "u_must_update"}}) {
        ServerFixture s;
        ASSERT_TRUE(s.start({QStringLiteral("--update-policy"), QString::fromLatin1(policy), QStringLiteral("--update-target"),
                             QStringLiteral("http://school/zorvan-setup.exe")}));
        const qint64 id = registerUser(s, QStringLiteral("u@school.cn"), QStringLiteral("pw"));
        FrameClient c;
        ASSERT_TRUE(c.connectTo(s.address(), s.tcpPort()));
        const auto r = c.request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QString::number(id), QStringLiteral("pw")}, QStringLiteral("s_u_login_reply0.5"));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->field(1), QString::fromLatin1(outcome));
        EXPECT_EQ(r->field(2), u"http://school/zorvan-setup.exe");
        if (QString::fromLatin1(policy) == u"optional") {
            EXPECT_EQ(r->field(3), QString::number(id));
            EXPECT_EQ(r->fields.size() + 1, 22);
        } else {
            EXPECT_EQ(r->fields.size(), 3);
        }
    }
}

TEST_F(ServerE2E, RestartKeepsAccountsComputersAndIndex)
{
    const qint64 id = registerUser(server, QStringLiteral("keep@school.cn"), QStringLiteral("pw"));
    NodeLogin n;
    const QString code = QStringLiteral("1234!1!2!0!");
    {
        Node node = startNode(1);
        n = node.login;
        ASSERT_TRUE(node.control->request(batch(n.id, 3, {record(QStringLiteral("keep.doc"), 1234, code, 1, 3)}), QStringLiteral("s_c_update_reply0.5")));
    }
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.restart()) << server.output().toStdString();

    FrameClient c;
    ASSERT_TRUE(c.connectTo(server.address(), server.tcpPort()));
    const auto r = c.request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("E_MAIL"), QStringLiteral("keep@school.cn"), QStringLiteral("pw")}, QStringLiteral("s_u_login_reply0.5"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->field(1), u"u_login_ok");
    EXPECT_EQ(r->field(2), QString::number(id));

    FrameClient nodeControl;
    ASSERT_TRUE(nodeControl.connectTo(server.address(), server.tcpPort()));
    const auto cc = loginComputer(nodeControl, n);
    ASSERT_TRUE(cc);
    EXPECT_EQ(cc->field(2), u"0");
    const auto s = c.request({QStringLiteral("U_SEARCH0.5"), code, QStringLiteral("keep.doc")}, QStringLiteral("s_u_search_reply0.5"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->field(1), u"1");
    EXPECT_EQ(s->field(2), u"1234");
    EXPECT_EQ(s->field(15), QString::number(n.id)); // no description, no note lines
}

} // namespace
