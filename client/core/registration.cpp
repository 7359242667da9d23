#include "client/core/registration.h"

#include "client/core/controlchannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace zv::client {

namespace {
Refusal warning(const char *field, const QString &message)
{
    return {QString::fromLatin1(field), message, Refusal::Kind::Warning};
}
} // namespace

bool registrationEmailAcceptable(const QString &email)
{
    const qsizetype at = email.indexOf(u'@');
    const qsizetype dot = email.indexOf(u'.');
    return at >= 0 && dot > at;
}

Check checkRegistration(const RegistrationForm &f)
{
    if (f.nickname.isEmpty())
        return warning("Edit1", QStringLiteral("请输入昵称，必填信息不能为空!"));
    if (f.password.isEmpty())
        return warning("Edit2", QStringLiteral("请输入密码，必填信息不能为空!"));
    if (f.confirmation.isEmpty())
        return warning("Edit3", QStringLiteral("请输入确认密码，必填信息不能为空!"));
    if (f.email.isEmpty())
        return warning("Edit4", QStringLiteral("请输入E-mail，必填信息不能为空!"));
    if (f.province.isEmpty())
        return warning("ComboBox4", QStringLiteral("请输入您所在的省份，必填信息不能为空!"));
    if (f.city.isEmpty())
        return warning("ComboBox5", QStringLiteral("请输入您所在的城市或县，必填信息不能为空!"));
    if (f.subject.isEmpty())
        return warning("ComboBox7", QStringLiteral("请选择您的学科，必填信息不能为空!"));
    if (f.password.contains(u' '))
        return warning("Edit2", QStringLiteral("密码不能包含空格(' ')字符!"));
    if (f.confirmation != f.password)
        return warning("Edit2", QStringLiteral("两次输入的密码不一致!"));
    if (!registrationEmailAcceptable(f.email))
        return warning("Edit4", QStringLiteral("Email名称不合法!"));
    return std::nullopt;
}

void fixBirthDate(RegistrationForm &form)
{
    form.birthYear = decimalOr(form.birthYear, QStringLiteral("1900"));
    form.birthMonth = decimalOr(form.birthMonth, QStringLiteral("1"));
    form.birthDay = decimalOr(form.birthDay, QStringLiteral("1"));
}

QStringList registerRequest(const RegistrationForm &f)
{
    const QStringList lines = memoLines(f.description);
    QStringList request{QStringLiteral("U_REGISTER0.5"), f.email, f.nickname, f.password, f.fullName, f.idCard,
                        f.birthYear, f.birthMonth, f.birthDay, f.gender, f.province, f.city, f.district, f.school,
                        f.duty, f.subject, f.telephone, f.referrer, QString::number(lines.size())};
    request += lines;
    return request;
}

bool connectForRegistration(ClientState &state, ControlChannel &channel, RegistrationTimings timings)
{
    if (state.connectionState == kOnline)
        return state.connectionKey.load() != -1 || channel.connectAndWaitForKey();
    // The connection gets connectPolls short checks; once it is up the key
    // gets the channel's usual wait.
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 connectMs = qint64(timings.connectPolls) * timings.pollMs;
    return channel.connectAndWaitForKey(
        [&] { return state.connectionState != kOnline && elapsed.elapsed() >= connectMs; });
}

RegisterReply parseRegisterReply(const Message &message)
{
    RegisterReply r;
    const QString outcome = message.field(1);
    if (outcome == QStringLiteral("u_register_ok")) {
        if (message.fields.size() < 3)
            return r;
        r.outcome = RegisterReply::Outcome::Registered;
        r.userId = message.field(2);
        r.secondServer = message.field(3);
    } else if (outcome == QStringLiteral("e_mail already exist")) {
        r.outcome = RegisterReply::Outcome::EmailTaken;
    }
    return r;
}

} // namespace zv::client
