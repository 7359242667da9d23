// Starting and stopping the serving node.
#include "client/core/nodestarter.h"
#include "tests/support/sandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace zv::client;
using zv::test::Sandbox;
using zv::test::waitFor;

namespace {

struct Recorder {
    QStringList steps;
    void attach(NodeStarter &starter, bool terminates)
    {
        starter.setTerminator([this, terminates] {
            steps << QStringLiteral("terminate");
            return terminates;
        });
        starter.setWaiter([this](int ms) { steps << QStringLiteral("wait %1").arg(ms); });
        starter.setLauncher([this](const QString &program, const QString &dir) {
            steps << QStringLiteral("launch ") + program + QStringLiteral(" in ") + dir;
            return true;
        });
    }
};

const char *kInNamespace = "ZORVAN_NODESTARTER_IN_PIDNS";

} // namespace

TEST(NodeStarterTest, EndsTheOldNodeWaitsASecondAndStartsTheNewOne)
{
    NodeStarter starter(QStringLiteral("/opt/zorvan"));
    Recorder r;
    r.attach(starter, true);
    EXPECT_TRUE(starter.start());
    EXPECT_EQ(r.steps, (QStringList{QStringLiteral("terminate"), QStringLiteral("wait 1000"),
                                    QStringLiteral("launch /opt/zorvan/computer/Zorvan_C in /opt/zorvan/computer/")}));
    EXPECT_EQ(starter.startedPath(), QStringLiteral("/opt/zorvan/computer/Zorvan_C"));
}

TEST(NodeStarterTest, ANodeThatCannotBeEndedIsLeftAloneAndNothingStarts)
{
    NodeStarter starter(QStringLiteral("/opt/zorvan/"));
    Recorder r;
    r.attach(starter, false);
    EXPECT_FALSE(starter.start());
    EXPECT_EQ(r.steps, QStringList{QStringLiteral("terminate")});
    EXPECT_TRUE(starter.startedPath().isEmpty());
}

TEST(NodeStarterTest, StopOnlyTerminates)
{
    NodeStarter starter(QStringLiteral("/opt/zorvan/"));
    Recorder r;
    r.attach(starter, true);
    EXPECT_TRUE(starter.stop());
    EXPECT_EQ(r.steps, QStringList{QStringLiteral("terminate")});
}

// With real processes. Ending "every node process of the machine" must not
// touch other tests' nodes, so the case runs again in a PID namespace of its own.
TEST(NodeStarterRealTest, KillsTheRunningNodeAndStartsANewOneASecondLater)
{
    if (qEnvironmentVariableIsEmpty(kInNamespace)) {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root for a PID namespace";
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kInNamespace), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--mount-proc"),
                     QCoreApplication::applicationFilePath(),
                     QStringLiteral("--gtest_filter=NodeStarterRealTest.*")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        if (output.contains(QStringLiteral("unshare failed")))
            GTEST_SKIP() << "no PID namespace here: " << output.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
        return;
    }

    Sandbox box;
    // The running node: a copy of sleep under the node's name.
    const QString oldNode = box.path(QStringLiteral("old/Zorvan_C"));
    box.mkdir(QStringLiteral("old"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORVAN_SLEEP_PROGRAM), oldNode));
    QProcess running;
    running.start(oldNode, {QStringLiteral("60")});
    ASSERT_TRUE(running.waitForStarted());

    // The node to be started: a script that leaves a mark in its working folder.
    const QString program = box.path(QStringLiteral("prog/"));
    const QString script = box.writeFile(QStringLiteral("prog/computer/Zorvan_C"),
                                         "#!/bin/sh\necho started > started.mark\nexec sleep 30\n");
    QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    NodeStarter starter(program);
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 killedAt = -1;
    QObject::connect(&running, &QProcess::finished, &running, [&] { killedAt = elapsed.elapsed(); });
    ASSERT_TRUE(starter.start());
    const qint64 startedAt = elapsed.elapsed();
    ASSERT_TRUE(waitFor([&] { return killedAt >= 0; }));
    EXPECT_EQ(running.exitStatus(), QProcess::CrashExit);
    EXPECT_GE(startedAt - killedAt, 990);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(program + QStringLiteral("computer/started.mark")); }));
}
