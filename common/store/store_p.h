#pragma once
// Internals of the library store, shared by its own sources and its tests.
// Not for use outside common/store and tests/store.
#include "common/store/store.h"

#include <sqlite3.h>

#include <QByteArray>

namespace zv::store::detail {

// One open SQLite handle, shared by a Database and (weakly) by its result sets.
class Connection {
public:
    explicit Connection(::sqlite3 *db, QString path) : db_(db), path_(std::move(path)) {}
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    ::sqlite3 *db() const { return db_; }
    const QString &path() const { return path_; }
    QString errorText() const;

private:
    ::sqlite3 *db_;
    QString path_;
};

// Finalizes a statement when it goes out of scope.
class Statement {
public:
    Statement() = default;
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    // Prepares exactly one statement; text after it (other than blanks,
    // comments and semicolons) is refused.
    bool prepare(::sqlite3 *db, const QString &sql, QString *error);
    ::sqlite3_stmt *get() const { return stmt_; }

private:
    ::sqlite3_stmt *stmt_ = nullptr;
};

// Binds value (see ResultSet::setField) to parameter index (1-based).
bool bindValue(::sqlite3_stmt *stmt, int index, const QVariant &value, QString *error);
// Reads column index of the current step as a QVariant (date columns as QDateTime).
QVariant columnValue(::sqlite3_stmt *stmt, int index, bool isDate);
// Whether a declared column type is a date type ("DATETIME", "DATE", "TIMESTAMP"...).
bool isDateType(const char *declType);

// Registers like(pattern, text) with Jet's rules on db.
bool registerJetLike(::sqlite3 *db);

// What a select statement reads, as far as editing needs it.
struct SelectShape {
    bool isSelect = false;     // the statement is a select
    bool singleTable = false;  // one table, no join, DISTINCT, GROUP BY or compound
    QString table;             // that table's name, unquoted
    QString withRowId;         // translated statement with "rowid" as the first column
};
// Analyses an already translated statement.
SelectShape analyseSelect(const QString &translated);

// Double-quotes an identifier for SQLite.
QString quoteIdentifier(const QString &name);

} // namespace zv::store::detail
