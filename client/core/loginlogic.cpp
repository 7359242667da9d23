#include "client/core/loginlogic.h"

#include "client/core/settingsfiles.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace zv::client {

namespace {

Refusal warning(const char *field, const QString &message)
{
    return {QString::fromLatin1(field), message, Refusal::Kind::Warning};
}

// Profile lines of "u_login_ok": user ID in line 2, fields 3 to 18,
// description 19 to n-3, second detection server n-2 (n counts the closing
// line, which the message does not hold).
constexpr int kUserIdLine = 2;
constexpr int kFirstProfileLine = 3;
constexpr int kLastFixedLine = 18;

} // namespace

Check checkLoginInput(bool byId, const QString &id, const QString &email, const QString &password)
{
    if (byId && id.isEmpty())
        return warning("ComboBox1", QStringLiteral("用户ID不能为空!"));
    if (!byId && email.isEmpty())
        return warning("ComboBox2", QStringLiteral("E-mail不能为空!"));
    if (password.isEmpty())
        return warning("Edit1", QStringLiteral("密码不能为空!"));
    if (byId) {
        if (!isDecimalInteger(id))
            return warning("ComboBox1", QStringLiteral("用户ID 非法!"));
        if (id == QStringLiteral("0"))
            return warning("ComboBox1", QStringLiteral("没有此ID 的用户!"));
    }
    return std::nullopt;
}

QStringList loginRequest(bool byId, const QString &account, const QString &password)
{
    return {QStringLiteral("U_LOGIN0.3"), byId ? QStringLiteral("ID") : QStringLiteral("E_MAIL"), account, password};
}

QStringList guestLoginRequest()
{
    return {QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()};
}

LoginReply parseLoginReply(const Message &message)
{
    LoginReply r;
    const QString outcome = message.field(1);
    const qsizetype n = message.fields.size() + 1;
    if (outcome == QStringLiteral("u_login_ok")) {
        r.outcome = n >= 21 ? LoginReply::Outcome::Ok : LoginReply::Outcome::Malformed;
    } else if (outcome == QStringLiteral("u_update_login_ok")) {
        r.outcome = n >= 22 ? LoginReply::Outcome::UpdateOk : LoginReply::Outcome::Malformed;
        r.target = message.field(2);
    } else if (outcome == QStringLiteral("u_must_update")) {
        r.outcome = n >= 4 ? LoginReply::Outcome::MustUpdate : LoginReply::Outcome::Malformed;
        r.target = message.field(2);
    } else if (outcome == QStringLiteral("pass_word error")) {
        r.outcome = LoginReply::Outcome::PasswordError;
    } else if (outcome == QStringLiteral("e_mail error")) {
        r.outcome = LoginReply::Outcome::EmailError;
    } else if (outcome == QStringLiteral("id error")) {
        r.outcome = LoginReply::Outcome::IdError;
    }
    return r;
}

bool applyLoginOk(ClientState &state, const Message &message, int shift, const QString &remoteAddress)
{
    const QStringList &f = message.fields;
    const qsizetype n = f.size() + 1;
    if (n < 21 + shift)
        return false;
    state.userId = QStringLiteral("0");
    if (state.loginState == kLoginUser) {
        state.userId = f.at(kUserIdLine + shift);
        for (int i = 0; i + kFirstProfileLine <= kLastFixedLine; ++i)
            state.profile[i] = f.at(kFirstProfileLine + shift + i);
        const qsizetype first = kLastFixedLine + 1 + shift;
        const qsizetype last = n - 3;
        state.profile[kProfileDescription] = last >= first ? f.mid(first, last - first + 1).join(QStringLiteral("\r\n"))
                                                           : QString();
    }
    state.firstDetectionServer = remoteAddress;
    state.secondDetectionServer = f.at(n - 2);
    return true;
}

std::optional<LoginError> loginError(LoginReply::Outcome outcome)
{
    switch (outcome) {
    case LoginReply::Outcome::PasswordError:
        return LoginError{QStringLiteral("password"), warning("Edit1", QStringLiteral("您输入的密码错误!"))};
    case LoginReply::Outcome::EmailError:
        return LoginError{QStringLiteral("e-mail"), warning("ComboBox2", QStringLiteral("没有使用此E-mail的用户!"))};
    case LoginReply::Outcome::IdError:
        return LoginError{QStringLiteral("id"), warning("ComboBox1", QStringLiteral("没有此ID的用户!"))};
    default:
        return std::nullopt;
    }
}

QStringList loadRemembered(const QString &path)
{
    return platform::readLines(path).value_or(QStringList());
}

bool remember(const QString &path, const QString &value, bool allowEmpty)
{
    if (!QFileInfo::exists(path))
        return (allowEmpty || !value.isEmpty()) ? platform::writeLines(path, {value}) : true;
    auto lines = platform::readLines(path);
    if (!lines)
        return false;
    if (value.isEmpty() || lines->contains(value))
        return true;
    lines->append(value);
    return platform::writeLines(path, *lines);
}

bool writeAutoLogin(const QString &settingsPath, bool byId, const QString &account, const QString &password)
{
    SettingsFile s = SettingsFile::load(settingsPath).value_or(SettingsFile::blank());
    s.lines[kSetAutoLogin] = QStringLiteral("true");
    s.lines[kSetLoginKind] = byId ? QStringLiteral("ID") : QStringLiteral("EMAIL");
    s.lines[kSetAccount] = account;
    s.lines[kSetPassword] = password;
    return s.save(settingsPath);
}

LoginPrefill loginPrefill(const QString &settingsPath, const QString &defaultFolder)
{
    LoginPrefill p;
    const auto s = SettingsFile::load(settingsPath);
    if (!s) {
        p.maxDownloads = 10;
        p.downloadFolder = defaultFolder;
        p.created = SettingsFile::blank().save(settingsPath);
        return p;
    }
    p.autoLogin = s->autoLogin();
    p.byId = s->lines[kSetLoginKind] == QStringLiteral("ID");
    p.account = s->lines[kSetAccount];
    p.password = s->lines[kSetPassword];
    p.maxDownloads = s->maxDownloads();
    p.downloadFolder = s->downloadFolder(defaultFolder);
    return p;
}

} // namespace zv::client
