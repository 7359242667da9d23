#include "node/indexsync.h"

#include "common/intake.h"
#include "common/sqlquote.h"
#include "common/store/store.h"

#include <QFileInfo>

namespace zv::node {

using store::ResultSet;

namespace {
const QString kSelectMarked =
    QStringLiteral("select top 1000 * from table_file where (update_state > 0) and (update_state < 10)");
const QString kSelectAll = QStringLiteral("select top 1000 * from table_file");
const QString kDeleteRemoved =
    QStringLiteral("delete from table_file where (update_state = 2) or (update_state = 12)");
const QString kMarkAllNew = QStringLiteral("update table_file set update_state=1");
const QString kSelectSent = QStringLiteral("select * from table_file where update_state > 10");
const QString kSelectLive =
    QStringLiteral("select * from table_file where (update_state <> 2) and (update_state <> 12)");

QString text(const ResultSet &row, const QString &column)
{
    const QVariant v = row.field(column);
    return v.isNull() ? QString() : v.toString();
}
} // namespace

IndexSync::IndexSync(store::Database &db, Send send, std::function<qint32()> computerId, Flag libraryBusy, Log log)
    : db_(db), send_(std::move(send)), computerId_(std::move(computerId)), busy_(std::move(libraryBusy)),
      log_(std::move(log))
{
}

void IndexSync::fail(const QString &what)
{
    if (log_)
        log_(what + QStringLiteral(": ") + db_.lastError());
}

QStringList IndexSync::textLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool IndexSync::announceable(const ResultSet &row)
{
    for (const auto *column : {u"file_name", u"file_size", u"file_code", u"user_id", u"share", u"update_state"}) {
        if (row.isNull(QString::fromUtf16(column)))
            return false;
    }
    return true;
}

QStringList IndexSync::recordLines(const ResultSet &row, const QString &stateLine)
{
    QStringList out;
    out << text(row, QStringLiteral("file_name")) << QString::number(row.field(QStringLiteral("file_size")).toLongLong())
        << text(row, QStringLiteral("file_code")) << text(row, QStringLiteral("grade"))
        << QString::number(row.field(QStringLiteral("user_id")).toLongLong()) << stateLine;
    for (const auto *column : {u"sort", u"phase", u"subject", u"ken", u"chubanshe", u"zhang", u"jie"})
        out << text(row, QString::fromUtf16(column));
    const QStringList resume = textLines(text(row, QStringLiteral("resume")));
    out << QString::number(resume.size());
    out << resume;
    out << QString();
    const QVariant score = row.field(QStringLiteral("score"));
    out << (score.isNull() ? QStringLiteral("0") : QString::number(score.toLongLong()));
    return out;
}

bool IndexSync::announce(Kind kind)
{
    if (!gateOpen_ || (busy_ && busy_()))
        return false;
    gateOpen_ = false;

    if (kind == Kind::Full) {
        if (!db_.exec(kDeleteRemoved) || !db_.exec(kMarkAllNew)) {
            fail(QStringLiteral("full rebuild"));
            gateOpen_ = true;
            return false;
        }
    }
    ResultSet rows;
    if (!rows.open(db_, kind == Kind::Full ? kSelectAll : kSelectMarked)) {
        if (log_)
            log_(QStringLiteral("announcement: ") + rows.lastError());
        gateOpen_ = true;
        return false;
    }
    const QString mode = kind == Kind::Login ? QStringLiteral("1") : kind == Kind::Periodic ? QStringLiteral("2")
                                                                                           : QStringLiteral("3");
    QStringList message{QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), QString::number(computerId_()),
                        mode};
    if (rows.isEmpty()) {
        if (kind == Kind::Periodic) {
            gateOpen_ = true;
            return false;
        }
        if (kind == Kind::Login)
            message[3] = QStringLiteral("0");
        send_(message);
        return true;
    }
    int announced = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
        if (!announceable(rows))
            continue;
        const qint64 state = rows.field(QStringLiteral("update_state")).toLongLong();
        const bool offered = rows.field(QStringLiteral("share")).toLongLong() == 1;
        // A record the user withholds is announced as a removal, in every kind of batch.
        const QString stateLine = !offered ? QStringLiteral("2")
                                           : kind == Kind::Full ? QStringLiteral("1") : QString::number(state);
        message << recordLines(rows, stateLine);
        ++announced;
        if (state >= 1 && state <= 4) {
            QString error;
            if (!rows.setField(QStringLiteral("update_state"), state + 10, &error) || !rows.post(&error)) {
                if (log_)
                    log_(QStringLiteral("announcement: ") + error);
            }
        }
    }
    if (log_)
        log_(QStringLiteral("C_UPDATE0.5 mode %1: %2 records").arg(mode).arg(announced));
    send_(message);
    return true;
}

