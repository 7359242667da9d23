// Two processes edit the same library at once: no lost update, no lock error.
#include "tests/store/storefixture.h"

#include <QDeadlineTimer>
#include <QProcess>

using namespace zv;
using namespace zv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int kRounds = 500;

class StoreTwoProcesses : public LibraryFixture {};

TEST_F(StoreTwoProcesses, EditSameRowWithoutLostUpdatesOrLockErrors)
{
    const qint64 id = addRecord(u"shared.doc"_s, u"/lib/"_s);
    const QString start = box_.path(u"start"_s);
    struct Worker {
        QString column;
        QProcess process;
    };
    Worker workers[2];
    workers[0].column = u"search_times"_s;
    workers[1].column = u"int2"_s;
    for (Worker &w : workers) {
        w.process.setProgram(QStringLiteral(ZV_STORE_WORKER));
        w.process.setArguments({path_, QString::number(id), w.column, QString::number(kRounds), start});
        w.process.start();
        ASSERT_TRUE(w.process.waitForStarted(10000));
    }
    box_.writeFile(u"start"_s, "go");

    // This process keeps reading and editing meanwhile.
    store::ResultSet rs;
    ASSERT_TRUE(rs.open(db_, u"select * from table_file where ( update_state <> 2 ) and ( update_state <> 12 )"_s));
    int reads = 0;
    QString error;
    auto running = [&] {
        return workers[0].process.state() != QProcess::NotRunning || workers[1].process.state() != QProcess::NotRunning;
    };
    QDeadlineTimer deadline(120000);
    while (running() && !deadline.hasExpired()) {
        ASSERT_TRUE(rs.requery(&error)) << str(error);
        ASSERT_TRUE(rs.first());
        ASSERT_TRUE(rs.setField(u"int3"_s, rs.field(u"int3"_s).toLongLong() + 1, &error));
        ASSERT_TRUE(rs.post(&error)) << str(error);
        ++reads;
        for (Worker &w : workers)
            w.process.waitForFinished(5);
    }
    for (Worker &w : workers) {
        if (w.process.state() != QProcess::NotRunning) {
            w.process.kill();
            w.process.waitForFinished(5000);
            FAIL() << "worker for " << str(w.column) << " did not finish";
        }
        EXPECT_EQ(w.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(w.process.exitCode(), 0) << w.process.readAllStandardError().toStdString();
    }

    store::ResultSet check;
    ASSERT_TRUE(check.open(db_, u"select * from table_file where id = "_s + QString::number(id)));
    EXPECT_EQ(check.field(u"download_times"_s).toInt(), 2 * kRounds);
    EXPECT_EQ(check.field(u"search_times"_s).toInt(), kRounds);
    EXPECT_EQ(check.field(u"int2"_s).toInt(), kRounds);
    EXPECT_EQ(check.field(u"int3"_s).toInt(), reads);
    EXPECT_EQ(scalar(u"select count(*) from table_file"_s), 1 + 2 * (kRounds / 10));
    EXPECT_EQ(scalar(u"select count(distinct id) from table_file"_s), 1 + 2 * (kRounds / 10));
}

} // namespace
