// The serving engine behind its real UDP socket, with a scripted downloader
// on loopback.
#include "node/udpendpoint.h"
#include "tests/node/downloader.h"

#include <gtest/gtest.h>

using namespace zv::node;
using namespace zv::node::test;

namespace {

class ServingUdpTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(endpoint.bind(QStringLiteral("127.0.0.1"), 0)); }
    QString addFile(const QByteArray &bytes, const QString &name)
    {
        const QString code = QString::number(bytes.size()) + QStringLiteral("!3!4!0!");
        box.writeFile(name, bytes);
        library.records.append({code, box.path(), name});
        return code;
    }
    quint16 nodePort() const { return endpoint.localPort(); }

    zv::test::Sandbox box;
    FakeLibrary library;
    DiskFileAccess disk;
    UdpEndpoint endpoint{library, disk};
    ScriptedDownloader client;
};

const QByteArray kMarker = "C_P2PFILETRANSMARK0.5-";

TEST_F(ServingUdpTest, ExactMarkFileOverLoopback)
{
    const QByteArray bytes = patternBytes(65280);
    const QString code = addFile(bytes, QStringLiteral("exact.bin"));
    client.sendLines({QStringLiteral("U_P2PFILEREQUEST0.5"), code, QStringLiteral("0")}, nodePort());
    auto got = client.collectUntil(kMarker);
    ASSERT_EQ(got.size(), 65);
    QByteArray joined;
    for (int i = 0; i < 64; ++i) {
        const auto d = parseData(got[i]);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->first, std::uint32_t(i));
        joined += d->second;
    }
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(got[64], kMarker + "0");

    client.sendLines({QStringLiteral("U_REPLYTRANSMARK0.5")}, nodePort());
    client.sendLines({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QStringLiteral("1")}, nodePort());
    EXPECT_EQ(client.collectUntil(kMarker), QList<QByteArray>{kMarker + "1"});
    client.sendLines({QStringLiteral("U_REPLYTRANSMARK0.5")}, nodePort());
    client.sendLines({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QStringLiteral("2")}, nodePort());
    EXPECT_EQ(client.collectUntil(kMarker), QList<QByteArray>{kMarker + "2error"});
    client.sendLines({QStringLiteral("U_P2PTRANSEND0.5"), code}, nodePort());
    EXPECT_TRUE(zv::test::waitFor([&] { return endpoint.engine().transferCount() == 0; }));
    EXPECT_FALSE(endpoint.sendingTick()->isActive());
}

TEST_F(ServingUdpTest, SmallFileAndRepairOverLoopback)
{
    const QByteArray bytes = patternBytes(1021);
    const QString code = addFile(bytes, QStringLiteral("small.bin"));
    client.sendLines({QStringLiteral("U_P2PFILEREQUEST0.5"), code, QStringLiteral("0")}, nodePort());
    const auto got = client.collectUntil(kMarker);
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[1].size(), 15);
    client.sendLines({QStringLiteral("U_REPLYTRANSMARK0.5")}, nodePort());
    client.sendLines({QStringLiteral("U_P2PLOSTNUM0.5"), code, QStringLiteral("0"), QStringLiteral("<0><1><2>")}, nodePort());
    const auto repair = client.collectUntil(kMarker);
    ASSERT_EQ(repair.size(), 4);
    EXPECT_EQ(parseData(repair[0])->second, bytes.left(1020));
    EXPECT_EQ(parseData(repair[1])->second, bytes.right(1));
    EXPECT_EQ(repair[2].size(), 14) << "a chunk past the data carries only its number";
    EXPECT_EQ(repair[3], kMarker + "0<0><1><2>");
}

TEST_F(ServingUdpTest, RefusalsAndPunchesOverLoopback)
{
    client.send("U_P2PHOLE0.5", nodePort());
    EXPECT_EQ(client.collectUntil("C_P2P"), QList<QByteArray>{"C_P2PSUCCESS0.5"});
    client.sendLines({QStringLiteral("U_P2PFILEREQUEST0.5"), QStringLiteral("1!2!3!0!"), QStringLiteral("4")}, nodePort());
    EXPECT_EQ(client.collectUntil("C_P2P"), QList<QByteArray>{"C_P2PNOFILE0.54"});

    ScriptedDownloader server;
    server.send("s_p2paskfor0.5127.0.0.1:" + QByteArray::number(client.port()), nodePort());
    EXPECT_EQ(client.collectUntil("C_P2P"), QList<QByteArray>{"C_P2PHOLING0.5"});
}

TEST_F(ServingUdpTest, WholeFileMarkByMark)
{
    const QByteArray bytes = patternBytes(5 * 65280 + 777);
    const QString code = addFile(bytes, QStringLiteral("whole.bin"));
    QByteArray received(bytes.size(), '\0');
    const int marks = 6;
    client.sendLines({QStringLiteral("U_P2PFILEREQUEST0.5"), code, QStringLiteral("0")}, nodePort());
    for (int m = 0; m < marks; ++m) {
        const auto got = client.collectUntil(kMarker);
        ASSERT_FALSE(got.isEmpty());
        ASSERT_EQ(got.last(), kMarker + QByteArray::number(m));
        for (const auto &d : got) {
            if (const auto data = parseData(d))
                received.replace(qsizetype(data->first) * 1020, data->second.size(), data->second);
        }
        client.sendLines({QStringLiteral("U_REPLYTRANSMARK0.5")}, nodePort());
        if (m + 1 < marks)
            client.sendLines({QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QString::number(m + 1)}, nodePort());
    }
    client.sendLines({QStringLiteral("U_P2PTRANSEND0.5"), code}, nodePort());
    EXPECT_EQ(received, bytes);
}

} // namespace
