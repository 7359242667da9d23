// Connections to the library and catalogue databases.
#include "common/store/store_p.h"

#include <QDate>
#include <QFile>

namespace zv::store {

using namespace Qt::StringLiterals;

namespace {

// Largest text or blob value (bytes) and statement (bytes of UTF-8) a
// connection accepts.
constexpr int kMaxValueBytes = 16 * 1024 * 1024;
constexpr int kMaxSqlBytes = 4 * 1024 * 1024;

bool setError(QString *slot, QString *out, const QString &text)
{
    if (slot)
        *slot = text;
    if (out)
        *out = text;
    return false;
}

// Whether the bytes after a prepared statement hold anything but blanks,
// semicolons and comments.
bool hasMoreStatements(const char *tail)
{
    const char *p = tail;
    while (p && *p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == ';') {
            ++p;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            p += 2;
            while (*p && !(p[0] == '*' && p[1] == '/'))
                ++p;
            if (*p)
                p += 2;
        } else {
            return true;
        }
    }
    return false;
}

} // namespace

namespace detail {

Connection::~Connection()
{
    sqlite3_close_v2(db_);
}

QString Connection::errorText() const
{
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

bool Statement::prepare(::sqlite3 *db, const QString &sql, QString *error)
{
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    const QByteArray bytes = sql.toUtf8();
    if (bytes.size() > kMaxSqlBytes)
        return setError(nullptr, error, u"statement too long"_s);
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, bytes.constData(), static_cast<int>(bytes.size()), &stmt_, &tail);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        return setError(nullptr, error, text);
    }
    if (!stmt_)
        return setError(nullptr, error, u"empty statement"_s);
    if (hasMoreStatements(tail)) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        return setError(nullptr, error, u"more than one statement in the text"_s);
    }
    return true;
}

bool bindValue(::sqlite3_stmt *stmt, int index, const QVariant &value, QString *error)
{
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, index, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong u = value.toULongLong();
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
                return setError(nullptr, error, u"integer value out of range"_s);
            rc = sqlite3_bind_int64(stmt, index, static_cast<qint64>(u));
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = value.toByteArray();
            rc = sqlite3_bind_blob64(stmt, index, b.constData(), static_cast<sqlite3_uint64>(b.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QDateTime: {
            const QString text = toStoredDateTime(value.toDateTime());
            if (text.isEmpty())
                rc = sqlite3_bind_null(stmt, index);
            else {
                const QByteArray b = text.toUtf8();
                rc = sqlite3_bind_text64(stmt, index, b.constData(), static_cast<sqlite3_uint64>(b.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
            }
            break;
        }
        case QMetaType::QDate: {
            const QDate d = value.toDate();
            return bindValue(stmt, index, d.isValid() ? QVariant(d.startOfDay()) : QVariant(), error);
        }
        default: {
            if (value.typeId() != QMetaType::QString && !value.canConvert<QString>())
                return setError(nullptr, error, u"value of an unsupported type"_s);
            const QByteArray b = value.toString().toUtf8();
            rc = sqlite3_bind_text64(stmt, index, b.constData(), static_cast<sqlite3_uint64>(b.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        return setError(nullptr, error, QString::fromUtf8(sqlite3_errstr(rc)));
    return true;
}

QVariant columnValue(::sqlite3_stmt *stmt, int index, bool isDate)
{
    switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, index)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, index));
    case SQLITE_TEXT: {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, index));
        const QString text = QString::fromUtf8(p, sqlite3_column_bytes(stmt, index));
        if (isDate) {
            const QDateTime dt = fromStoredDateTime(text);
            if (dt.isValid())
                return QVariant(dt);
        }
        return QVariant(text);
    }
    case SQLITE_BLOB: {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt, index));
        return QVariant(QByteArray(p, sqlite3_column_bytes(stmt, index)));
    }
    default:
        return QVariant();
    }
}

bool isDateType(const char *declType)
{
    if (!declType)
        return false;
    const QByteArray t = QByteArray(declType).toUpper();
    return t.contains("DATE") || t.contains("TIME");
}

} // namespace detail

Database::Database() = default;
Database::~Database() = default;
Database::Database(Database &&other) noexcept = default;
Database &Database::operator=(Database &&other) noexcept = default;

bool Database::open(const QString &path, QString *error, Mode mode)
{
    close();
    if (path.isEmpty())
        return setError(&error_, error, u"no database file named"_s);
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Mode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::ReadWriteCreate:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    ::sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return setError(&error_, error, u"cannot open "_s + path + u": "_s + text);
    }
    auto conn = std::make_shared<detail::Connection>(db, path);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs_);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxSqlBytes);
    if (!detail::registerJetLike(db))
        return setError(&error_, error, u"cannot register like(): "_s + conn->errorText());

    // Reading the journal mode also proves the file is a database.
    QString pragmaError;
    const QString pragma = mode == Mode::ReadOnly ? u"PRAGMA journal_mode"_s : u"PRAGMA journal_mode=WAL"_s;
    detail::Statement st;
    if (!st.prepare(db, pragma, &pragmaError))
        return setError(&error_, error, u"cannot open "_s + path + u": "_s + pragmaError);
    const int step = sqlite3_step(st.get());
    if (step != SQLITE_ROW && step != SQLITE_DONE)
        return setError(&error_, error, u"cannot open "_s + path + u": "_s + conn->errorText());
    if (mode != Mode::ReadOnly) {
        detail::Statement sync;
        if (sync.prepare(db, u"PRAGMA synchronous=NORMAL"_s, nullptr))
            sqlite3_step(sync.get());
    }
    conn_ = std::move(conn);
    error_.clear();
    return true;
}

void Database::close()
{
    conn_.reset();
}

bool Database::isOpen() const
{
    return conn_ != nullptr;
}

QString Database::path() const
{
    return conn_ ? conn_->path() : QString();
}

bool Database::exec(const QString &statement, QString *error)
{
    if (!conn_)
        return setError(&error_, error, u"database not open"_s);
    if (statement.size() > kMaxStatementChars)
        return setError(&error_, error, u"statement too long"_s);
    detail::Statement st;
    QString text;
    if (!st.prepare(conn_->db(), translateStatement(statement), &text))
        return setError(&error_, error, text);
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        return setError(&error_, error, conn_->errorText());
    return true;
}

qint64 Database::changes() const
{
    return conn_ ? sqlite3_changes64(conn_->db()) : 0;
}

qint64 Database::lastInsertId() const
{
    return conn_ ? sqlite3_last_insert_rowid(conn_->db()) : 0;
}

QString Database::lastError() const
{
    return error_;
}

void Database::setBusyTimeout(int ms)
{
    busyTimeoutMs_ = qMax(0, ms);
    if (conn_)
        sqlite3_busy_timeout(conn_->db(), busyTimeoutMs_);
}

::sqlite3 *Database::handle() const
{
    return conn_ ? conn_->db() : nullptr;
}

} // namespace zv::store
