// The node against the reference server on loopback: registration and login,
// NAT detection and UDP registration, the index batches, a forced exit, hole
// punching through the server, and a relay link through its relay.
#include "common/intake.h"
#include "node/indexsync.h"
#include "node/natdetection.h"
#include "tests/node/nodefixture.h"
#include "tests/support/serverfixture.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace zv;
using namespace zv::node;
using namespace zv::node::test;
using zv::test::waitFor;

namespace {

const QString kAdminToken = QStringLiteral("node-test-token");

class ReferenceTest : public NodeFixture {
protected:
    void SetUp() override
    {
        NodeFixture::SetUp();
        ASSERT_TRUE(server.start({QStringLiteral("--admin-token"), kAdminToken}));
        nat.detector().setTimings({2000, 10, 1});
    }
    NodeSettings referenceSettings() const
    {
        NodeSettings s;
        s.directory = box.path();
        s.deploy.serverAddress = server.address();
        s.deploy.serverHost = server.address();
        s.deploy.tcpPort = server.tcpPort();
        s.deploy.udpPort = server.udpPort();
        s.deploy.localAddresses = {QStringLiteral("127.0.0.1")};
        s.timings = shortTimings();
        s.timings.attemptMs = 3000;
        s.timings.loginMs = 3000;
        s.timings.silenceRetryMs = 500;
        s.timings.heartbeatMs = 60000;
        return s;
    }
    std::unique_ptr<Node> startNode()
    {
        const auto loaded = loadIdentity(box.path(QStringLiteral("pc.dll")));
        auto node = std::make_unique<Node>(referenceSettings(), loaded.identity.value_or(ComputerIdentity{}), db, nat);
        node->start();
        return node;
    }
    // A served file in the sandbox with its row in local.res (state 1).
    QString addServedFile(const QString &name, const QByteArray &bytes)
    {
        const QString full = box.writeFile(QStringLiteral("lib/") + name, bytes);
        const QString code = featureCode(full);
        store::ResultSet rs;
        rs.open(db, QStringLiteral("select * from table_file where id < 0"));
        rs.append();
        rs.setField(QStringLiteral("file_name"), name);
        rs.setField(QStringLiteral("path"), box.path(QStringLiteral("lib")) + u'/');
        rs.setField(QStringLiteral("file_size"), bytes.size());
        rs.setField(QStringLiteral("file_code"), code);
        rs.setField(QStringLiteral("update_state"), 1);
        rs.setField(QStringLiteral("user_id"), 10001);
        rs.setField(QStringLiteral("modify_datetime"), dosLastWriteTime(full));
        EXPECT_TRUE(rs.post());
        return code;
    }
    int rowsInState(int state)
    {
        store::ResultSet rs;
        rs.open(db, QStringLiteral("select * from table_file where update_state = %1").arg(state));
        return int(rs.recordCount());
    }

    zv::test::ServerFixture server;
    platform::StopwatchTable watches;
    SharedNatProbe nat{watches};
};

TEST_F(ReferenceTest, RegistersThenLogsInDetectsAndAnnounces)
{
    platform::writeLines(box.path(QStringLiteral("nat_type.log")), {QStringLiteral("nat_type"), QString(), QStringLiteral("0")});
    addServedFile(QStringLiteral("a.doc"), QByteArray(5000, 'a'));
    addServedFile(QStringLiteral("b.doc"), QByteArray(7000, 'b'));
    qint32 id = 0;
    {
        auto node = startNode();
        ASSERT_TRUE(node->loggedIn()) << node->log().lines().join(u'\n').toStdString();
        const QStringList pc = pcDll();
        ASSERT_EQ(pc.size(), 6);
        id = pc[3].toInt();
        EXPECT_GT(id, 0);
        EXPECT_FALSE(pc[4].isEmpty());
        EXPECT_EQ(pc[0], QStringLiteral("Zorvan_C"));
        EXPECT_EQ(pc[5], QStringLiteral("tail"));
        EXPECT_EQ(node->natType(), 1);
        EXPECT_EQ(platform::readLines(box.path(QStringLiteral("nat_type.log"))).value_or(QStringList{}),
                  (QStringList{QStringLiteral("nat_type"), QStringLiteral("1"), QStringLiteral("0")}));
        EXPECT_TRUE(waitFor([&] { return rowsInState(0) == 2; }, 5000)) << "the login batch was confirmed";
        EXPECT_TRUE(node->uploadGateOpen());
        const QString endpoint = QStringLiteral("computer %1 endpoint 127.0.0.1:%2 (local 127.0.0.1:%2, NAT type 1)")
                                     .arg(id)
                                     .arg(node->udp().localPort());
        EXPECT_TRUE(waitFor([&] { return server.output().contains(endpoint); }, 3000)) << server.output().toStdString();
    }
    auto node = startNode();
    ASSERT_TRUE(node->loggedIn());
    EXPECT_EQ(node->computerId(), id);
    EXPECT_TRUE(waitFor([&] { return server.output().contains(QStringLiteral("computer %1 logged in").arg(id)); }, 3000))
        << server.output().toStdString();
}

TEST_F(ReferenceTest, ForcedExitIsFollowedByANewLogin)
{
    auto node = startNode();
    ASSERT_TRUE(node->loggedIn());
    const qint32 id = node->computerId();
    // The new login can run inside one round of event processing, so the
    // signals are counted rather than the flag polled.
    int drops = 0, logins = 0;
    QObject::connect(node.get(), &Node::disconnectedFromServer, node.get(), [&] { ++drops; });
    QObject::connect(node.get(), &Node::loginSucceeded, node.get(), [&] { ++logins; });
    QNetworkAccessManager http;
    QNetworkReply *reply = http.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/admin/exit?token=%2&computer=%3")
                                                             .arg(server.httpPort()).arg(kAdminToken).arg(id))));
    ASSERT_TRUE(waitFor([&] { return reply->isFinished(); }, 5000));
    EXPECT_EQ(reply->error(), QNetworkReply::NoError) << reply->errorString().toStdString();
    ASSERT_TRUE(waitFor([&] { return drops >= 1; }, 5000));
    ASSERT_TRUE(waitFor([&] { return logins >= 1 && node->loggedIn(); }, 10000))
        << node->log().lines().join(u'\n').toStdString();
    EXPECT_EQ(node->computerId(), id);
    reply->deleteLater();
}

