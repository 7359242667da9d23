#pragma once
// Keeping the central server's index of the user's shared files in step with
// local.res: the announcement batches ("C_UPDATE0.5"), the settling of the
// marks on the server's confirmation, and the local index check that re-codes
// changed files and withdraws vanished ones.
//
// Every operation opens result sets of its own, so an operation that runs
// inside the local index check (through its event processing) never disturbs
// the check's walk.
#include <QStringList>
#include <functional>

namespace zv::store {
class Database;
class ResultSet;
} // namespace zv::store

namespace zv::node {

class IndexSync {
public:
    enum class Kind { Login, Periodic, Full };
    static constexpr int kBatchRows = 1000;

    using Send = std::function<void(const QStringList &fields)>;
    using Flag = std::function<bool()>;
    using Log = std::function<void(const QString &)>;

    // computerId is read at every batch: a first registration changes it.
    IndexSync(store::Database &db, Send send, std::function<qint32()> computerId, Flag libraryBusy, Log log = {});

    bool gateOpen() const { return gateOpen_; }
    void openGate() { gateOpen_ = true; }
    void closeGate() { gateOpen_ = false; }

    // One announcement batch; nothing while the gate is closed or the library
    // is busy. Returns whether a message was sent.
    bool announce(Kind kind);
    // "s_c_update_reply0.5": 11, 13 and 14 become 0, rows at 12 are deleted;
    // the gate opens.
    void confirm();
    // The pass over live records; afterEachRow runs after each (the node lets
    // pending events through there).
    void checkLocalIndex(const std::function<void()> &afterEachRow = {});
    // "delete from table_file"; false when the statement failed.
    bool deleteAll();

    // The lines of one record in a batch, with the given state line.
    static QStringList recordLines(const store::ResultSet &row, const QString &stateLine);
    // Whether a row can be announced (none of the six required columns is Null).
    static bool announceable(const store::ResultSet &row);
    // A text split at CR LF, CR or LF; a final break starts no empty line.
    static QStringList textLines(const QString &text);

private:
    void fail(const QString &what);
    int holderCount(const QString &code, const QString &name);

    store::Database &db_;
    Send send_;
    std::function<qint32()> computerId_;
    Flag busy_;
    Log log_;
    bool gateOpen_ = false;
};

} // namespace zv::node
