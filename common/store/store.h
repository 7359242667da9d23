#pragma once
// The library store: the database files local.res (the library, one table
// table_file) and chubanshe.res (the textbook catalogue), kept in SQLite.
//
// Both programs build their statements as text in the dialect they were
// written for (select top N, Jet's LIKE with "[...]" classes, Chinese table
// and column names, #date# literals) and make row edits through the current
// row of a result set. This layer takes those statement texts as they stand.
//
// Both programs open local.res at the same time. Every connection runs in WAL
// mode with a busy time-out, every change is a single statement or a
// single-row edit, and a result set never holds a read transaction open
// between calls (its rows are read when it is opened), so neither program
// sees "database is locked" while the other one writes.
//
// Nothing here throws: every operation returns a flag or an optional and
// leaves a readable error text.
//
// A Database and the result sets opened on it are used by one thread at a
// time (row ids and change counts are per connection); a thread of its own,
// such as a download worker, opens a Database of its own on the same file.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <span>
#include <vector>

struct sqlite3;

namespace zv::store {

namespace detail {
class Connection;
}

// ---------------------------------------------------------------------------
// Schema of table_file

inline constexpr int kBusyTimeoutMs = 5000;
inline constexpr qsizetype kMaxStatementChars = 1'000'000;
inline constexpr qsizetype kMaxResultRows = 1'000'000;
inline constexpr int kMemoMaxChars = 65'536;

enum class ColumnKind {
    AutoId,    // INTEGER PRIMARY KEY AUTOINCREMENT, 0 .. 2147483647
    Integer32, // 32-bit signed; NULL allowed; DEFAULT 0 (share: DEFAULT 1)
    Text,      // at most maxChars characters
    Memo,      // at most kMemoMaxChars characters
    DateTime,  // text "yyyy-MM-dd hh:mm:ss", local time
};

struct ColumnSpec {
    const char16_t *name;
    ColumnKind kind;
    int maxChars; // Text and Memo only
};

// The columns of table_file in the table's order.
std::span<const ColumnSpec> libraryColumns();
inline const QString kLibraryTable = QStringLiteral("table_file");

// The CREATE TABLE statement of table_file (with its CHECK constraints).
QString libraryTableDefinition();

// Creates the library database at path with table_file (and its indexes) when
// they do not exist yet; an existing table is left as it is. Sets WAL mode.
bool createLibrary(const QString &path, QString *error = nullptr);

// Creates a database at path (when missing) and runs the statements in one
// transaction; for any other database, for example a catalogue.
bool createDatabase(const QString &path, const QStringList &statements, QString *error = nullptr);

// ---------------------------------------------------------------------------
// Dates

// Stored form of a date and time: local time "yyyy-MM-dd hh:mm:ss"
// (milliseconds dropped). An invalid QDateTime gives the empty text.
QString toStoredDateTime(const QDateTime &dt);
// The local QDateTime of a stored text; invalid when the text is not one.
QDateTime fromStoredDateTime(const QString &text);

// ---------------------------------------------------------------------------
// Statement dialect

// Rewrites a statement of the programs' dialect for SQLite: "select top N"
// becomes a LIMIT N at the end of that select (also inside parentheses),
// "#date#" literals become stored date texts, "delete * from" becomes
// "delete from". Quoted strings, identifiers and comments are never touched;
// everything else passes through unchanged ("<>", Chinese names, LIKE, whose
// rules are those of the function registered on every connection).
QString translateStatement(const QString &statement);

// Jet's LIKE: "%" any run, "_" one character, "[abc]", "[a-z]", "[!abc]" one
// character of (not of) the class, "[%]" "[_]" "[[]" the character itself,
// "[]" nothing; case-insensitive. An unclosed "[" stands for itself.
bool jetLike(const QString &pattern, const QString &text);

// ---------------------------------------------------------------------------
// Connection

class Database {
public:
    enum class Mode { ReadWrite, ReadOnly, ReadWriteCreate };

    Database();
    ~Database();
    Database(Database &&other) noexcept;
    Database &operator=(Database &&other) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens path (which must exist unless mode is ReadWriteCreate) in WAL mode
    // with the busy time-out, registering Jet's like(). Closes any open one.
    bool open(const QString &path, QString *error = nullptr, Mode mode = Mode::ReadWrite);
    // Closes the connection. Result sets opened on it become read-only copies
    // whose edits and requeries fail with an error.
    void close();
    bool isOpen() const;
    QString path() const;

    // Runs one statement that returns no rows (or whose rows are discarded).
    // More than one statement in the text is refused.
    bool exec(const QString &statement, QString *error = nullptr);
    // Rows changed by the last exec, post or delete on this connection.
    qint64 changes() const;
    // Row id of the last row inserted on this connection.
    qint64 lastInsertId() const;
    QString lastError() const;

