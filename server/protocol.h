#pragma once
// The server's side of the control-channel messages: pure parsers of the
// requests and builders of the replies, apart from any socket.
#include "common/framing.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zv::server {

// Bounds on what one request may carry.
inline constexpr int kMaxDescriptionLines = 200;
inline constexpr int kMaxFieldChars = 4096;
inline constexpr int kMaxBatchRecords = 1000;
inline constexpr int kMaxResumeLines = 500;
inline constexpr int kMaxSourcesPerReply = 50;

struct Profile {
    qint64 userId = 0;
    QString email, nickname, fullName, idCard, birthYear, birthMonth, birthDay, gender;
    QString province, city, district, school, duty, subject, telephone;
    QString accountClass = QStringLiteral("0");
    QStringList description;
};

struct Registration {
    Profile profile;
    QString password;
    QString referrer;
};

struct LoginRequest {
    bool byEmail = false;
    QString who;      // the user ID or the e-mail address
    QString password;
    bool isGuest() const { return !byEmail && who == u"0" && password.isEmpty(); }
};

struct ProfileUpdate {
    qint64 userId = 0;
    Profile profile; // every field but e-mail and account class
};

struct Feedback {
    QString category;
    QStringList lines;
};

struct DownloadReport {
    QString fileCode;   // the part before the last "_"
    QString nameSum;    // the part after it
    qint64 userId = 0;
    bool costsPoints = false;
};

// One record of an announcement batch.
struct IndexRecord {
    QString fileName;
    qint64 fileSize = 0;
    QString fileCode;
    QString grade;
    qint64 userId = 0;
    int state = 0;
    QString sort, phase, subject, ken, chubanshe, zhang, jie;
    QStringList resume;
    int score = 0;
};

struct UpdateBatch {
    qint64 computerId = 0;
    int mode = 0;
    QList<IndexRecord> records;
};

struct ComputerLogin {
    bool first = false;     // "CF_LOGIN0.3"
    QString token;          // CF only
    qint64 computerId = 0;  // CC only
    QString key;            // CC only
    QString localAddress;
    QString localPort;
};

// Metadata of an indexed resource, as a look-up reply carries it.
struct ResourceInfo {
    QString fileName;
    QString fileCode;
    qint64 fileSize = 0;
    int score = 0;
    QString subject, phase, chubanshe, grade, zhang, jie, ken, zhuanti, sort;
    QStringList resume; // the description
    QStringList note;
};

struct SourceGroup {
    qint64 id = 0;
    QString address;
    int port = 0;
    int natType = 0;
};

// Each parser returns nullopt with a reason when the message does not have the
// layout it expects, counting its lines exactly.
std::optional<Registration> parseRegister(const Message &m, QString *why);
std::optional<LoginRequest> parseLogin(const Message &m, QString *why);
std::optional<ProfileUpdate> parseProfileUpdate(const Message &m, QString *why);
std::optional<std::pair<qint64, QString>> parseNewPassword(const Message &m, QString *why);
std::optional<Feedback> parseFeedback(const Message &m, QString *why);
std::optional<DownloadReport> parseDownloaded(const Message &m, QString *why);
std::optional<UpdateBatch> parseUpdateBatch(const Message &m, QString *why);
std::optional<ComputerLogin> parseComputerLogin(const Message &m, QString *why);

// A feature code as the programs compute it: four decimal numbers, each
// followed by "!" (the first the size). Checked before a code is used as a key.
bool isFeatureCode(const QString &code);
// The file size at the front of a feature code, or -1.
qint64 featureCodeSize(const QString &code);

// "s_u_login_reply0.5" for "u_login_ok" / "u_update_login_ok".
QStringList loginOkReply(const Profile &p, const QString &secondServer, const QString &updateTarget = {});
QStringList loginErrorReply(const QString &outcome);
QStringList mustUpdateReply(const QString &target);
QStringList searchReply(const std::optional<ResourceInfo> &info, const QList<SourceGroup> &sources);

// The resource link of the search page.
QString resourceLink(const QString &fileName, const QString &fileCode);

} // namespace zv::server