TEST_F(ReferenceTest, PunchRequestThroughTheServerMakesTheNodePunch)
{
    auto node = startNode();
    ASSERT_TRUE(node->loggedIn());
    ASSERT_TRUE(waitFor([&] { return node->timer(QStringLiteral("Timer1"))->isActive(); }, 3000));
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QByteArray ask = "U_P2PASKFOR0.5127.0.0.1:" + QByteArray::number(node->udp().localPort());
    QByteArray got;
    ASSERT_TRUE(waitFor([&] {
        client.writeDatagram(ask, QHostAddress(server.address()), server.udpPort());
        for (int i = 0; i < 20 && got.isEmpty(); ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
            while (client.hasPendingDatagrams())
                got = client.receiveDatagram().data();
        }
        return !got.isEmpty();
    }, 5000));
    EXPECT_EQ(got, "C_P2PHOLING0.5");
}

// Parses one piece answer "C_T" ... "#" CR LF + bytes; nullopt while incomplete.
std::optional<QByteArray> takePiece(QByteArray &buffer)
{
    const qsizetype hash = buffer.indexOf("\r\n#\r\n");
    if (hash < 0)
        return std::nullopt;
    const QList<QByteArray> lines = buffer.left(hash).split('\n');
    if (lines.size() < 2)
        return std::nullopt;
    const qsizetype n = lines[1].trimmed().toLongLong();
    const qsizetype start = hash + 5;
    if (buffer.size() < start + n)
        return std::nullopt;
    QByteArray piece = buffer.mid(start, n);
    buffer.remove(0, start + n);
    return piece;
}

TEST_F(ReferenceTest, RelayLinkServesWholeMarksThroughTheRelay)
{
    QByteArray file(2 * 65280, Qt::Uninitialized);
    for (qsizetype i = 0; i < file.size(); ++i)
        file[i] = char((i * 13 + i / 509) & 0xFF);
    const QString code = addServedFile(QStringLiteral("two-marks.bin"), file);
    auto node = startNode();
    ASSERT_TRUE(node->loggedIn());
    const qint32 id = node->computerId();

    zv::test::FrameClient client;
    ASSERT_TRUE(client.connectTo(server.address(), server.tcpPort()));
    ASSERT_TRUE(client.request({QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()},
                               QStringLiteral("s_u_login_reply0.5")));
    const auto relay = client.request({QStringLiteral("U_ASKFOR_T0.5"), QString::number(id)}, QStringLiteral("s_reply_t0.5"));
    ASSERT_TRUE(relay);
    ASSERT_TRUE(waitFor([&] { return node->relays().activeLinks() == 1; }, 5000));

    zv::test::FrameClient link;
    ASSERT_TRUE(link.connectTo(relay->field(1), quint16(relay->field(2).toInt())));
    link.setRawMode(true);
    QByteArray buffer;
    for (int piece : {7, 0}) {
        link.send({QStringLiteral("U_LINK0.5"), QString::number(id), code, QStringLiteral("1"), QString::number(piece)});
        std::optional<QByteArray> got;
        ASSERT_TRUE(waitFor([&] {
            buffer += link.takeRaw();
            got = takePiece(buffer);
            return got.has_value();
        }, 5000)) << server.output().toStdString();
        EXPECT_EQ(*got, file.mid(65280 + piece * 8160, 8160)) << piece;
    }
}

} // namespace
