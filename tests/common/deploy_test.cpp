#include "common/deploy.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

using namespace zv;

namespace {

TEST(Deploy, MissingFileGivesDefaults)
{
    zv::test::Sandbox box;
    const auto c = DeployConfig::load(box.path(QStringLiteral("deploy.ini")));
    EXPECT_EQ(c.serverAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c.serverHost, QStringLiteral("localhost"));
    EXPECT_EQ(c.tcpPort, 80);
    EXPECT_EQ(c.udpPort, 80);
    EXPECT_EQ(c.portalUrl, QStringLiteral("http://127.0.0.1:8080/"));
    EXPECT_TRUE(c.localAddresses.isEmpty());
}

TEST(Deploy, ReadsValuesCommentsAndBadPorts)
{
    zv::test::Sandbox box;
    const QString path = box.writeFile(QStringLiteral("deploy.ini"),
                                       "[server]\n"
                                       "address=10.1.2.3      ; tried first\n"
                                       "host=zorvan.example\n"
                                       "tcp_port=8081\n"
                                       "udp_port=99999\n"
                                       "[portal]\n"
                                       "url=http://10.1.2.3:9000/search\n"
                                       "[network]\n"
                                       "local_addresses=127.0.0.1, 127.0.0.9\n");
    const auto c = DeployConfig::load(path);
    EXPECT_EQ(c.serverAddress, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(c.serverHost, QStringLiteral("zorvan.example"));
    EXPECT_EQ(c.tcpPort, 8081);
    EXPECT_EQ(c.udpPort, 80); // out of range keeps the default
    EXPECT_EQ(c.portalUrl, QStringLiteral("http://10.1.2.3:9000/search"));
    EXPECT_EQ(c.localAddresses, (QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.9")}));
}

TEST(Deploy, SaveLoadRoundTrip)
{
    zv::test::Sandbox box;
    DeployConfig c;
    c.tcpPort = 4000;
    c.udpPort = 4001;
    c.localAddresses = {QStringLiteral("127.0.0.1")};
    ASSERT_TRUE(c.save(box.path(QStringLiteral("d.ini"))));
    const auto back = DeployConfig::load(box.path(QStringLiteral("d.ini")));
    EXPECT_EQ(back.tcpPort, 4000);
    EXPECT_EQ(back.udpPort, 4001);
    EXPECT_EQ(back.localAddresses, c.localAddresses);
}

TEST(Deploy, ShippedFileHoldsTheDefaults)
{
    const auto c = DeployConfig::load(QStringLiteral(ZORVAN_SOURCE_DIR "/data/deploy.ini"));
    EXPECT_EQ(c.serverAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c.tcpPort, 80);
    EXPECT_TRUE(c.localAddresses.isEmpty());
}

} // namespace
