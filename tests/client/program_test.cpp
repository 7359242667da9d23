// The built program itself: single instance and the files of a first start.
#include "common/deploy.h"
#include "platform/textcodec.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using zv::test::Sandbox;
using zv::test::waitFor;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest()
    {
        box.mkdir(QStringLiteral("prog"));
        box.mkdir(QStringLiteral("home"));
        box.mkdir(QStringLiteral("run"));
        program = box.path(QStringLiteral("prog/Zorvan"));
        QFile::copy(QStringLiteral(ZORVAN_CLIENT_PROGRAM), program);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), box.path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), box.path(QStringLiteral("run")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The search page stays unused: no portal to reach in a test.
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    }
    ~ProgramTest() override
    {
        for (auto &p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QProcess &start()
    {
        auto &p = processes.emplace_back(std::make_unique<QProcess>());
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(box.path(QStringLiteral("home")));
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program, {});
        p->waitForStarted(10000);
        return *p;
    }

    // The show step has run once its last file exists.
    bool waitUntilShown() { return waitFor([&] { return QFile::exists(box.path(QStringLiteral("prog/web_recorder.set"))); }, 60000); }

    QStringList programFiles()
    {
        QStringList files;
        QDirIterator it(box.path(QStringLiteral("prog")), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        const QString root = box.path(QStringLiteral("prog/"));
        while (it.hasNext())
            files << it.next().mid(root.size());
        files.sort();
        return files;
    }

    Sandbox box;
    QString program;
    QProcessEnvironment env;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

TEST_F(ProgramTest, FirstStartWithoutComputerFolderCreatesTheDefaultFiles)
{
    QProcess &p = start();
    ASSERT_TRUE(waitUntilShown());
    EXPECT_EQ(p.state(), QProcess::Running);
    EXPECT_EQ(programFiles(), (QStringList{QStringLiteral("Zorvan"), QStringLiteral("computer"),
                                           QStringLiteral("computer/filetype.ls"),
                                           QStringLiteral("computer/syslofile.ls"), QStringLiteral("dir.obj"),
                                           QStringLiteral("web_recorder.set")}));
    const QString folder = box.path(QStringLiteral("home")) + QStringLiteral("/下载资源/");
    EXPECT_EQ(box.readFile(QStringLiteral("prog/computer/syslofile.ls")),
              zv::platform::toAnsi(QStringLiteral("false\r\n\r\n\r\n\r\nfalse\r\n10\r\n") + folder + QStringLiteral("\r\n")));
    const QByteArray types = box.readFile(QStringLiteral("prog/computer/filetype.ls"));
    EXPECT_EQ(types.count("\r\n"), 48);
    EXPECT_TRUE(types.startsWith("bmp\r\njpg\r\n"));
    EXPECT_TRUE(types.endsWith("htm\r\nhtml\r\n"));
    EXPECT_EQ(box.readFile(QStringLiteral("prog/dir.obj")), QByteArray());
    EXPECT_EQ(box.readFile(QStringLiteral("prog/web_recorder.set")), QByteArray());
}

TEST_F(ProgramTest, FirstStartBesideADeploymentFileAddsOnlyTheDefaultFiles)
{
    zv::DeployConfig deploy;
    deploy.portalUrl = QStringLiteral("http://127.0.0.1:9/");
    box.mkdir(QStringLiteral("prog/computer"));
    ASSERT_TRUE(deploy.save(box.path(QStringLiteral("prog/computer/deploy.ini"))));
    start();
    ASSERT_TRUE(waitUntilShown());
    EXPECT_EQ(programFiles(), (QStringList{QStringLiteral("Zorvan"), QStringLiteral("computer"),
                                           QStringLiteral("computer/deploy.ini"), QStringLiteral("computer/filetype.ls"),
                                           QStringLiteral("computer/syslofile.ls"), QStringLiteral("dir.obj"),
                                           QStringLiteral("web_recorder.set")}));
}

TEST_F(ProgramTest, ASecondStartEndsAtOnceAndTheFirstKeepsRunning)
{
    QProcess &first = start();
    ASSERT_TRUE(waitUntilShown());
    QProcess &second = start();
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_FALSE(first.waitForFinished(500));
}
