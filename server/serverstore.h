#pragma once
// The server's own database: accounts, computers with their endpoints, the
// shared-file index, feedback and download reports. One SQLite file in the
// data folder; every change is stored before it is answered.
#include "server/protocol.h"
#include "server/sqlitedb.h"

#include <QList>
#include <QString>
#include <optional>

namespace zv::server {

struct UserRecord {
    Profile profile;
    QString passwordHash;
    qint64 points = 0;
};

struct ComputerEndpoint {
    QString localAddress;   // the node's UDP binding
    int localPort = 0;
    int natType = 0;
    QString publicAddress;  // where its datagrams came from
    int publicPort = 0;
};

struct PortalHit {
    ResourceInfo info;
    int holders = 0;        // computers that index it
};

class ServerStore {
public:
    bool open(const QString &dataDir);
    QString path() const { return path_; }
    QString lastError() const { return db_.lastError(); }

    // Accounts. Returns the new user ID, or 0 when the e-mail is taken, -1 on failure.
    qint64 addUser(const Registration &r, const QString &passwordHash, int initialPoints);
    std::optional<UserRecord> userById(qint64 id);
    std::optional<UserRecord> userByEmail(const QString &email);
    bool setPasswordHash(qint64 id, const QString &hash);
    bool updateProfile(const ProfileUpdate &u);
    // Adds delta (may be negative; points never go below 0); returns the new value or -1.
    qint64 addPoints(qint64 id, qint64 delta);
    bool addFeedback(qint64 userId, const Feedback &f);
    // True the first time this user reports this code.
    bool recordDownload(qint64 userId, const QString &fileCode, const QString &nameSum);
    int userCount();

    // Computers.
    qint64 addComputer(const QString &key, const QString &token);
    std::optional<QString> computerKey(qint64 id);
    bool computerSynced(qint64 id);
    bool saveEndpoint(qint64 id, const ComputerEndpoint &e);
    std::optional<ComputerEndpoint> endpoint(qint64 id);

    // The index.
    bool applyBatch(const UpdateBatch &b);
    int indexSize(qint64 computerId = 0);
    // The best metadata for a code (the entry of the same name first, else the
    // most recently announced) and the computers that index it.
    std::optional<ResourceInfo> resource(const QString &fileCode, const QString &fileName);
    QList<qint64> holders(const QString &fileCode, int limit);
    // The user who first announced the code (the resource's owner), or 0.
    qint64 firstOwner(const QString &fileCode);
    // Free-text search over names and metadata; one hit per feature code.
    QList<PortalHit> search(const QString &text, int limit);

private:
    bool createSchema();
    std::optional<UserRecord> readUser(Statement &s);
    SqliteDb db_;
    QString path_;
};

} // namespace zv::server
