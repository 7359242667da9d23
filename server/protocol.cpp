#include "server/protocol.h"

namespace zv::server {

static bool tooLong(const QStringList &fields)
{
    for (const QString &f : fields) {
        if (f.size() > kMaxFieldChars)
            return true;
    }
    return false;
}

static std::optional<qint64> parseId(const QString &text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return text.toLongLong();
}

// Reads a count line at index i and the lines after it; the block must end
// exactly at the end of the message when last is true.
static std::optional<QStringList> countedLines(const Message &m, qsizetype i, int maxLines, bool last, QString *why)
{
    const auto n = parseInt32(m.field(i));
    if (i >= m.fields.size() || !n || *n < 0 || *n > maxLines) {
        *why = QStringLiteral("bad line count in field %1").arg(i);
        return std::nullopt;
    }
    const qsizetype end = i + 1 + *n;
    if (end > m.fields.size() || (last && end != m.fields.size())) {
        *why = QStringLiteral("line count %1 does not match the %2 lines").arg(*n).arg(m.fields.size());
        return std::nullopt;
    }
    return m.fields.mid(i + 1, *n);
}

std::optional<Registration> parseRegister(const Message &m, QString *why)
{
    if (m.fields.size() < 19) {
        *why = QStringLiteral("registration with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    if (tooLong(m.fields)) {
        *why = QStringLiteral("field too long");
        return std::nullopt;
    }
    const auto desc = countedLines(m, 18, kMaxDescriptionLines, true, why);
    if (!desc)
        return std::nullopt;
    Registration r;
    Profile &p = r.profile;
    p.email = m.field(1).trimmed();
    p.nickname = m.field(2);
    r.password = m.field(3);
    p.fullName = m.field(4);
    p.idCard = m.field(5);
    p.birthYear = m.field(6);
    p.birthMonth = m.field(7);
    p.birthDay = m.field(8);
    p.gender = m.field(9);
    p.province = m.field(10);
    p.city = m.field(11);
    p.district = m.field(12);
    p.school = m.field(13);
    p.duty = m.field(14);
    p.subject = m.field(15);
    p.telephone = m.field(16);
    r.referrer = m.field(17);
    p.description = *desc;
    if (p.email.isEmpty() || !p.email.contains(u'@') || r.password.isEmpty() || p.nickname.isEmpty()) {
        *why = QStringLiteral("registration without e-mail, nickname or password");
        return std::nullopt;
    }
    return r;
}

std::optional<LoginRequest> parseLogin(const Message &m, QString *why)
{
    if (m.fields.size() != 4 || tooLong(m.fields)) {
        *why = QStringLiteral("login with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    LoginRequest r;
    if (m.field(1) == u"ID")
        r.byEmail = false;
    else if (m.field(1) == u"E_MAIL")
        r.byEmail = true;
    else {
        *why = QStringLiteral("login kind %1").arg(m.field(1));
        return std::nullopt;
    }
    r.who = m.field(2).trimmed();
    r.password = m.field(3);
    return r;
}

std::optional<ProfileUpdate> parseProfileUpdate(const Message &m, QString *why)
{
    if (m.fields.size() < 17 || tooLong(m.fields)) {
        *why = QStringLiteral("profile update with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    const auto id = parseId(m.field(1));
    if (!id) {
        *why = QStringLiteral("profile update for user %1").arg(m.field(1));
        return std::nullopt;
    }
    const auto desc = countedLines(m, 16, kMaxDescriptionLines, true, why);
    if (!desc)
        return std::nullopt;
    ProfileUpdate u;
    u.userId = *id;
    Profile &p = u.profile;
    p.nickname = m.field(2);
    p.fullName = m.field(3);
    p.gender = m.field(4);
    p.idCard = m.field(5);
    p.birthYear = m.field(6);
    p.birthMonth = m.field(7);
    p.birthDay = m.field(8);
    p.province = m.field(9);
    p.city = m.field(10);
    p.district = m.field(11);
    p.school = m.field(12);
    p.duty = m.field(13);
    p.subject = m.field(14);
    p.telephone = m.field(15);
    p.description = *desc;
    return u;
}

std::optional<std::pair<qint64, QString>> parseNewPassword(const Message &m, QString *why)
{
    const auto id = parseId(m.field(1));
    if (m.fields.size() != 3 || !id || m.field(2).isEmpty() || tooLong(m.fields)) {
        *why = QStringLiteral("password change with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    return std::make_pair(*id, m.field(2));
}

std::optional<Feedback> parseFeedback(const Message &m, QString *why)
{
    if (m.fields.size() < 3 || tooLong(m.fields)) {
        *why = QStringLiteral("feedback with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    const auto lines = countedLines(m, 2, kMaxDescriptionLines, true, why);
    if (!lines)
        return std::nullopt;
    return Feedback{m.field(1), *lines};
}

std::optional<DownloadReport> parseDownloaded(const Message &m, QString *why)
{
    const QString first = m.field(1);
    const auto cut = first.lastIndexOf(u'_');
    const auto id = parseId(m.field(2));
    if (m.fields.size() != 4 || cut <= 0 || !id || tooLong(m.fields)) {
        *why = QStringLiteral("download report with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    DownloadReport r;
    r.fileCode = first.left(cut);
    r.nameSum = first.mid(cut + 1);
    r.userId = *id;
    r.costsPoints = m.field(3) == u"1";
    return r;
}

std::optional<UpdateBatch> parseUpdateBatch(const Message &m, QString *why)
{
    if (m.fields.size() < 4 || m.field(1) != u"computer") {
        *why = QStringLiteral("batch header with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    const auto id = parseId(m.field(2));
    const auto mode = parseInt32(m.field(3));
    if (!id || !mode || *mode < 0 || *mode > 3) {
        *why = QStringLiteral("batch header computer %1 mode %2").arg(m.field(2), m.field(3));
        return std::nullopt;
    }
    UpdateBatch b;
    b.computerId = *id;
    b.mode = *mode;
    qsizetype i = 4;
    const qsizetype n = m.fields.size();
    while (i < n) {
        if (b.records.size() >= kMaxBatchRecords) {
            *why = QStringLiteral("batch with more than %1 records").arg(kMaxBatchRecords);
            return std::nullopt;
        }
        const qsizetype start = i;
        if (n - i < 16) {
            *why = QStringLiteral("record at line %1 has only %2 lines").arg(start).arg(n - i);
            return std::nullopt;
        }
        IndexRecord r;
        r.fileName = m.field(i);
        bool sizeOk = false;
        r.fileSize = m.field(i + 1).toLongLong(&sizeOk);
        r.fileCode = m.field(i + 2);
        r.grade = m.field(i + 3);
        const auto user = parseInt32(m.field(i + 4));
        const auto state = parseInt32(m.field(i + 5));
        r.sort = m.field(i + 6);
        r.phase = m.field(i + 7);
        r.subject = m.field(i + 8);
        r.ken = m.field(i + 9);
        r.chubanshe = m.field(i + 10);
        r.zhang = m.field(i + 11);
        r.jie = m.field(i + 12);
        const auto lines = parseInt32(m.field(i + 13));
        if (!sizeOk || r.fileSize < 0 || !user || !state || *state < 1 || *state > 9 || !lines || *lines < 0
            || *lines > kMaxResumeLines || r.fileName.isEmpty() || r.fileCode.isEmpty()
            || r.fileName.size() > kMaxFieldChars || r.fileCode.size() > 256) {
            *why = QStringLiteral("record at line %1 is malformed").arg(start);
            return std::nullopt;
        }
        r.userId = *user;
        r.state = *state;
        i += 14;
        if (n - i < qsizetype(*lines) + 2) {
            *why = QStringLiteral("record at line %1 announces %2 description lines, the batch ends first").arg(start).arg(*lines);
            return std::nullopt;
        }
        r.resume = m.fields.mid(i, *lines);
        i += *lines;
        // One empty line, then the score.
        const auto score = parseInt32(m.field(i + 1));
        if (!m.field(i).isEmpty() || !score) {
            *why = QStringLiteral("record at line %1 lacks its empty line or score").arg(start);
            return std::nullopt;
        }
        r.score = *score;
        i += 2;
        b.records.append(r);
    }
    return b;
}

std::optional<ComputerLogin> parseComputerLogin(const Message &m, QString *why)
{
    ComputerLogin l;
    if (m.verb() == u"CF_LOGIN0.3") {
        if (m.fields.size() != 4 || tooLong(m.fields)) {
            *why = QStringLiteral("first computer login with %1 lines").arg(m.fields.size());
            return std::nullopt;
        }
        l.first = true;
        l.token = m.field(1);
        l.localAddress = m.field(2);
        l.localPort = m.field(3);
        return l;
    }
    const auto id = parseId(m.field(1));
    if (m.fields.size() != 5 || !id || tooLong(m.fields)) {
        *why = QStringLiteral("computer login with %1 lines").arg(m.fields.size());
        return std::nullopt;
    }
    l.computerId = *id;
    l.key = m.field(2);
    l.localAddress = m.field(3);
    l.localPort = m.field(4);
    return l;
}

bool isFeatureCode(const QString &code)
{
    if (code.isEmpty() || code.size() > 80 || !code.endsWith(u'!'))
        return false;
    const QStringList parts = code.split(u'!');
    if (parts.size() != 5)
        return false;
    for (int i = 0; i < 4; ++i) {
        const QString &p = parts[i];
        qsizetype j = (i == 1 || i == 2) && p.startsWith(u'-') ? 1 : 0;
        if (j == p.size() || p.size() > 19)
            return false;
        for (; j < p.size(); ++j) {
            if (p[j] < u'0' || p[j] > u'9')
                return false;
        }
    }
    return true;
}

qint64 featureCodeSize(const QString &code)
{
    const auto bang = code.indexOf(u'!');
    if (bang <= 0)
        return -1;
    bool ok = false;
    const qint64 v = code.left(bang).toLongLong(&ok);
    return ok && v >= 0 ? v : -1;
}

QStringList loginOkReply(const Profile &p, const QString &secondServer, const QString &updateTarget)
{
    QStringList f{QStringLiteral("s_u_login_reply0.5")};
    if (updateTarget.isEmpty()) {
        f << QStringLiteral("u_login_ok");
    } else {
        f << QStringLiteral("u_update_login_ok") << updateTarget;
    }
    f << QString::number(p.userId) << p.email << p.nickname << p.fullName << p.idCard << p.birthYear
      << p.birthMonth << p.birthDay << p.gender << p.province << p.city << p.district << p.school << p.duty
      << p.subject << p.telephone << p.accountClass;
    f << p.description;
    f << secondServer;
    return f;
}

QStringList loginErrorReply(const QString &outcome)
{
    return {QStringLiteral("s_u_login_reply0.5"), outcome};
}

QStringList mustUpdateReply(const QString &target)
{
    return {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("u_must_update"), target};
}

QStringList searchReply(const std::optional<ResourceInfo> &info, const QList<SourceGroup> &sources)
{
    QStringList f{QStringLiteral("s_u_search_reply0.5")};
    if (!info || sources.isEmpty()) {
        f << QStringLiteral("0");
        return f;
    }
    f << QString::number(sources.size());
    f << QString::number(info->fileSize) << QString::number(info->score) << info->subject << info->phase
      << info->chubanshe << info->grade << info->zhang << info->jie << info->ken << info->zhuanti << info->sort;
    f << QString::number(info->resume.size()) << info->resume;
    f << QString::number(info->note.size()) << info->note;
    for (const SourceGroup &s : sources)
        f << QString::number(s.id) << s.address << QString::number(s.port) << QString::number(s.natType);
    return f;
}

QString resourceLink(const QString &fileName, const QString &fileCode)
{
    return QStringLiteral("Zorvan://1|") + fileName + u'|' + fileCode + QStringLiteral("|/");
}

} // namespace zv::server
