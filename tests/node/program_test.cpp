// The real Zorvan_C program: refusing a malformed pc.dll, one instance per
// machine, and a first start against the reference server without a display.
#include "common/deploy.h"
#include "platform/textfile.h"
#include "tests/support/sandbox.h"
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using zv::test::waitFor;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(box.mkdir(QStringLiteral("computer")));
        ASSERT_TRUE(box.mkdir(QStringLiteral("run")));
        QFile::setPermissions(box.path(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        exe = box.path(QStringLiteral("computer/Zorvan_C"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZV_NODE_EXE), exe));
        QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    }
    void writePcDll(const QStringList &lines) { zv::platform::writeLines(box.path(QStringLiteral("computer/pc.dll")), lines); }
    std::unique_ptr<QProcess> launch(bool withoutDisplay = false)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), box.path(QStringLiteral("run")));
        env.insert(QStringLiteral("HOME"), box.path());
        if (withoutDisplay) {
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(QString::fromLatin1(name));
        }
        p->setProcessEnvironment(env);
        p->start(exe, {});
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    QStringList lines(const QString &name) const
    {
        return zv::platform::readLines(box.path(QStringLiteral("computer/") + name)).value_or(QStringList{});
    }

    zv::test::Sandbox box;
    QString exe;
};

struct BadIdentity {
    const char *name;
    QStringList lines;   // empty: no pc.dll at all
    const char *mentions;
};

class BadIdentityTest : public ProgramTest, public ::testing::WithParamInterface<BadIdentity> {};

TEST_P(BadIdentityTest, EndsWithAClearMessage)
{
    if (!GetParam().lines.isEmpty())
        writePcDll(GetParam().lines);
    auto p = launch();
    ASSERT_TRUE(p->waitForFinished(20000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p->readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("pc.dll"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QString::fromLatin1(GetParam().mentions))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(box.path(QStringLiteral("computer/local.res")))) << "nothing else was started";
}

INSTANTIATE_TEST_SUITE_P(PcDll, BadIdentityTest, ::testing::Values(
    BadIdentity{"Missing", {}, "missing"},
    BadIdentity{"ThreeLines", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, "at least 5"},
    BadIdentity{"IdNotANumber", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("abc"), QStringLiteral("k")}, "line 4"},
    BadIdentity{"IdNegative", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("-5"), QStringLiteral("k")}, "line 4"},
    BadIdentity{"IdTooLarge", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("99999999999"), QStringLiteral("k")}, "line 4"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ProgramTest, FirstStartWithoutDisplayRegistersAndASecondStartEndsAtOnce)
{
    zv::test::ServerFixture server;
    ASSERT_TRUE(server.start());
    zv::DeployConfig deploy;
    deploy.serverAddress = server.address();
    deploy.serverHost = server.address();
    deploy.tcpPort = server.tcpPort();
    deploy.udpPort = server.udpPort();
    deploy.localAddresses = {QStringLiteral("127.0.0.1")};
    ASSERT_TRUE(deploy.save(box.path(QStringLiteral("computer/deploy.ini"))));
    writePcDll({QStringLiteral("Zorvan_C"), QStringLiteral("1"), QString(), QStringLiteral("0"), QString()});

    auto node = launch(true);
    EXPECT_TRUE(waitFor([&] { return lines(QStringLiteral("pc.dll")).value(3).toInt() > 0; }, 20000))
        << QString::fromLocal8Bit(node->readAllStandardError()).toStdString();
    EXPECT_TRUE(waitFor([&] { return lines(QStringLiteral("nat_type.log")).value(1) == QStringLiteral("1"); }, 20000));
    EXPECT_TRUE(QFile::exists(box.path(QStringLiteral("computer/local.res"))));
    EXPECT_EQ(lines(QStringLiteral("filetype.ls")).size(), 48);
    EXPECT_EQ(node->state(), QProcess::Running);

    auto second = launch();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 0);
    const QByteArray secondErr = second->readAllStandardError();
    EXPECT_TRUE(secondErr.isEmpty()) << secondErr.toStdString();
    EXPECT_EQ(node->state(), QProcess::Running);

    node->kill();
    node->waitForFinished(5000);
}

} // namespace
