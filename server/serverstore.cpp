#include "server/serverstore.h"

#include <QDateTime>
#include <QDir>

namespace zv::server {

static QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

static QString joinLines(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

static QStringList splitLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t.split(u'\n');
}

bool ServerStore::open(const QString &dataDir)
{
    if (!QDir().mkpath(dataDir))
        return false;
    path_ = QDir(dataDir).filePath(QStringLiteral("zorvan-server.db"));
    if (!db_.open(path_))
        return false;
    db_.execScript(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"));
    return createSchema();
}

bool ServerStore::createSchema()
{
    return db_.execScript(QStringLiteral(R"(
CREATE TABLE IF NOT EXISTS users (
  id INTEGER PRIMARY KEY,
  email TEXT NOT NULL,
  email_key TEXT NOT NULL UNIQUE,
  nickname TEXT, password_hash TEXT NOT NULL,
  full_name TEXT, id_card TEXT, birth_year TEXT, birth_month TEXT, birth_day TEXT, gender TEXT,
  province TEXT, city TEXT, district TEXT, school TEXT, duty TEXT, subject TEXT, telephone TEXT,
  referrer TEXT, account_class TEXT NOT NULL DEFAULT '0', description TEXT,
  points INTEGER NOT NULL DEFAULT 0, created TEXT);
CREATE TABLE IF NOT EXISTS computers (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key TEXT NOT NULL, token TEXT, synced INTEGER NOT NULL DEFAULT 0, created TEXT,
  udp_local_address TEXT, udp_local_port INTEGER, nat_type INTEGER,
  public_address TEXT, public_port INTEGER, endpoint_time TEXT);
CREATE TABLE IF NOT EXISTS index_entries (
  computer_id INTEGER NOT NULL, file_code TEXT NOT NULL, file_name TEXT NOT NULL,
  file_size INTEGER NOT NULL, grade TEXT, user_id INTEGER, sort TEXT, phase TEXT, subject TEXT, ken TEXT,
  chubanshe TEXT, zhang TEXT, jie TEXT, resume TEXT, score INTEGER NOT NULL DEFAULT 0,
  added TEXT, seq INTEGER NOT NULL,
  PRIMARY KEY (computer_id, file_code, file_name));
CREATE INDEX IF NOT EXISTS index_by_code ON index_entries(file_code);
CREATE TABLE IF NOT EXISTS feedback (
  id INTEGER PRIMARY KEY, user_id INTEGER, category TEXT, body TEXT, created TEXT);
CREATE TABLE IF NOT EXISTS downloads (
  user_id INTEGER NOT NULL, file_code TEXT NOT NULL, name_sum TEXT, created TEXT,
  PRIMARY KEY (user_id, file_code));
)"));
}

qint64 ServerStore::addUser(const Registration &r, const QString &passwordHash, int initialPoints)
{
    SqliteDb::Transaction tx(db_);
    const QString key = r.profile.email.toLower();
    {
        auto s = db_.prepare(QStringLiteral("SELECT 1 FROM users WHERE email_key = ?"));
        s.bind({key});
        if (s.step())
            return 0;
    }
    qint64 id = 10000;
    {
        auto s = db_.prepare(QStringLiteral("SELECT MAX(id) FROM users"));
        if (s.step() && !s.isNull(0))
            id = std::max<qint64>(10000, s.integer(0) + 1);
    }
    const Profile &p = r.profile;
    auto s = db_.prepare(QStringLiteral(
        "INSERT INTO users (id, email, email_key, nickname, password_hash, full_name, id_card, birth_year, birth_month,"
        " birth_day, gender, province, city, district, school, duty, subject, telephone, referrer, account_class,"
        " description, points, created) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    s.bind({id, p.email, key, p.nickname, passwordHash, p.fullName, p.idCard, p.birthYear, p.birthMonth,
            p.birthDay, p.gender, p.province, p.city, p.district, p.school, p.duty, p.subject, p.telephone,
            r.referrer, QStringLiteral("0"), joinLines(p.description), initialPoints, now()});
    if (!s.exec() || !tx.commit())
        return -1;
    return id;
}

static const char kUserColumns[] =
    "id, email, nickname, full_name, id_card, birth_year, birth_month, birth_day, gender, province, city, district,"
    " school, duty, subject, telephone, account_class, description, password_hash, points";

std::optional<UserRecord> ServerStore::readUser(Statement &s)
{
    if (!s.step())
        return std::nullopt;
    UserRecord u;
    Profile &p = u.profile;
    p.userId = s.integer(0);
    p.email = s.text(1);
    p.nickname = s.text(2);
    p.fullName = s.text(3);
    p.idCard = s.text(4);
    p.birthYear = s.text(5);
    p.birthMonth = s.text(6);
    p.birthDay = s.text(7);
    p.gender = s.text(8);
    p.province = s.text(9);
    p.city = s.text(10);
    p.district = s.text(11);
    p.school = s.text(12);
    p.duty = s.text(13);
    p.subject = s.text(14);
    p.telephone = s.text(15);
    p.accountClass = s.text(16);
    p.description = splitLines(s.text(17));
    u.passwordHash = s.text(18);
    u.points = s.integer(19);
    return u;
}

std::optional<UserRecord> ServerStore::userById(qint64 id)
{
    auto s = db_.prepare(QStringLiteral("SELECT %1 FROM users WHERE id = ?").arg(QLatin1String(kUserColumns)));
    s.bind({id});
    return readUser(s);
}

std::optional<UserRecord> ServerStore::userByEmail(const QString &email)
{
    auto s = db_.prepare(QStringLiteral("SELECT %1 FROM users WHERE email_key = ?").arg(QLatin1String(kUserColumns)));
    s.bind({email.trimmed().toLower()});
    return readUser(s);
}

bool ServerStore::setPasswordHash(qint64 id, const QString &hash)
{
    auto s = db_.prepare(QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"));
    s.bind({hash, id});
    return s.exec() && db_.changes() == 1;
}

bool ServerStore::updateProfile(const ProfileUpdate &u)
{
    const Profile &p = u.profile;
    auto s = db_.prepare(QStringLiteral(
        "UPDATE users SET nickname=?, full_name=?, gender=?, id_card=?, birth_year=?, birth_month=?, birth_day=?,"
        " province=?, city=?, district=?, school=?, duty=?, subject=?, telephone=?, description=? WHERE id=?"));
    s.bind({p.nickname, p.fullName, p.gender, p.idCard, p.birthYear, p.birthMonth, p.birthDay, p.province, p.city,
            p.district, p.school, p.duty, p.subject, p.telephone, joinLines(p.description), u.userId});
    return s.exec() && db_.changes() == 1;
}

qint64 ServerStore::addPoints(qint64 id, qint64 delta)
{
    auto s = db_.prepare(QStringLiteral("UPDATE users SET points = MAX(0, points + ?) WHERE id = ?"));
    s.bind({delta, id});
    if (!s.exec() || db_.changes() != 1)
        return -1;
    auto q = db_.prepare(QStringLiteral("SELECT points FROM users WHERE id = ?"));
    q.bind({id});
    return q.step() ? q.integer(0) : -1;
}

bool ServerStore::addFeedback(qint64 userId, const Feedback &f)
{
    auto s = db_.prepare(QStringLiteral("INSERT INTO feedback (user_id, category, body, created) VALUES (?,?,?,?)"));
    s.bind({userId, f.category, joinLines(f.lines), now()});
    return s.exec();
}

bool ServerStore::recordDownload(qint64 userId, const QString &fileCode, const QString &nameSum)
{
    auto s = db_.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO downloads (user_id, file_code, name_sum, created) VALUES (?,?,?,?)"));
    s.bind({userId, fileCode, nameSum, now()});
    return s.exec() && db_.changes() == 1;
}

int ServerStore::userCount()
{
    auto s = db_.prepare(QStringLiteral("SELECT COUNT(*) FROM users"));
    return s.step() ? int(s.integer(0)) : 0;
}

qint64 ServerStore::addComputer(const QString &key, const QString &token)
{
    auto s = db_.prepare(QStringLiteral("INSERT INTO computers (key, token, created) VALUES (?,?,?)"));
    s.bind({key, token, now()});
    return s.exec() ? db_.lastInsertId() : -1;
}

std::optional<QString> ServerStore::computerKey(qint64 id)
{
    auto s = db_.prepare(QStringLiteral("SELECT key FROM computers WHERE id = ?"));
    s.bind({id});
    if (!s.step())
        return std::nullopt;
    return s.text(0);
}

bool ServerStore::computerSynced(qint64 id)
{
    auto s = db_.prepare(QStringLiteral("SELECT synced FROM computers WHERE id = ?"));
    s.bind({id});
    return s.step() && s.integer(0) != 0;
}

bool ServerStore::saveEndpoint(qint64 id, const ComputerEndpoint &e)
{
    auto s = db_.prepare(QStringLiteral(
        "UPDATE computers SET udp_local_address=?, udp_local_port=?, nat_type=?, public_address=?, public_port=?,"
        " endpoint_time=? WHERE id=?"));
    s.bind({e.localAddress, e.localPort, e.natType, e.publicAddress, e.publicPort, now(), id});
    return s.exec() && db_.changes() == 1;
}

std::optional<ComputerEndpoint> ServerStore::endpoint(qint64 id)
{
    auto s = db_.prepare(QStringLiteral(
        "SELECT udp_local_address, udp_local_port, nat_type, public_address, public_port FROM computers"
        " WHERE id = ? AND public_address IS NOT NULL"));
    s.bind({id});
    if (!s.step())
        return std::nullopt;
    return ComputerEndpoint{s.text(0), int(s.integer(1)), int(s.integer(2)), s.text(3), int(s.integer(4))};
}

bool ServerStore::applyBatch(const UpdateBatch &b)
{
    SqliteDb::Transaction tx(db_);
    if (b.mode == 3) {
        auto clear = db_.prepare(QStringLiteral("DELETE FROM index_entries WHERE computer_id = ?"));
        clear.bind({b.computerId});
        if (!clear.exec())
            return false;
    }
    qint64 seq = 0;
    {
        auto s = db_.prepare(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM index_entries"));
        if (s.step())
            seq = s.integer(0);
    }
    auto upsert = db_.prepare(QStringLiteral(
        "INSERT INTO index_entries (computer_id, file_code, file_name, file_size, grade, user_id, sort, phase, subject,"
        " ken, chubanshe, zhang, jie, resume, score, added, seq) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
        " ON CONFLICT (computer_id, file_code, file_name) DO UPDATE SET file_size=excluded.file_size,"
        " grade=excluded.grade, user_id=excluded.user_id, sort=excluded.sort, phase=excluded.phase,"
        " subject=excluded.subject, ken=excluded.ken, chubanshe=excluded.chubanshe, zhang=excluded.zhang,"
        " jie=excluded.jie, resume=excluded.resume, score=excluded.score, seq=excluded.seq"));
    auto remove = db_.prepare(QStringLiteral(
        "DELETE FROM index_entries WHERE computer_id = ? AND file_code = ? AND file_name = ?"));
    for (const IndexRecord &r : b.records) {
        bool ok = true;
        if (r.state == 1 || r.state == 3 || r.state == 4) {
            upsert.reset();
            upsert.bind({b.computerId, r.fileCode, r.fileName, r.fileSize, r.grade, r.userId, r.sort, r.phase,
                         r.subject, r.ken, r.chubanshe, r.zhang, r.jie, joinLines(r.resume), r.score, now(), ++seq});
            ok = upsert.exec();
        } else if (r.state == 2) {
            remove.reset();
            remove.bind({b.computerId, r.fileCode, r.fileName});
            ok = remove.exec();
        }
        // States 5 to 9 carry no change for the index.
        if (!ok)
            return false;
    }
    if (b.mode == 3) {
        auto s = db_.prepare(QStringLiteral("UPDATE computers SET synced = 1 WHERE id = ?"));
        s.bind({b.computerId});
        if (!s.exec())
            return false;
    }
    return tx.commit();
}

int ServerStore::indexSize(qint64 computerId)
{
    auto s = computerId ? db_.prepare(QStringLiteral("SELECT COUNT(*) FROM index_entries WHERE computer_id = ?"))
                        : db_.prepare(QStringLiteral("SELECT COUNT(*) FROM index_entries"));
    if (computerId)
        s.bind({computerId});
    return s.step() ? int(s.integer(0)) : 0;
}

static const char kEntryColumns[] =
    "file_name, file_code, file_size, score, subject, phase, chubanshe, grade, zhang, jie, ken, sort, resume";

static ResourceInfo readEntry(const Statement &s)
{
    ResourceInfo r;
    r.fileName = s.text(0);
    r.fileCode = s.text(1);
    r.fileSize = s.integer(2);
    r.score = int(s.integer(3));
    r.subject = s.text(4);
    r.phase = s.text(5);
    r.chubanshe = s.text(6);
    r.grade = s.text(7);
    r.zhang = s.text(8);
    r.jie = s.text(9);
    r.ken = s.text(10);
    r.sort = s.text(11);
    r.resume = splitLines(s.text(12));
    return r;
}

std::optional<ResourceInfo> ServerStore::resource(const QString &fileCode, const QString &fileName)
{
    auto s = db_.prepare(QStringLiteral("SELECT %1 FROM index_entries WHERE file_code = ?"
                                        " ORDER BY (file_name = ?) DESC, seq DESC LIMIT 1")
                             .arg(QLatin1String(kEntryColumns)));
    s.bind({fileCode, fileName});
    if (!s.step())
        return std::nullopt;
    return readEntry(s);
}

QList<qint64> ServerStore::holders(const QString &fileCode, int limit)
{
    QList<qint64> out;
    auto s = db_.prepare(QStringLiteral(
        "SELECT computer_id FROM index_entries WHERE file_code = ? GROUP BY computer_id ORDER BY MAX(seq) DESC LIMIT ?"));
    s.bind({fileCode, limit});
    while (s.step())
        out.append(s.integer(0));
    return out;
}

qint64 ServerStore::firstOwner(const QString &fileCode)
{
    auto s = db_.prepare(QStringLiteral(
        "SELECT user_id FROM index_entries WHERE file_code = ? AND user_id > 0 ORDER BY added, seq LIMIT 1"));
    s.bind({fileCode});
    return s.step() ? s.integer(0) : 0;
}

static QString likePattern(const QString &text)
{
    QString t = text;
    t.replace(u'\\', QStringLiteral("\\\\"));
    t.replace(u'%', QStringLiteral("\\%"));
    t.replace(u'_', QStringLiteral("\\_"));
    return u'%' + t + u'%';
}

QList<PortalHit> ServerStore::search(const QString &text, int limit)
{
    QList<PortalHit> out;
    const QStringList words = text.simplified().split(u' ', Qt::SkipEmptyParts).mid(0, 8);
    QString where = QStringLiteral("1");
    for (qsizetype i = 0; i < words.size(); ++i) {
        where += QStringLiteral(" AND (file_name || ' ' || COALESCE(subject,'') || ' ' || COALESCE(phase,'') || ' '"
                                " || COALESCE(grade,'') || ' ' || COALESCE(ken,'') || ' ' || COALESCE(chubanshe,'')"
                                " || ' ' || COALESCE(zhang,'') || ' ' || COALESCE(jie,'') || ' ' || COALESCE(sort,'')"
                                " || ' ' || COALESCE(resume,'')) LIKE ? ESCAPE '\\'");
    }
    // One row per feature code: the most recent entry, and the number of computers.
    auto s = db_.prepare(QStringLiteral(
        "SELECT %1, (SELECT COUNT(DISTINCT computer_id) FROM index_entries h WHERE h.file_code = e.file_code)"
        " FROM index_entries e WHERE seq IN (SELECT MAX(seq) FROM index_entries WHERE %2 GROUP BY file_code)"
        " ORDER BY score DESC, seq DESC LIMIT ?")
                             .arg(QLatin1String(kEntryColumns), where));
    int i = 1;
    for (const QString &w : words)
        s.bindAt(i++, likePattern(w));
    s.bindAt(i, limit);
    while (s.step()) {
        PortalHit h;
        h.info = readEntry(s);
        h.holders = int(s.integer(13));
        out.append(h);
    }
    return out;
}

} // namespace zv::server
