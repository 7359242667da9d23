// The table_file schema, creating databases, and the stored date form.
#include "common/store/store_p.h"

#include <QDate>

namespace zv::store {

using namespace Qt::StringLiterals;

namespace {

constexpr ColumnSpec kLibraryColumns[] = {
    {u"id", ColumnKind::AutoId, 0},
    {u"file_name", ColumnKind::Text, 255},
    {u"file_size", ColumnKind::Integer32, 0},
    {u"file_code", ColumnKind::Text, 100},
    {u"path", ColumnKind::Memo, kMemoMaxChars},
    {u"update_state", ColumnKind::Integer32, 0},
    {u"type", ColumnKind::Text, 50},
    {u"sort", ColumnKind::Text, 50},
    {u"phase", ColumnKind::Text, 50},
    {u"grade", ColumnKind::Text, 50},
    {u"subject", ColumnKind::Text, 50},
    {u"ken", ColumnKind::Text, 100},
    {u"note", ColumnKind::Memo, kMemoMaxChars},
    {u"resume", ColumnKind::Memo, kMemoMaxChars},
    {u"search_times", ColumnKind::Integer32, 0},
    {u"download_times", ColumnKind::Integer32, 0},
    {u"modify_datetime", ColumnKind::DateTime, 0},
    {u"score", ColumnKind::Integer32, 0},
    {u"share", ColumnKind::Integer32, 0},
    {u"user_id", ColumnKind::Integer32, 0},
    {u"zy_user_id", ColumnKind::Integer32, 0},
    {u"licence", ColumnKind::Integer32, 0},
    {u"deal_state", ColumnKind::Integer32, 0},
    {u"chubanshe", ColumnKind::Text, 50},
    {u"zhang", ColumnKind::Text, 255},
    {u"jie", ColumnKind::Text, 255},
    {u"zhuanti", ColumnKind::Text, 255},
    {u"char1", ColumnKind::Text, 255},
    {u"char2", ColumnKind::Text, 255},
    {u"char3", ColumnKind::Text, 255},
    {u"int1", ColumnKind::Integer32, 0},
    {u"int2", ColumnKind::Integer32, 0},
    {u"int3", ColumnKind::Integer32, 0},
};

QString columnDefinition(const ColumnSpec &c)
{
    const QString n = QString::fromUtf16(c.name);
    switch (c.kind) {
    case ColumnKind::AutoId:
        return n + u" INTEGER PRIMARY KEY AUTOINCREMENT CONSTRAINT "_s + n + u"_range CHECK ("_s + n
               + u" BETWEEN 0 AND 2147483647)"_s;
    case ColumnKind::Integer32: {
        // A new row is offered at once; every other number starts at 0, so
        // a removal record (code, name and state only) has no Null in them.
        const QString def = n == u"share"_s ? u"1"_s : u"0"_s;
        return n + u" INTEGER DEFAULT "_s + def + u" CONSTRAINT "_s + n + u"_range CHECK ("_s + n + u" IS NULL OR (typeof("_s
               + n + u") = 'integer' AND "_s + n + u" BETWEEN -2147483648 AND 2147483647))"_s;
    }
    case ColumnKind::Text:
    case ColumnKind::Memo:
        return n + u" TEXT CONSTRAINT "_s + n + u"_length CHECK ("_s + n + u" IS NULL OR (typeof("_s + n
               + u") = 'text' AND length("_s + n + u") <= "_s + QString::number(c.maxChars) + u"))"_s;
    case ColumnKind::DateTime:
        // Exactly the stored form of a real date: the modifier makes
        // datetime() carry day 30 of February into March.
        return n + u" DATETIME CONSTRAINT "_s + n + u"_form CHECK ("_s + n + u" IS NULL OR (typeof("_s + n
               + u") = 'text' AND datetime("_s + n + u", '+0 days') IS "_s + n + u"))"_s;
    }
    return n;
}

} // namespace

std::span<const ColumnSpec> libraryColumns()
{
    return kLibraryColumns;
}

QString libraryTableDefinition()
{
    QStringList defs;
    for (const ColumnSpec &c : kLibraryColumns)
        defs << columnDefinition(c);
    return u"CREATE TABLE IF NOT EXISTS "_s + kLibraryTable + u" (\n  "_s + defs.join(u",\n  "_s) + u"\n)"_s;
}

bool createDatabase(const QString &path, const QStringList &statements, QString *error)
{
    Database db;
    if (!db.open(path, error, Database::Mode::ReadWriteCreate))
        return false;
    if (!db.exec(u"BEGIN IMMEDIATE"_s, error))
        return false;
    for (const QString &s : statements) {
        if (!db.exec(s, error)) {
            db.exec(u"ROLLBACK"_s);
            return false;
        }
    }
    return db.exec(u"COMMIT"_s, error);
}

bool createLibrary(const QString &path, QString *error)
{
    return createDatabase(path,
                          {libraryTableDefinition(),
                           u"CREATE INDEX IF NOT EXISTS table_file_code ON table_file (file_code)"_s,
                           u"CREATE INDEX IF NOT EXISTS table_file_name ON table_file (file_name)"_s},
                          error);
}

QString toStoredDateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return {};
    return dt.toLocalTime().toString(u"yyyy-MM-dd hh:mm:ss"_s);
}

QDateTime fromStoredDateTime(const QString &text)
{
    if (text.size() == 19) {
        QDateTime dt = QDateTime::fromString(text, u"yyyy-MM-dd hh:mm:ss"_s);
        if (dt.isValid())
            return dt;
    } else if (text.size() == 10) {
        const QDate d = QDate::fromString(text, u"yyyy-MM-dd"_s);
        if (d.isValid())
            return d.startOfDay();
    }
    return {};
}

} // namespace zv::store
