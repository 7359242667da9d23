#pragma once
// A thin wrapper over the SQLite C interface for the server's own database:
// one connection, prepared statements with bound values, no hidden caching.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace zv::server {

class SqliteDb;

class Statement {
public:
    Statement() = default;
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement();

    bool valid() const { return stmt_ != nullptr; }
    // Binds values 1..n in order: QString as text, integers as 64-bit,
    // a null QVariant as NULL.
    Statement &bind(std::initializer_list<QVariant> values);
    Statement &bindAt(int index, const QVariant &value);
    // Advances to the next row; false at the end or on error (see ok()).
    bool step();
    // Runs the statement to its end.
    bool exec();
    void reset();
    bool ok() const { return ok_; }

    QString text(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;

private:
    friend class SqliteDb;
    Statement(SqliteDb *db, sqlite3_stmt *stmt) : db_(db), stmt_(stmt) {}
    SqliteDb *db_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
    bool ok_ = true;
};

class SqliteDb {
public:
    SqliteDb() = default;
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;
    ~SqliteDb();

    bool open(const QString &path);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // Runs one or more statements without results.
    bool execScript(const QString &sql);
    Statement prepare(const QString &sql);
    qint64 lastInsertId() const;
    int changes() const;
    QString lastError() const { return lastError_; }

    // A transaction that rolls back unless committed.
    class Transaction {
    public:
        explicit Transaction(SqliteDb &db);
        ~Transaction();
        bool commit();
    private:
        SqliteDb &db_;
        bool done_ = false;
    };

private:
    friend class Statement;
    void noteError();
    sqlite3 *db_ = nullptr;
    QString lastError_;
};

} // namespace zv::server