void IndexSync::confirm()
{
    ResultSet rows;
    if (!rows.open(db_, kSelectSent)) {
        if (log_)
            log_(QStringLiteral("confirmation: ") + rows.lastError());
    } else {
        rows.first();
        while (!rows.eof()) {
            const qint64 state = rows.field(QStringLiteral("update_state")).toLongLong();
            QString error;
            if (state == 12) {
                if (!rows.deleteCurrent(&error)) {
                    if (log_)
                        log_(QStringLiteral("confirmation: ") + error);
                    rows.next();
                }
                continue;
            }
            if (state == 11 || state == 13 || state == 14) {
                if (!rows.setField(QStringLiteral("update_state"), 0, &error) || !rows.post(&error)) {
                    if (log_)
                        log_(QStringLiteral("confirmation: ") + error);
                }
            }
            rows.next();
        }
    }
    gateOpen_ = true;
}

int IndexSync::holderCount(const QString &code, const QString &name)
{
    ResultSet holders;
    const QString statement = QStringLiteral("select * from table_file where (file_code = '") + sqlQuote(code)
        + QStringLiteral("') and (file_name = '") + sqlQuote(name)
        + QStringLiteral("') and (update_state <> 2) and (update_state <> 12)");
    if (!holders.open(db_, statement)) {
        if (log_)
            log_(QStringLiteral("index check: ") + holders.lastError());
        return -1;
    }
    return int(holders.recordCount());
}

void IndexSync::checkLocalIndex(const std::function<void()> &afterEachRow)
{
    ResultSet rows;
    if (!rows.open(db_, kSelectLive)) {
        if (log_)
            log_(QStringLiteral("index check: ") + rows.lastError());
        return;
    }
    int changed = 0, vanished = 0;
    rows.first();
    while (!rows.eof()) {
        const QString name = text(rows, QStringLiteral("file_name"));
        const QString code = text(rows, QStringLiteral("file_code"));
        const QString full = text(rows, QStringLiteral("path")) + name;
        const QFileInfo info(full);
        bool advance = true;
        QString error;
        if (info.exists() && info.isFile()) {
            const qint32 size = fileSizeLookup(full);
            const QDateTime written = dosLastWriteTime(full);
            const QVariant stored = rows.field(QStringLiteral("modify_datetime"));
            const bool sameSize = !rows.isNull(QStringLiteral("file_size"))
                && rows.field(QStringLiteral("file_size")).toLongLong() == size;
            // A time that is Null or unreadable cannot be compared: the file counts as changed.
            const bool sameTime = stored.metaType().id() == QMetaType::QDateTime && stored.toDateTime().isValid()
                && stored.toDateTime() == written;
            if (!sameSize || !sameTime) {
                ++changed;
                if (holderCount(code, name) == 1) {
                    const QString removal =
                        QStringLiteral("insert into table_file (file_code,file_name,update_state) values ('")
                        + sqlQuote(code) + QStringLiteral("','") + sqlQuote(name) + QStringLiteral("','2')");
                    if (!db_.exec(removal))
                        fail(QStringLiteral("index check"));
                }
                rows.refresh();
                const bool ok = rows.setField(QStringLiteral("file_size"), size, &error)
                    && rows.setField(QStringLiteral("modify_datetime"), written, &error)
                    && rows.setField(QStringLiteral("update_state"), 1, &error)
                    && rows.setField(QStringLiteral("search_times"), 0, &error)
                    && rows.setField(QStringLiteral("download_times"), 0, &error)
                    && rows.setField(QStringLiteral("file_code"), featureCode(full, size), &error)
                    && rows.post(&error);
                if (!ok) {
                    rows.cancel();
                    if (log_)
                        log_(QStringLiteral("index check: ") + error);
                }
            }
        } else {
            ++vanished;
            if (holderCount(code, name) > 1) {
                if (rows.deleteCurrent(&error))
                    advance = false;
                else if (log_)
                    log_(QStringLiteral("index check: ") + error);
            } else if (!rows.setField(QStringLiteral("update_state"), 2, &error) || !rows.post(&error)) {
                rows.cancel();
                if (log_)
                    log_(QStringLiteral("index check: ") + error);
            }
        }
        if (afterEachRow)
            afterEachRow();
        if (advance)
            rows.next();
    }
    if (log_)
        log_(QStringLiteral("index check: %1 changed, %2 vanished").arg(changed).arg(vanished));
}

bool IndexSync::deleteAll()
{
    if (!db_.exec(QStringLiteral("delete from table_file"))) {
        fail(QStringLiteral("delete all index"));
        return false;
    }
    return true;
}

} // namespace zv::node
