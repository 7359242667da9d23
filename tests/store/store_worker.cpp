// Edits one row of a library together with another process: single-row
// increments by statement, read-and-store edits of one column through the
// current row, and appended rows. Prints the first failure and exits non-zero.
//
// store_worker <library> <row id> <column> <rounds> <start file>
#include "common/store/store.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cstdio>

using namespace zv;
using namespace Qt::StringLiterals;

namespace {

int failed(int code, const QString &what, const QString &error)
{
    std::fprintf(stderr, "store_worker: %s: %s\n", what.toUtf8().constData(), error.toUtf8().constData());
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        return failed(64, u"usage"_s, u"store_worker <library> <row id> <column> <rounds> <start file>"_s);
    const QString path = args[1];
    const QString id = args[2];
    const QString column = args[3];
    const int rounds = args[4].toInt();
    const QString start = args[5];

    // Both workers begin together.
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(start)) {
        if (deadline.hasExpired())
            return failed(65, u"start"_s, u"no start signal"_s);
        QThread::msleep(1);
    }

    store::Database db;
    QString error;
    if (!db.open(path, &error))
        return failed(1, u"open"_s, error);
    store::ResultSet row;
    if (!row.open(db, u"select * from table_file where id = "_s + id, &error) || row.recordCount() != 1)
        return failed(2, u"select"_s, error);
    store::ResultSet added;
    if (!added.open(db, u"select * from table_file where id = -1"_s, &error))
        return failed(3, u"select none"_s, error);

    for (int i = 0; i < rounds; ++i) {
        if (!db.exec(u"update table_file set download_times = download_times + 1 where id = "_s + id, &error))
            return failed(4, u"increment"_s, error);
        if (!row.refresh(&error))
            return failed(5, u"refresh"_s, error);
        const qint64 v = row.field(column).toLongLong();
        if (!row.setField(column, v + 1, &error) || !row.post(&error))
            return failed(6, u"row edit"_s, error);
        if (i % 10 == 0) {
            if (!added.append(&error) || !added.setField(u"file_name"_s, column + QString::number(i), &error)
                || !added.setField(u"update_state"_s, 1, &error) || !added.post(&error))
                return failed(7, u"append"_s, error);
            if (added.field(u"id"_s).toLongLong() != added.rowId() || added.rowId() <= 0)
                return failed(8, u"append"_s, u"new row id not readable"_s);
        }
    }
    std::printf("ok\n");
    return 0;
}
