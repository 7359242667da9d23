// Result sets with a current row, and the row edits made through it.
#include "common/store/store_p.h"

namespace zv::store {

using namespace Qt::StringLiterals;

ResultSet::ResultSet() = default;
ResultSet::~ResultSet() = default;
ResultSet::ResultSet(ResultSet &&other) noexcept = default;
ResultSet &ResultSet::operator=(ResultSet &&other) noexcept = default;

bool ResultSet::fail(QString *error, const QString &text) const
{
    error_ = text;
    if (error)
        *error = text;
    return false;
}

std::shared_ptr<detail::Connection> ResultSet::connection(QString *error) const
{
    auto conn = conn_.lock();
    if (!conn)
        fail(error, open_ ? u"the database of this result set is closed"_s : u"result set not open"_s);
    return conn;
}

bool ResultSet::open(Database &db, const QString &statement, QString *error)
{
    close();
    if (!db.conn_)
        return fail(error, u"database not open"_s);
    if (statement.size() > kMaxStatementChars)
        return fail(error, u"statement too long"_s);
    const QString translated = translateStatement(statement);
    const detail::SelectShape shape = detail::analyseSelect(translated);

    sql_ = translated;
    table_.clear();
    hasRowId_ = false;
    if (shape.singleTable) {
        // Editable when every column read from the table carries that
        // table's name and the row id can be selected beside them.
        detail::Statement probe;
        if (probe.prepare(db.conn_->db(), shape.withRowId, nullptr)) {
            sqlite3_stmt *st = probe.get();
            const char *rowTable = sqlite3_column_table_name(st, 0);
            const char *rowDb = sqlite3_column_database_name(st, 0);
            bool ok = rowTable && rowDb && qstrcmp(rowDb, "main") == 0;
            for (int i = 1; ok && i < sqlite3_column_count(st); ++i) {
                const char *t = sqlite3_column_table_name(st, i);
                if (t && qstricmp(t, rowTable) != 0)
                    ok = false;
            }
            if (ok) {
                table_ = QString::fromUtf8(rowTable);
                sql_ = shape.withRowId;
                hasRowId_ = true;
            }
        }
    }
    statement_ = statement;
    conn_ = db.conn_;
    open_ = true;
    if (!run(*db.conn_, error)) {
        const QString text = error_;
        close();
        return fail(error, text);
    }
    pos_ = 0;
    return true;
}

bool ResultSet::run(detail::Connection &conn, QString *error)
{
    detail::Statement st;
    QString text;
    if (!st.prepare(conn.db(), sql_, &text))
        return fail(error, text);
    sqlite3_stmt *s = st.get();
    const int first = hasRowId_ ? 1 : 0;
    const int count = sqlite3_column_count(s);
    std::vector<Column> columns;
    columns.reserve(static_cast<size_t>(qMax(0, count - first)));
    for (int i = first; i < count; ++i) {
        Column c;
        c.name = QString::fromUtf8(sqlite3_column_name(s, i));
        const char *t = sqlite3_column_table_name(s, i);
        if (hasRowId_ && t && qstricmp(t, table_.toUtf8().constData()) == 0)
            c.origin = QString::fromUtf8(sqlite3_column_origin_name(s, i));
        c.isDate = detail::isDateType(sqlite3_column_decltype(s, i));
        columns.push_back(std::move(c));
    }
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        if (static_cast<qsizetype>(rows.size()) >= kMaxResultRows)
            return fail(error, u"more than %1 rows selected"_s.arg(kMaxResultRows));
        Row row;
        row.rowId = hasRowId_ ? sqlite3_column_int64(s, 0) : -1;
        row.values.reserve(static_cast<qsizetype>(columns.size()));
        for (int i = first; i < count; ++i)
            row.values.push_back(detail::columnValue(s, i, columns[static_cast<size_t>(i - first)].isDate));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        return fail(error, conn.errorText());
    columns_ = std::move(columns);
    rows_ = std::move(rows);
    state_ = State::Browse;
    pending_.clear();
    return true;
}

void ResultSet::close()
{
    conn_.reset();
    statement_.clear();
    sql_.clear();
    table_.clear();
    hasRowId_ = false;
    open_ = false;
    columns_.clear();
    rows_.clear();
    pos_ = 0;
    state_ = State::Browse;
    pending_.clear();
}

bool ResultSet::isOpen() const
{
    return open_;
}

QString ResultSet::statement() const
{
    return statement_;
}

bool ResultSet::isEditable() const
{
    return open_ && hasRowId_;
}

QString ResultSet::tableName() const
{
    return table_;
}

qsizetype ResultSet::recordCount() const
{
    return static_cast<qsizetype>(rows_.size());
}

bool ResultSet::bof() const
{
    return rows_.empty() || pos_ < 0;
}

bool ResultSet::eof() const
{
    return rows_.empty() || pos_ >= recordCount();
}

qsizetype ResultSet::position() const
{
    return pos_;
}

bool ResultSet::onRow() const
{
    return pos_ >= 0 && pos_ < recordCount();
}

bool ResultSet::storePending(QString *error)
{
    return state_ == State::Browse || post(error);
}

bool ResultSet::moveTo(qsizetype index)
{
    if (!storePending(nullptr))
        return false;
    pos_ = qBound<qsizetype>(-1, index, recordCount());
    if (rows_.empty())
        pos_ = 0;
    return onRow();
}

bool ResultSet::first()
{
    return moveTo(0);
}

bool ResultSet::last()
{
    return moveTo(recordCount() - 1);
}

bool ResultSet::next()
{
    if (eof())
        return false;
    return moveTo(pos_ + 1);
}

bool ResultSet::prior()
{
    if (bof())
        return false;
    return moveTo(pos_ - 1);
}

QStringList ResultSet::fieldNames() const
{
    QStringList names;
    for (const Column &c : columns_)
        names << c.name;
    return names;
}

int ResultSet::fieldCount() const
{
    return static_cast<int>(columns_.size());
}

int ResultSet::fieldIndex(const QString &name) const
{
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

QVariant ResultSet::field(int index) const
{
    if (!onRow() || index < 0 || index >= fieldCount())
        return {};
    if (state_ != State::Browse && static_cast<size_t>(index) < pending_.size()) {
        const auto &p = pending_[static_cast<size_t>(index)];
        if (p)
            return *p;
    }
    return rows_[static_cast<size_t>(pos_)].values.at(index);
}

QVariant ResultSet::field(const QString &name) const
{
    return field(fieldIndex(name));
}

bool ResultSet::isNull(const QString &name) const
{
    const QVariant v = field(name);
    return !v.isValid() || v.isNull();
}

qint64 ResultSet::rowId() const
{
    return onRow() ? rows_[static_cast<size_t>(pos_)].rowId : -1;
}

bool ResultSet::edit(QString *error)
{
    if (!isEditable())
        return fail(error, open_ ? u"this result set is read-only"_s : u"result set not open"_s);
    if (state_ != State::Browse)
        return true;
    if (!onRow())
        return fail(error, u"no current row"_s);
    pending_.assign(columns_.size(), std::nullopt);
    state_ = State::Edit;
    return true;
}

bool ResultSet::append(QString *error)
{
    if (!isEditable())
        return fail(error, open_ ? u"this result set is read-only"_s : u"result set not open"_s);
    if (!storePending(error))
        return false;
    if (recordCount() >= kMaxResultRows)
        return fail(error, u"more than %1 rows in the result set"_s.arg(kMaxResultRows));
    Row row;
    row.values.resize(static_cast<qsizetype>(columns_.size()));
    posBeforeAppend_ = pos_;
    rows_.push_back(std::move(row));
    pos_ = recordCount() - 1;
    pending_.assign(columns_.size(), std::nullopt);
    state_ = State::Insert;
    return true;
}

bool ResultSet::setField(const QString &name, const QVariant &value, QString *error)
{
    const int index = fieldIndex(name);
    if (index < 0)
        return fail(error, u"no column "_s + name);
    if (!isEditable())
        return fail(error, open_ ? u"this result set is read-only"_s : u"result set not open"_s);
    if (columns_[static_cast<size_t>(index)].origin.isEmpty())
        return fail(error, u"column "_s + name + u" is computed and cannot be set"_s);
    if (state_ == State::Browse && !edit(error))
        return false;
    pending_[static_cast<size_t>(index)] = value;
    return true;
}

bool ResultSet::post(QString *error)
{
    if (state_ == State::Browse)
        return true;
    auto conn = connection(error);
    if (!conn)
        return false;
    Row &row = rows_[static_cast<size_t>(pos_)];

    // One assignment per table column; a column selected twice takes the
    // value set last.
    QStringList targets;
    QList<QVariant> values;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (!pending_[i])
            continue;
        const QString &origin = columns_[i].origin;
        qsizetype at = -1;
        for (qsizetype k = 0; k < targets.size() && at < 0; ++k)
            if (targets.at(k).compare(origin, Qt::CaseInsensitive) == 0)
                at = k;
        if (at >= 0)
            values[at] = *pending_[i];
        else {
            targets << origin;
            values << *pending_[i];
        }
    }

    const QString table = detail::quoteIdentifier(table_);
    QString sql;
    if (state_ == State::Edit) {
        if (targets.isEmpty()) {
            state_ = State::Browse;
            pending_.clear();
            return true;
        }
        QStringList sets;
        for (const QString &t : targets)
            sets << detail::quoteIdentifier(t) + u" = ?"_s;
        sql = u"UPDATE "_s + table + u" SET "_s + sets.join(u", "_s) + u" WHERE rowid = ?"_s;
    } else if (targets.isEmpty()) {
        sql = u"INSERT INTO "_s + table + u" DEFAULT VALUES"_s;
    } else {
        QStringList cols, marks;
        for (const QString &t : targets) {
            cols << detail::quoteIdentifier(t);
            marks << u"?"_s;
        }
        sql = u"INSERT INTO "_s + table + u" ("_s + cols.join(u", "_s) + u") VALUES ("_s + marks.join(u", "_s)
              + u")"_s;
    }

    detail::Statement st;
    QString text;
    if (!st.prepare(conn->db(), sql, &text))
        return fail(error, text);
    int n = 1;
    for (const QVariant &v : std::as_const(values)) {
        if (!detail::bindValue(st.get(), n++, v, &text))
            return fail(error, text);
    }
    if (state_ == State::Edit)
        sqlite3_bind_int64(st.get(), n, row.rowId);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        return fail(error, conn->errorText());
    if (state_ == State::Edit) {
        if (sqlite3_changes64(conn->db()) == 0)
            return fail(error, u"the row is no longer in the table"_s);
    } else {
        row.rowId = sqlite3_last_insert_rowid(conn->db());
    }
    state_ = State::Browse;
    pending_.clear();
    // The stored values (defaults, conversions) become the row's values.
    return rereadRow(*conn, row, error);
}

bool ResultSet::rereadRow(detail::Connection &conn, Row &row, QString *error)
{
    QStringList cols;
    std::vector<int> indexes;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (!columns_[i].origin.isEmpty()) {
            cols << detail::quoteIdentifier(columns_[i].origin);
            indexes.push_back(static_cast<int>(i));
        }
    }
    if (cols.isEmpty())
        cols << u"rowid"_s;
    const QString sql = u"SELECT "_s + cols.join(u", "_s) + u" FROM "_s + detail::quoteIdentifier(table_)
                        + u" WHERE rowid = ?"_s;
    detail::Statement st;
    QString text;
    if (!st.prepare(conn.db(), sql, &text))
        return fail(error, text);
    sqlite3_bind_int64(st.get(), 1, row.rowId);
    const int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE)
        return fail(error, u"the row is no longer in the table"_s);
    if (rc != SQLITE_ROW)
        return fail(error, conn.errorText());
    for (size_t k = 0; k < indexes.size(); ++k) {
        const int i = indexes[k];
        row.values[i] = detail::columnValue(st.get(), static_cast<int>(k), columns_[static_cast<size_t>(i)].isDate);
    }
    return true;
}

