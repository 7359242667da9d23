#include "server/sqlitedb.h"

#include <QDebug>
#include <sqlite3.h>

namespace zv::server {

Statement::Statement(Statement &&other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)), ok_(other.ok_)
{
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        if (stmt_)
            sqlite3_finalize(stmt_);
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
        ok_ = other.ok_;
    }
    return *this;
}

Statement::~Statement()
{
    if (stmt_)
        sqlite3_finalize(stmt_);
}

Statement &Statement::bindAt(int index, const QVariant &value)
{
    if (!stmt_)
        return *this;
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else if (value.typeId() == QMetaType::QString) {
        const QByteArray utf8 = value.toString().toUtf8();
        rc = sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        rc = sqlite3_bind_blob(stmt_, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    } else {
        rc = sqlite3_bind_int64(stmt_, index, value.toLongLong());
    }
    if (rc != SQLITE_OK) {
        ok_ = false;
        db_->noteError();
    }
    return *this;
}

Statement &Statement::bind(std::initializer_list<QVariant> values)
{
    int i = 1;
    for (const QVariant &v : values)
        bindAt(i++, v);
    return *this;
}

bool Statement::step()
{
    if (!stmt_ || !ok_)
        return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        ok_ = false;
        db_->noteError();
    }
    return false;
}

bool Statement::exec()
{
    while (step()) {
    }
    return ok_;
}

void Statement::reset()
{
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    ok_ = stmt_ != nullptr;
}

QString Statement::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    if (!p)
        return {};
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column));
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

SqliteDb::~SqliteDb()
{
    close();
}

bool SqliteDb::open(const QString &path)
{
    close();
    const QByteArray p = path.toUtf8();
    if (sqlite3_open_v2(p.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        noteError();
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    return true;
}

void SqliteDb::close()
{
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

bool SqliteDb::execScript(const QString &sql)
{
    if (!db_)
        return false;
    char *err = nullptr;
    const QByteArray s = sql.toUtf8();
    if (sqlite3_exec(db_, s.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        lastError_ = QString::fromUtf8(err ? err : "error");
        sqlite3_free(err);
        qWarning().noquote() << "sqlite:" << lastError_;
        return false;
    }
    return true;
}

Statement SqliteDb::prepare(const QString &sql)
{
    if (!db_)
        return {};
    sqlite3_stmt *stmt = nullptr;
    const QByteArray s = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, s.constData(), static_cast<int>(s.size()), &stmt, nullptr) != SQLITE_OK) {
        noteError();
        return {};
    }
    return Statement(this, stmt);
}

qint64 SqliteDb::lastInsertId() const
{
    return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

int SqliteDb::changes() const
{
    return db_ ? sqlite3_changes(db_) : 0;
}

void SqliteDb::noteError()
{
    lastError_ = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("no database");
    qWarning().noquote() << "sqlite:" << lastError_;
}

SqliteDb::Transaction::Transaction(SqliteDb &db) : db_(db)
{
    db_.execScript(QStringLiteral("BEGIN IMMEDIATE"));
}

SqliteDb::Transaction::~Transaction()
{
    if (!done_)
        db_.execScript(QStringLiteral("ROLLBACK"));
}

bool SqliteDb::Transaction::commit()
{
    done_ = true;
    return db_.execScript(QStringLiteral("COMMIT"));
}

} // namespace zv::server
