#include "platform/autostart.h"
#include "platform/instancelock.h"
#include "platform/netaddr.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/stopwatch.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using namespace zv::platform;

namespace {

TEST(Stopwatch, ReadsElapsedSecondsPerIndex)
{
    std::atomic<std::int64_t> now{1'000'000'000};
    StopwatchTable table([&] { return std::chrono::nanoseconds(now.load()); });
    table.start(501);
    now += 2'500'000'000;
    EXPECT_DOUBLE_EQ(table.read(501), 2.5);
    table.start(502);
    now += 500'000'000;
    EXPECT_DOUBLE_EQ(table.read(501), 3.0); // reading does not restart
    EXPECT_DOUBLE_EQ(table.read(502), 0.5);
    EXPECT_DOUBLE_EQ(table.read(-1), 0.0);
    EXPECT_DOUBLE_EQ(table.read(512), 0.0);
    table.start(600); // ignored
}

TEST(Stopwatch, DistinctIndicesFromThreads)
{
    StopwatchTable table;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&table, t] {
            for (int i = 0; i < 10000; ++i) {
                table.start(10 + t);
                ASSERT_GE(table.read(10 + t), 0.0);
            }
        });
    }
    for (auto &th : threads)
        th.join();
}

struct TitleCase {
    const char *path;
    const char *title;
};

TEST(InstanceLock, TitleRule)
{
    const TitleCase cases[] = {
        {"/opt/z/Zorvan", "Zorvan"},
        {"/opt/z/computer/Zorvan_C", "Zorvan_c"},
        {"/x/ZORVAN.bin.old", "Zorvan"},
        {"/x/a", "a"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(instanceTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
}

TEST(InstanceLock, SecondHolderRefusedUntilReleased)
{
    zv::test::Sandbox box;
    InstanceLock first;
    InstanceLock second;
    ASSERT_TRUE(first.tryLock(QStringLiteral("Zorvan"), box.path()));
    EXPECT_FALSE(second.tryLock(QStringLiteral("Zorvan"), box.path()));
    EXPECT_TRUE(second.tryLock(QStringLiteral("Zorvan_c"), box.path()));
    first.release();
    InstanceLock third;
    EXPECT_TRUE(third.tryLock(QStringLiteral("Zorvan"), box.path()));
}

TEST(InstanceLock, HeldAcrossProcesses)
{
    zv::test::Sandbox box;
    InstanceLock lock;
    ASSERT_TRUE(lock.tryLock(QStringLiteral("T"), box.path()));
    // flock from another process fails while we hold it.
    const int rc = QProcess::execute(QStringLiteral("flock"),
                                     {QStringLiteral("-n"), box.path(QStringLiteral("T.lock")), QStringLiteral("true")});
    EXPECT_EQ(rc, 1);
    lock.release();
    EXPECT_EQ(QProcess::execute(QStringLiteral("flock"),
                                {QStringLiteral("-n"), box.path(QStringLiteral("T.lock")), QStringLiteral("true")}),
              0);
}

TEST(Processes, FindsAndKillsByExecutableBaseName)
{
    zv::test::Sandbox box;
    // A copy of sleep under the node's name stands in for a running node.
    const QString fake = box.path(QStringLiteral("Zorvan_C"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), fake));
    QProcess p;
    p.start(fake, {QStringLiteral("30")});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(zv::test::waitFor([&] { return findProcesses(QStringLiteral("zorvan_c")).contains(p.processId()); }));
    EXPECT_TRUE(findProcesses(QStringLiteral("ZORVAN_C ")).contains(p.processId()));
    EXPECT_TRUE(terminateProcesses(QStringLiteral("zorvan_c")));
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(findProcesses(QStringLiteral("zorvan_c")).contains(p.processId()));
}

TEST(Processes, FakeProcTreeAndNothingToKill)
{
    zv::test::Sandbox box;
    box.mkdir(QStringLiteral("proc/999999"));
    box.writeFile(QStringLiteral("proc/999999/comm"), "zorvan_c\n");
    box.mkdir(QStringLiteral("proc/self"));
    EXPECT_EQ(findProcesses(QStringLiteral("zorvan_c"), box.path(QStringLiteral("proc"))), QList<qint64>{999999});
    // The process does not exist: nothing to deliver, and that is not a failure.
    EXPECT_TRUE(terminateProcesses(QStringLiteral("zorvan_c"), box.path(QStringLiteral("proc"))));
    EXPECT_TRUE(terminateProcesses(QStringLiteral("no_such_program_here")));
}

TEST(Paths, FoldersUnderHome)
{
    zv::test::Sandbox box;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", box.path().toUtf8());
    EXPECT_EQ(homeFolder(), QDir(box.path()).absolutePath() + u'/');
    EXPECT_EQ(defaultDownloadFolder(), homeFolder() + QStringLiteral("下载资源/"));
    EXPECT_EQ(backupFolder(), homeFolder() + QStringLiteral("zorvan_backup/"));
    EXPECT_EQ(zorvanHomePath(QStringLiteral("a.log")), homeFolder() + QStringLiteral("zorvan/a.log"));
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/a")), QStringLiteral("/a/"));
    EXPECT_EQ(withTrailingSlash(QStringLiteral("/a/")), QStringLiteral("/a/"));
    EXPECT_GT(freeDiskSpace(box.path()), 0);
    qputenv("HOME", oldHome);
}

TEST(Autostart, EntryWrittenAndRemoved)
{
    zv::test::Sandbox box;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", box.path().toUtf8());
    EXPECT_FALSE(autostartEnabled());
    ASSERT_TRUE(enableAutostart(QStringLiteral("/opt/zorvan dir/Zorvan")));
    EXPECT_TRUE(autostartEnabled());
    const QByteArray text = box.readFile(QStringLiteral("autostart/Zorvan.desktop"));
    EXPECT_TRUE(text.contains("Exec=\"/opt/zorvan dir/Zorvan\""));
    EXPECT_TRUE(text.contains("Name=Zorvan"));
    EXPECT_TRUE(disableAutostart());
    EXPECT_FALSE(autostartEnabled());
    EXPECT_TRUE(disableAutostart());
    qputenv("XDG_CONFIG_HOME", old);
}

TEST(NetAddr, ConfiguredAddressesWin)
{
    EXPECT_EQ(localIPv4Addresses({QStringLiteral(" 127.0.0.5"), QStringLiteral("bogus"), QStringLiteral("127.0.0.5"),
                                  QStringLiteral("::1"), QStringLiteral("127.0.0.6")}),
              (QStringList{QStringLiteral("127.0.0.5"), QStringLiteral("127.0.0.6")}));
    for (const auto &a : localIPv4Addresses())
        EXPECT_FALSE(a.startsWith(QStringLiteral("127."))) << a.toStdString();
}

} // namespace
