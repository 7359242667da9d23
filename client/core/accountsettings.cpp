#include "client/core/accountsettings.h"

#include "common/framing.h"
#include "platform/paths.h"

namespace zv::client {

namespace {

Refusal warning(const char *field, const QString &message)
{
    return {QString::fromLatin1(field), message, Refusal::Kind::Warning};
}

Refusal plain(const char *field, const QString &message)
{
    return {QString::fromLatin1(field), message, Refusal::Kind::Plain};
}

} // namespace

bool isDecimalInteger(const QString &text)
{
    return parseInt32(text).has_value();
}

QString decimalOr(const QString &text, const QString &fallback)
{
    return isDecimalInteger(text) ? text : fallback;
}

QStringList memoLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(u'\r', u'\n');
    return normal.split(u'\n');
}

ProfileForm profileFormFrom(const ClientState &state)
{
    const QStringList &p = state.profile;
    ProfileForm f;
    f.userId = state.userId;
    f.email = p.value(kProfileEmail);
    f.nickname = p.value(kProfileNickname);
    f.province = p.value(kProfileProvince);
    f.city = p.value(kProfileCity);
    f.district = p.value(kProfileDistrict);
    f.school = p.value(kProfileSchool);
    f.subject = p.value(kProfileSubject);
    f.duty = p.value(kProfileDuty);
    f.fullName = p.value(kProfileFullName);
    f.gender = p.value(kProfileGender) == QStringLiteral("男") ? QStringLiteral("男") : QStringLiteral("女");
    f.idCard = p.value(kProfileIdCard);
    f.birthYear = p.value(kProfileBirthYear);
    f.birthMonth = p.value(kProfileBirthMonth);
    f.birthDay = p.value(kProfileBirthDay);
    f.telephone = p.value(kProfileTelephone);
    f.description = memoLines(p.value(kProfileDescription)).join(u'\n');
    return f;
}

Check checkProfile(const ProfileForm &form)
{
    if (form.nickname.isEmpty())
        return warning("Edit9", QStringLiteral("昵称为必须有的信息，不能为空!"));
    if (form.province.isEmpty())
        return warning("ComboBox14", QStringLiteral("所在地区：省为必须有的信息，不能为空!"));
    if (form.city.isEmpty())
        return warning("ComboBox15", QStringLiteral("所在地区：市为必须有的信息，不能为空!"));
    if (form.subject.isEmpty())
        return warning("ComboBox18", QStringLiteral("学科为必须有的信息，不能为空!"));
    return std::nullopt;
}

void fixBirthDate(ProfileForm &form)
{
    form.birthYear = decimalOr(form.birthYear, QStringLiteral("1900"));
    form.birthMonth = decimalOr(form.birthMonth, QStringLiteral("1"));
    form.birthDay = decimalOr(form.birthDay, QStringLiteral("1"));
}

std::optional<QStringList> applyProfile(ClientState &state, const ProfileForm &form)
{
    QStringList &p = state.profile;
    bool changed = false;
    const bool fieldsDiffer =
        form.userId != state.userId || form.email != p.value(kProfileEmail) || form.nickname != p.value(kProfileNickname)
        || form.fullName != p.value(kProfileFullName) || form.gender != p.value(kProfileGender)
        || form.idCard != p.value(kProfileIdCard) || form.birthYear != p.value(kProfileBirthYear)
        || form.birthMonth != p.value(kProfileBirthMonth) || form.birthDay != p.value(kProfileBirthDay)
        || form.province != p.value(kProfileProvince) || form.city != p.value(kProfileCity)
        || form.district != p.value(kProfileDistrict) || form.school != p.value(kProfileSchool)
        || form.duty != p.value(kProfileDuty) || form.subject != p.value(kProfileSubject)
        || form.telephone != p.value(kProfileTelephone);
    if (fieldsDiffer) {
        p[kProfileNickname] = form.nickname;
        p[kProfileFullName] = form.fullName;
        p[kProfileGender] = form.gender;
        p[kProfileIdCard] = form.idCard;
        p[kProfileBirthYear] = form.birthYear;
        p[kProfileBirthMonth] = form.birthMonth;
        p[kProfileBirthDay] = form.birthDay;
        p[kProfileProvince] = form.province;
        p[kProfileCity] = form.city;
        p[kProfileDistrict] = form.district;
        p[kProfileSchool] = form.school;
        p[kProfileDuty] = form.duty;
        p[kProfileSubject] = form.subject;
        p[kProfileTelephone] = form.telephone;
        changed = true;
    }
    const QStringList lines = memoLines(form.description);
    const QString description = lines.join(QStringLiteral("\r\n"));
    if (description != p.value(kProfileDescription)) {
        p[kProfileDescription] = description;
        changed = true;
    }
    if (!changed)
        return std::nullopt;
    QStringList request{QStringLiteral("U_UPDATEUSERDATE0.5"), form.userId, form.nickname, form.fullName, form.gender,
                        form.idCard, form.birthYear, form.birthMonth, form.birthDay, form.province, form.city,
                        form.district, form.school, form.duty, form.subject, form.telephone,
                        QString::number(lines.size())};
    request += lines;
    return request;
}