    // Busy time-out in milliseconds (default kBusyTimeoutMs), for this and
    // later opens.
    void setBusyTimeout(int ms);

    // The underlying SQLite handle (for tests and special cases), or null.
    ::sqlite3 *handle() const;

private:
    friend class ResultSet;
    std::shared_ptr<detail::Connection> conn_;
    int busyTimeoutMs_ = kBusyTimeoutMs;
    QString error_;
};

// ---------------------------------------------------------------------------
// Result set with a current row

// The rows of a select, read whole when it is opened, with a current row.
// When the select reads from one table (no join, DISTINCT, GROUP BY or
// compound), the current row can be edited and stored, rows can be appended
// and deleted; the edits go to that table by row id with bound values.
class ResultSet {
public:
    enum class State { Browse, Edit, Insert };

    ResultSet();
    ~ResultSet();
    ResultSet(ResultSet &&other) noexcept;
    ResultSet &operator=(ResultSet &&other) noexcept;
    ResultSet(const ResultSet &) = delete;
    ResultSet &operator=(const ResultSet &) = delete;

    // Runs the select on db and reads its rows; the first row becomes
    // current. Any earlier content and pending edit are dropped. (Another
    // kind of statement is run as exec() runs it and gives no rows.)
    bool open(Database &db, const QString &statement, QString *error = nullptr);
    void close();
    bool isOpen() const;
    QString statement() const;

    // True when setField/post/append/deleteCurrent can be used.
    bool isEditable() const;
    // The table edits go to (empty when read-only).
    QString tableName() const;

    qsizetype recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    // Before the first row / after the last row; both true when empty.
    bool bof() const;
    bool eof() const;
    // Index of the current row (0-based); -1 before the first, recordCount()
    // after the last.
    qsizetype position() const;

    // Moves. A pending edit is stored first (as post() does); when storing
    // fails the move does not happen and false is returned. Each returns true
    // when a row is current afterwards.
    bool first();
    bool last();
    bool next();
    bool prior();
    bool moveTo(qsizetype index);

    // Columns of the result, in order, as named by the select.
    QStringList fieldNames() const;
    int fieldCount() const;
    // Column index by name, case-insensitive; -1 when there is none.
    int fieldIndex(const QString &name) const;
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }

    // Value in the current row (pending value while editing): integers as
    // qlonglong, texts as QString, date columns as local QDateTime, Null as a
    // null QVariant. Unknown columns and no current row read as Null.
    QVariant field(const QString &name) const;
    QVariant field(int index) const;
    bool isNull(const QString &name) const;
    // Row id of the current row, or -1 (read-only set, no row, unstored append).
    qint64 rowId() const;

    State state() const { return state_; }
    // Starts editing the current row (setField does this on its own).
    bool edit(QString *error = nullptr);
    // Starts a new row, stored by post(); it becomes the current row.
    bool append(QString *error = nullptr);
    // Sets a column of the row being edited or appended. Accepts null,
    // integers, bool (1/0), double, QString, QByteArray, QDateTime and QDate.
    bool setField(const QString &name, const QVariant &value, QString *error = nullptr);
    // Stores the pending edit (UPDATE ... WHERE rowid = ?) or the new row
    // (INSERT), then re-reads the row from the table. Nothing pending: true.
    bool post(QString *error = nullptr);
    // Drops the pending edit or the new row.
    void cancel();
    // Deletes the current row from the table; the row that followed becomes
    // current (eof() after the last one).
    bool deleteCurrent(QString *error = nullptr);

    // Runs the select again; the row with the same row id stays current, or
    // else the same position (clamped).
    bool requery(QString *error = nullptr);
    // Re-reads the current row's stored values from the table (a read-only
    // set is run again, as requery() does).
    bool refresh(QString *error = nullptr);

    QString lastError() const;

private:
    struct Column {
        QString name;     // as the select names it
        QString origin;   // column of table_ it reads, empty for expressions
        bool isDate = false;
    };
    struct Row {
        qint64 rowId = -1;
        QList<QVariant> values;
    };
    bool fail(QString *error, const QString &text) const;
    std::shared_ptr<detail::Connection> connection(QString *error) const;
    bool run(detail::Connection &conn, QString *error);
    bool storePending(QString *error);
    bool rereadRow(detail::Connection &conn, Row &row, QString *error);
    bool onRow() const;

    std::weak_ptr<detail::Connection> conn_;
    QString statement_;
    QString sql_;      // the statement as run, with the row id in front when editable
    QString table_;    // edits go here; empty when read-only
    bool hasRowId_ = false;
    bool open_ = false;
    std::vector<Column> columns_;
    std::vector<Row> rows_;
    qsizetype pos_ = 0;
    State state_ = State::Browse;
    qsizetype posBeforeAppend_ = 0;
    std::vector<std::optional<QVariant>> pending_; // per column, while editing
    mutable QString error_;
};

} // namespace zv::store