void ResultSet::cancel()
{
    if (state_ == State::Insert) {
        rows_.pop_back();
        pos_ = qBound<qsizetype>(rows_.empty() ? 0 : -1, posBeforeAppend_, recordCount());
    }
    state_ = State::Browse;
    pending_.clear();
}

bool ResultSet::deleteCurrent(QString *error)
{
    if (!isEditable())
        return fail(error, open_ ? u"this result set is read-only"_s : u"result set not open"_s);
    if (state_ == State::Insert) {
        cancel();
        return true;
    }
    cancel();
    if (!onRow())
        return fail(error, u"no current row"_s);
    auto conn = connection(error);
    if (!conn)
        return false;
    detail::Statement st;
    QString text;
    if (!st.prepare(conn->db(), u"DELETE FROM "_s + detail::quoteIdentifier(table_) + u" WHERE rowid = ?"_s, &text))
        return fail(error, text);
    sqlite3_bind_int64(st.get(), 1, rows_[static_cast<size_t>(pos_)].rowId);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        return fail(error, conn->errorText());
    // A row another connection deleted first is gone all the same.
    rows_.erase(rows_.begin() + pos_);
    return true;
}

bool ResultSet::requery(QString *error)
{
    auto conn = connection(error);
    if (!conn)
        return false;
    if (!storePending(error))
        return false;
    const qint64 id = rowId();
    const qsizetype oldPos = pos_;
    if (!run(*conn, error))
        return false;
    if (id >= 0) {
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].rowId == id) {
                pos_ = static_cast<qsizetype>(i);
                return true;
            }
        }
    }
    pos_ = rows_.empty() ? 0 : qBound<qsizetype>(-1, oldPos, recordCount());
    return true;
}

bool ResultSet::refresh(QString *error)
{
    if (!isEditable())
        return requery(error);
    auto conn = connection(error);
    if (!conn)
        return false;
    if (!storePending(error))
        return false;
    if (!onRow())
        return true;
    return rereadRow(*conn, rows_[static_cast<size_t>(pos_)], error);
}

QString ResultSet::lastError() const
{
    return error_;
}

} // namespace zv::store