Check checkPasswordChange(const QString &oldPassword, const QString &newPassword, const QString &repetition,
                          const QString &loginPassword)
{
    if (oldPassword.isEmpty())
        return warning("Edit11", QStringLiteral("原密码不能为空!"));
    if (newPassword.isEmpty())
        return warning("Edit12", QStringLiteral("新密码不能为空!"));
    if (repetition.isEmpty())
        return warning("Edit14", QStringLiteral("新密码不能为空!"));
    if (oldPassword != loginPassword)
        return warning("Edit11", QStringLiteral("原密码不正确!"));
    if (newPassword.contains(u' '))
        return warning("Edit12", QStringLiteral("新密码不能包含空格(' ')字符!"));
    if (repetition != newPassword)
        return warning("Edit14", QStringLiteral("两次输入的密码不一致!"));
    return std::nullopt;
}

QStringList newPasswordRequest(const QString &userId, const QString &newPassword)
{
    return {QStringLiteral("U_NEWPASS0.5"), userId, newPassword};
}

Check checkDownloadLimit(const QString &text)
{
    const auto value = parseInt32(text);
    if (!value || *value < 1 || *value > 20)
        return warning("ComboBox20", QStringLiteral("文件最大下载数目限制必须为大于0,小于等于20的正整数!"));
    return std::nullopt;
}

SettingsFile usageSettings(const UsageForm &form)
{
    SettingsFile s;
    if (form.autoLogin) {
        s.lines[kSetAutoLogin] = QStringLiteral("true");
        s.lines[kSetLoginKind] = form.byId ? QStringLiteral("ID") : QStringLiteral("EMAIL");
        s.lines[kSetAccount] = form.account;
        s.lines[kSetPassword] = form.password;
    } else {
        s.lines[kSetAutoLogin] = QStringLiteral("false");
    }
    s.lines[kSetAutorun] = form.autorun ? QStringLiteral("true") : QStringLiteral("false");
    s.lines[kSetMaxDownloads] = form.maxDownloads;
    s.lines[kSetDownloadFolder] = platform::withTrailingSlash(form.folder);
    return s;
}

AutorunAction autorunAction(bool autorunFlag, bool ticked)
{
    if (!autorunFlag && ticked)
        return AutorunAction::Write;
    if (autorunFlag && !ticked)
        return AutorunAction::Delete;
    return AutorunAction::None;
}

QString fileTypeFromInput(const QString &typed)
{
    qsizetype i = 0;
    while (i < typed.size() && typed.at(i) == u'.')
        ++i;
    return typed.mid(i);
}

Check checkFeedback(const QString &text, const QString &category)
{
    if (text.isEmpty())
        return plain("Memo1", QStringLiteral("请输入反馈内容。"));
    if (category.isEmpty())
        return plain("ComboBox1", QStringLiteral("请选择\"反馈类别\"。"));
    return std::nullopt;
}

QStringList feedbackRequest(const QString &category, const QString &text)
{
    const QStringList lines = memoLines(text);
    QStringList request{QStringLiteral("U_FEEDBACK0.5"), category, QString::number(lines.size())};
    request += lines;
    return request;
}

} // namespace zv::client
