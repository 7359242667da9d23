#include "node/library.h"

#include "common/sqlquote.h"
#include "common/store/store.h"

namespace zv::node {

QString trimTrailingBlanks(const QString &text)
{
    qsizetype n = text.size();
    while (n > 0 && text[n - 1] == u' ')
        --n;
    return text.left(n);
}

StoreServingLibrary::StoreServingLibrary(store::Database &db, Log log) : db_(db), log_(std::move(log)) {}

std::optional<ServedRecord> StoreServingLibrary::findServed(const QString &fileCode)
{
    if (fileCode.isEmpty() || fileCode.size() > kMaxFileCodeChars)
        return std::nullopt;
    store::ResultSet rows;
    const QString statement = QStringLiteral("select * from table_file where file_code='") + sqlQuote(fileCode)
        + QStringLiteral("' and update_state <> 2 and update_state <> 12 and share = 1");
    if (!rows.open(db_, statement)) {
        if (log_)
            log_(QStringLiteral("file look-up: ") + rows.lastError());
        return std::nullopt;
    }
    if (!rows.first())
        return std::nullopt;
    return ServedRecord{trimTrailingBlanks(rows.field(QStringLiteral("path")).toString()),
                        trimTrailingBlanks(rows.field(QStringLiteral("file_name")).toString())};
}

void StoreServingLibrary::withdrawMissing(const QString &fileCode, const QString &fileName)
{
    if (fileCode.isEmpty() || fileCode.size() > kMaxFileCodeChars)
        return;
    store::ResultSet rows;
    const QString statement = QStringLiteral("select * from table_file where file_code='") + sqlQuote(fileCode)
        + QStringLiteral("' and file_name='") + sqlQuote(fileName)
        + QStringLiteral("' and (update_state <> 2) and (update_state <> 12)");
    if (!rows.open(db_, statement) || !rows.first()) {
        if (log_ && !rows.lastError().isEmpty())
            log_(QStringLiteral("withdrawal: ") + rows.lastError());
        return;
    }
    QString error;
    const bool ok = rows.recordCount() == 1
        ? rows.setField(QStringLiteral("update_state"), 2, &error) && rows.post(&error)
        : rows.deleteCurrent(&error);
    if (!ok && log_)
        log_(QStringLiteral("withdrawal: ") + error);
}

} // namespace zv::node
