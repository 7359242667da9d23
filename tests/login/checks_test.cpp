// The checks, requests and files of login, registration, account settings and
// feedback, without windows.
#include "client/core/accountsettings.h"
#include "client/core/loginlogic.h"
#include "client/core/regions.h"
#include "client/core/registration.h"
#include "client/core/settingsfiles.h"
#include "platform/textfile.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zv::client;
using zv::test::Sandbox;

namespace {

QString q(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

struct CheckCase {
    const char *name;
    std::function<void()> mutate; // applied to the case's valid input
    const char *field;            // nullptr: accepted
    const char *message;
    Refusal::Kind kind = Refusal::Kind::Warning;
};

void expectRefusal(const Check &result, const CheckCase &c)
{
    if (!c.field) {
        EXPECT_FALSE(result.has_value()) << c.name << ": " << result->message.toStdString();
        return;
    }
    ASSERT_TRUE(result.has_value()) << c.name;
    EXPECT_EQ(result->field, QString::fromLatin1(c.field)) << c.name;
    EXPECT_EQ(result->message, q(c.message)) << c.name;
    EXPECT_EQ(result->kind, c.kind) << c.name;
}

} // namespace

// --- registration --------------------------------------------------------------

TEST(RegistrationCheckTest, EveryRuleInOrder)
{
    RegistrationForm f;
    auto valid = [&] {
        f = {};
        f.nickname = q("李老师");
        f.password = QStringLiteral("secret");
        f.confirmation = QStringLiteral("secret");
        f.email = QStringLiteral("li@school.cn");
        f.province = q("江苏");
        f.city = q("南京");
        f.subject = q("数学");
    };
    const CheckCase cases[] = {
        {"valid", [] {}, nullptr, nullptr},
        {"nickname empty", [&] { f.nickname.clear(); }, "Edit1", "请输入昵称，必填信息不能为空!"},
        {"nickname before password", [&] { f.nickname.clear(); f.password.clear(); }, "Edit1", "请输入昵称，必填信息不能为空!"},
        {"password empty", [&] { f.password.clear(); }, "Edit2", "请输入密码，必填信息不能为空!"},
        {"confirmation empty", [&] { f.confirmation.clear(); }, "Edit3", "请输入确认密码，必填信息不能为空!"},
        {"e-mail empty", [&] { f.email.clear(); }, "Edit4", "请输入E-mail，必填信息不能为空!"},
        {"province empty", [&] { f.province.clear(); }, "ComboBox4", "请输入您所在的省份，必填信息不能为空!"},
        {"city empty", [&] { f.city.clear(); }, "ComboBox5", "请输入您所在的城市或县，必填信息不能为空!"},
        {"subject empty", [&] { f.subject.clear(); }, "ComboBox7", "请选择您的学科，必填信息不能为空!"},
        {"subject before the password rules", [&] { f.subject.clear(); f.password = QStringLiteral("a b"); }, "ComboBox7",
         "请选择您的学科，必填信息不能为空!"},
        {"password with a space", [&] { f.password = QStringLiteral("se cret"); f.confirmation = f.password; }, "Edit2",
         "密码不能包含空格(' ')字符!"},
        {"confirmation differs, focus on the password", [&] { f.confirmation = QStringLiteral("other"); }, "Edit2",
         "两次输入的密码不一致!"},
        {"space checked before the confirmation", [&] { f.password = QStringLiteral("a b"); }, "Edit2",
         "密码不能包含空格(' ')字符!"},
        {"e-mail without @", [&] { f.email = QStringLiteral("li.school.cn"); }, "Edit4", "Email名称不合法!"},
        {"e-mail with a dot before @", [&] { f.email = QStringLiteral("li.wei@school.cn"); }, "Edit4", "Email名称不合法!"},
        {"e-mail without any dot", [&] { f.email = QStringLiteral("li@school"); }, "Edit4", "Email名称不合法!"},
        {"e-mail whose first dot follows @", [&] { f.email = QStringLiteral("li@mail.school.cn"); }, nullptr, nullptr},
        {"optional fields may stay empty", [&] { f.district.clear(); f.school.clear(); }, nullptr, nullptr},
    };
    for (const CheckCase &c : cases) {
        valid();
        c.mutate();
        expectRefusal(checkRegistration(f), c);
    }
}

TEST(RegistrationCheckTest, BirthDatePartsThatAreNotNumbersGetDefaults)
{
    RegistrationForm f;
    f.birthYear = QStringLiteral("19x0");
    f.birthMonth = QString();
    f.birthDay = QStringLiteral("12");
    fixBirthDate(f);
    EXPECT_EQ(f.birthYear, QStringLiteral("1900"));
    EXPECT_EQ(f.birthMonth, QStringLiteral("1"));
    EXPECT_EQ(f.birthDay, QStringLiteral("12"));
}

TEST(RegistrationRequestTest, LinesInCatalogueOrder)
{
    RegistrationForm f;
    f.email = QStringLiteral("e@x.cn");
    f.nickname = QStringLiteral("nick");
    f.password = QStringLiteral("pw");
    f.fullName = QStringLiteral("full");
    f.idCard = QStringLiteral("id");
    f.birthYear = QStringLiteral("1980");
    f.birthMonth = QStringLiteral("2");
    f.birthDay = QStringLiteral("3");
    f.gender = q("男");
    f.province = QStringLiteral("prov");
    f.city = QStringLiteral("city");
    f.district = QStringLiteral("dist");
    f.school = QStringLiteral("school");
    f.duty = QStringLiteral("duty");
    f.subject = QStringLiteral("subj");
    f.telephone = QStringLiteral("tel");
    f.referrer = QStringLiteral("ref");
    f.description = QStringLiteral("line one\nline two");
    EXPECT_EQ(registerRequest(f),
              (QStringList{QStringLiteral("U_REGISTER0.5"), QStringLiteral("e@x.cn"), QStringLiteral("nick"),
                           QStringLiteral("pw"), QStringLiteral("full"), QStringLiteral("id"), QStringLiteral("1980"),
                           QStringLiteral("2"), QStringLiteral("3"), q("男"), QStringLiteral("prov"),
                           QStringLiteral("city"), QStringLiteral("dist"), QStringLiteral("school"),
                           QStringLiteral("duty"), QStringLiteral("subj"), QStringLiteral("tel"), QStringLiteral("ref"),
                           QStringLiteral("2"), QStringLiteral("line one"), QStringLiteral("line two")}));
    f.description.clear();
    const QStringList empty = registerRequest(f);
    EXPECT_EQ(empty.size(), 19);
    EXPECT_EQ(empty.last(), QStringLiteral("0"));
}

TEST(RegistrationReplyTest, Outcomes)
{
    const auto ok = parseRegisterReply({{QStringLiteral("s_u_register_reply0.5"), QStringLiteral("u_register_ok"),
                                         QStringLiteral("10001"), QStringLiteral("127.0.0.2")}});
    EXPECT_EQ(ok.outcome, RegisterReply::Outcome::Registered);
    EXPECT_EQ(ok.userId, QStringLiteral("10001"));
    EXPECT_EQ(ok.secondServer, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(parseRegisterReply({{QStringLiteral("s_u_register_reply0.5"), QStringLiteral("e_mail already exist")}}).outcome,
              RegisterReply::Outcome::EmailTaken);
    EXPECT_EQ(parseRegisterReply({{QStringLiteral("s_u_register_reply0.5"), QStringLiteral("u_register_ok")}}).outcome,
              RegisterReply::Outcome::Unknown);
}

// --- login -----------------------------------------------------------------------

TEST(LoginCheckTest, EveryRuleInOrder)
{
    bool byId = true;
    QString id, email, password;
    auto valid = [&] {
        byId = true;
        id = QStringLiteral("10001");
        email = QStringLiteral("a@b.cn");
        password = QStringLiteral("pw");
    };
    const CheckCase cases[] = {
        {"valid ID login", [] {}, nullptr, nullptr},
        {"valid e-mail login", [&] { byId = false; id = QStringLiteral("abc"); }, nullptr, nullptr},
        {"ID empty", [&] { id.clear(); }, "ComboBox1", "用户ID不能为空!"},
        {"ID empty before password", [&] { id.clear(); password.clear(); }, "ComboBox1", "用户ID不能为空!"},
        {"e-mail empty", [&] { byId = false; email.clear(); }, "ComboBox2", "E-mail不能为空!"},
        {"an empty e-mail box does not matter for an ID login", [&] { email.clear(); }, nullptr, nullptr},
        {"password empty", [&] { password.clear(); }, "Edit1", "密码不能为空!"},
        {"password checked before the ID's form", [&] { password.clear(); id = QStringLiteral("abc"); }, "Edit1", "密码不能为空!"},
        {"ID not a number", [&] { id = QStringLiteral("abc"); }, "ComboBox1", "用户ID 非法!"},
        {"ID with a space", [&] { id = QStringLiteral("1 2"); }, "ComboBox1", "用户ID 非法!"},
        {"ID zero", [&] { id = QStringLiteral("0"); }, "ComboBox1", "没有此ID 的用户!"},
    };
    for (const CheckCase &c : cases) {
        valid();
        c.mutate();
        expectRefusal(checkLoginInput(byId, id, email, password), c);
    }
}

TEST(LoginRequestTest, KindsOnTheWire)
{
    EXPECT_EQ(loginRequest(true, QStringLiteral("7"), QStringLiteral("pw")),
              (QStringList{QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("7"), QStringLiteral("pw")}));
    EXPECT_EQ(loginRequest(false, QStringLiteral("a@b.cn"), QStringLiteral("pw")),
              (QStringList{QStringLiteral("U_LOGIN0.3"), QStringLiteral("E_MAIL"), QStringLiteral("a@b.cn"), QStringLiteral("pw")}));
    EXPECT_EQ(guestLoginRequest(),
              (QStringList{QStringLiteral("U_LOGIN0.3"), QStringLiteral("ID"), QStringLiteral("0"), QString()}));
}

namespace {

// A login reply: verb, outcome, [target], user ID, 17 fields, description lines, second server.
zv::Message loginReply(const QString &outcome, const QStringList &description, bool withTarget = false)
{
    QStringList f{QStringLiteral("s_u_login_reply0.5"), outcome};
    if (withTarget)
        f << QStringLiteral("http://update.example/new");
    f << QStringLiteral("10001");
    for (int i = 0; i < 16; ++i)
        f << QStringLiteral("f%1").arg(i + 1);
    f << description << QStringLiteral("127.0.0.2");
    return {f};
}

ClientState makeState()
{
    return ClientState(QStringLiteral("/tmp/zv-login/"), zv::DeployConfig{});
}

} // namespace

TEST(LoginReplyTest, ReplyWithoutDescriptionHas21Lines)
{
    const zv::Message m = loginReply(QStringLiteral("u_login_ok"), {});
    ASSERT_EQ(m.fields.size() + 1, 21);
    ClientState s = makeState();
    s.loginState = kLoginUser;
    ASSERT_EQ(parseLoginReply(m).outcome, LoginReply::Outcome::Ok);
    ASSERT_TRUE(applyLoginOk(s, m, 0, QStringLiteral("127.0.0.1")));
    EXPECT_EQ(s.userId, QStringLiteral("10001"));
    EXPECT_EQ(s.profile[kProfileEmail], QStringLiteral("f1"));
    EXPECT_EQ(s.profile[kProfileAccountClass], QStringLiteral("f16"));
    EXPECT_EQ(s.profile[kProfileDescription], QString());
    EXPECT_EQ(s.firstDetectionServer, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(s.secondDetectionServer, QStringLiteral("127.0.0.2"));
}

TEST(LoginReplyTest, DescriptionLinesJoinedWithCrLf)
{
    ClientState s = makeState();
    s.loginState = kLoginUser;
    ASSERT_TRUE(applyLoginOk(s, loginReply(QStringLiteral("u_login_ok"), {QStringLiteral("a"), QStringLiteral("b")}), 0,
                             QStringLiteral("10.0.0.1")));
    EXPECT_EQ(s.profile[kProfileDescription], QStringLiteral("a\r\nb"));
    EXPECT_EQ(s.secondDetectionServer, QStringLiteral("127.0.0.2"));
}

TEST(LoginReplyTest, UpdateReplyIsReadOneLineLater)
{
    const zv::Message m = loginReply(QStringLiteral("u_update_login_ok"), {QStringLiteral("d")}, true);
    const LoginReply r = parseLoginReply(m);
    ASSERT_EQ(r.outcome, LoginReply::Outcome::UpdateOk);
    EXPECT_EQ(r.target, QStringLiteral("http://update.example/new"));
    ClientState s = makeState();
    s.loginState = kLoginUser;
    ASSERT_TRUE(applyLoginOk(s, m, 1, QStringLiteral("127.0.0.1")));
    EXPECT_EQ(s.userId, QStringLiteral("10001"));
    EXPECT_EQ(s.profile[kProfileEmail], QStringLiteral("f1"));
    EXPECT_EQ(s.profile[kProfileAccountClass], QStringLiteral("f16"));
    EXPECT_EQ(s.profile[kProfileDescription], QStringLiteral("d"));
}

TEST(LoginReplyTest, GuestKeepsProfileAndGetsIdZeroAndBothServers)
{
    ClientState s = makeState();
    s.loginState = kLoginGuest;
    s.userId = QStringLiteral("55");
    s.profile[kProfileNickname] = QStringLiteral("kept");
    ASSERT_TRUE(applyLoginOk(s, loginReply(QStringLiteral("u_login_ok"), {}), 0, QStringLiteral("127.0.0.1")));
    EXPECT_EQ(s.userId, QStringLiteral("0"));
    EXPECT_EQ(s.profile[kProfileNickname], QStringLiteral("kept"));
    EXPECT_EQ(s.firstDetectionServer, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(s.secondDetectionServer, QStringLiteral("127.0.0.2"));
}

TEST(LoginReplyTest, ShortOrUnknownRepliesChangeNothing)
{
    struct Case {
        const char *name;
        QStringList fields;
        LoginReply::Outcome outcome;
    } cases[] = {
        {"ok too short", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("u_login_ok"), QStringLiteral("1")},
         LoginReply::Outcome::Malformed},
        {"must update without target", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("u_must_update")},
         LoginReply::Outcome::Malformed},
        {"password", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("pass_word error")},
         LoginReply::Outcome::PasswordError},
        {"e-mail", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("e_mail error")}, LoginReply::Outcome::EmailError},
        {"id", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("id error")}, LoginReply::Outcome::IdError},
        {"other", {QStringLiteral("s_u_login_reply0.5"), QStringLiteral("what")}, LoginReply::Outcome::Unknown},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parseLoginReply({c.fields}).outcome, c.outcome) << c.name;
    ClientState s = makeState();
    s.loginState = kLoginUser;
    s.userId = QStringLiteral("9");
    EXPECT_FALSE(applyLoginOk(s, {cases[0].fields}, 0, QStringLiteral("x")));
    EXPECT_EQ(s.userId, QStringLiteral("9"));
}

TEST(LoginReplyTest, ErrorsNameWordMessageAndBox)
{
    const auto p = loginError(LoginReply::Outcome::PasswordError);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->word, QStringLiteral("password"));
    EXPECT_EQ(p->refusal.message, q("您输入的密码错误!"));
    EXPECT_EQ(p->refusal.field, QStringLiteral("Edit1"));
    const auto e = loginError(LoginReply::Outcome::EmailError);
    EXPECT_EQ(e->refusal.message, q("没有使用此E-mail的用户!"));
    EXPECT_EQ(e->refusal.field, QStringLiteral("ComboBox2"));
    const auto i = loginError(LoginReply::Outcome::IdError);
    EXPECT_EQ(i->refusal.message, q("没有此ID的用户!"));
    EXPECT_EQ(i->refusal.field, QStringLiteral("ComboBox1"));
    EXPECT_FALSE(loginError(LoginReply::Outcome::Ok));
}

// --- remembered accounts and automatic login ---------------------------------------

TEST(RememberedAccountsTest, EachEntryOnceInFirstUseOrder)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("inforuserm.ls"));
    EXPECT_TRUE(remember(path, QStringLiteral("a@x.cn"), false));
    EXPECT_TRUE(remember(path, QStringLiteral("b@x.cn"), false));
    EXPECT_TRUE(remember(path, QStringLiteral("a@x.cn"), false));
    EXPECT_EQ(loadRemembered(path), (QStringList{QStringLiteral("a@x.cn"), QStringLiteral("b@x.cn")}));
    EXPECT_EQ(box.readFile(QStringLiteral("inforuserm.ls")), QByteArray("a@x.cn\r\nb@x.cn\r\n"));
}

TEST(RememberedAccountsTest, GuestCreatesTheIdFileWithOneEmptyLineButNeverAppendsIt)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("inforuserd.ls"));
    EXPECT_TRUE(remember(path, QString(), true));
    EXPECT_EQ(box.readFile(QStringLiteral("inforuserd.ls")), QByteArray("\r\n"));
    EXPECT_TRUE(remember(path, QStringLiteral("10001"), true));
    EXPECT_TRUE(remember(path, QString(), true));
    EXPECT_EQ(box.readFile(QStringLiteral("inforuserd.ls")), QByteArray("\r\n10001\r\n"));
}

TEST(AutoLoginLinesTest, WritesLinesZeroToThreeEncodedAndKeepsTheRest)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("syslofile.ls"));
    SettingsFile start = SettingsFile::defaults(QStringLiteral("/d/"));
    start.lines[kSetMaxDownloads] = QStringLiteral("7");
    ASSERT_TRUE(start.save(path));
    ASSERT_TRUE(writeAutoLogin(path, false, QStringLiteral("a@b.cn"), QStringLiteral("pw")));
    const auto raw = zv::platform::readLines(path);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->size(), 7);
    EXPECT_EQ(raw->at(0), QStringLiteral("true"));
    EXPECT_EQ(raw->at(1), QStringLiteral("EMAIL"));
    EXPECT_NE(raw->at(2), QStringLiteral("a@b.cn"));
    EXPECT_EQ(box.readFile(QStringLiteral("syslofile.ls")).split('\n').at(3).chopped(1), shiftEncode(QStringLiteral("pw")));
    EXPECT_EQ(raw->at(5), QStringLiteral("7"));
    EXPECT_EQ(raw->at(6), QStringLiteral("/d/"));
    const auto back = SettingsFile::load(path);
    EXPECT_EQ(back->lines[kSetAccount], QStringLiteral("a@b.cn"));
    EXPECT_EQ(back->lines[kSetPassword], QStringLiteral("pw"));
}

TEST(AutoLoginLinesTest, PrefillReadsTheFileOrWritesABlankOne)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("syslofile.ls"));
    LoginPrefill missing = loginPrefill(path, QStringLiteral("/home/u/dl/"));
    EXPECT_TRUE(missing.created);
    EXPECT_EQ(missing.maxDownloads, 10);
    EXPECT_EQ(missing.downloadFolder, QStringLiteral("/home/u/dl/"));
    EXPECT_EQ(box.readFile(QStringLiteral("syslofile.ls")), QByteArray("false\r\n\r\n\r\n\r\nfalse\r\n\r\n\r\n"));

    ASSERT_TRUE(writeAutoLogin(path, true, QStringLiteral("10001"), QStringLiteral("pw")));
    const LoginPrefill p = loginPrefill(path, QStringLiteral("/x/"));
    EXPECT_TRUE(p.autoLogin);
    EXPECT_TRUE(p.byId);
    EXPECT_EQ(p.account, QStringLiteral("10001"));
    EXPECT_EQ(p.password, QStringLiteral("pw"));
    EXPECT_EQ(p.maxDownloads, 10);
    EXPECT_EQ(p.downloadFolder, QStringLiteral("/x/"));
}

// --- profile page ---------------------------------------------------------------------

TEST(ProfileCheckTest, RequiredFieldsInOrder)
{
    ProfileForm f;
    auto valid = [&] {
        f = {};
        f.nickname = QStringLiteral("n");
        f.province = q("北京");
        f.city = q("海淀");
        f.subject = q("语文");
    };
    const CheckCase cases[] = {
        {"valid", [] {}, nullptr, nullptr},
        {"nickname", [&] { f.nickname.clear(); f.subject.clear(); }, "Edit9", "昵称为必须有的信息，不能为空!"},
        {"province", [&] { f.province.clear(); f.city.clear(); }, "ComboBox14", "所在地区：省为必须有的信息，不能为空!"},
        {"city", [&] { f.city.clear(); }, "ComboBox15", "所在地区：市为必须有的信息，不能为空!"},
        {"subject", [&] { f.subject.clear(); }, "ComboBox18", "学科为必须有的信息，不能为空!"},
    };
    for (const CheckCase &c : cases) {
        valid();
        c.mutate();
        expectRefusal(checkProfile(f), c);
    }
}

TEST(ProfileChangeTest, NothingChangedSendsNothingAndAChangeSendsTheWholeProfile)
{
    ClientState s = makeState();
    s.userId = QStringLiteral("10001");
    s.profile[kProfileEmail] = QStringLiteral("e@x.cn");
    s.profile[kProfileNickname] = QStringLiteral("nick");
    s.profile[kProfileGender] = q("男");
    s.profile[kProfileBirthYear] = QStringLiteral("1980");
    s.profile[kProfileBirthMonth] = QStringLiteral("1");
    s.profile[kProfileBirthDay] = QStringLiteral("2");
    s.profile[kProfileDescription] = QStringLiteral("x\r\ny");
    ProfileForm f = profileFormFrom(s);
    EXPECT_EQ(f.description, QStringLiteral("x\ny"));
    EXPECT_FALSE(applyProfile(s, f));

    f.telephone = QStringLiteral("555");
    const auto request = applyProfile(s, f);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->size(), 19);
    EXPECT_EQ(request->at(0), QStringLiteral("U_UPDATEUSERDATE0.5"));
    EXPECT_EQ(request->at(1), QStringLiteral("10001"));
    EXPECT_EQ(request->at(2), QStringLiteral("nick"));
    EXPECT_EQ(request->at(4), q("男"));
    EXPECT_EQ(request->at(15), QStringLiteral("555"));
    EXPECT_EQ(request->at(16), QStringLiteral("2"));
    EXPECT_EQ(request->mid(17), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_FALSE(request->contains(QStringLiteral("e@x.cn"))); // the e-mail is never sent
    EXPECT_EQ(s.profile[kProfileTelephone], QStringLiteral("555"));

    f.description = QStringLiteral("only the description");
    const auto second = applyProfile(s, f);
    ASSERT_TRUE(second);
    EXPECT_EQ(s.profile[kProfileDescription], QStringLiteral("only the description"));
}

TEST(ProfileChangeTest, EmptyOrUnlistedGenderShowsFemale)
{
    ClientState s = makeState();
    for (const QString &g : {QString(), QStringLiteral("x"), q("女")}) {
        s.profile[kProfileGender] = g;
        EXPECT_EQ(profileFormFrom(s).gender, q("女"));
    }
    s.profile[kProfileGender] = q("男");
    EXPECT_EQ(profileFormFrom(s).gender, q("男"));
}

TEST(ProfileChangeTest, BirthDatePartsThatAreNotNumbersGetDefaults)
{
    ProfileForm f;
    f.birthYear = QStringLiteral("abc");
    f.birthMonth = QStringLiteral("3");
    f.birthDay = QStringLiteral("");
    fixBirthDate(f);
    EXPECT_EQ(f.birthYear, QStringLiteral("1900"));
    EXPECT_EQ(f.birthMonth, QStringLiteral("3"));
    EXPECT_EQ(f.birthDay, QStringLiteral("1"));
}

// --- password page --------------------------------------------------------------------

TEST(PasswordCheckTest, EveryRuleInOrder)
{
    QString oldPw, newPw, again;
    const QString login = QStringLiteral("old");
    auto valid = [&] {
        oldPw = QStringLiteral("old");
        newPw = QStringLiteral("new");
        again = QStringLiteral("new");
    };
    const CheckCase cases[] = {
        {"valid", [] {}, nullptr, nullptr},
        {"new equal to old is accepted", [&] { newPw = again = QStringLiteral("old"); }, nullptr, nullptr},
        {"old empty", [&] { oldPw.clear(); newPw.clear(); }, "Edit11", "原密码不能为空!"},
        {"new empty", [&] { newPw.clear(); }, "Edit12", "新密码不能为空!"},
        {"repetition empty", [&] { again.clear(); }, "Edit14", "新密码不能为空!"},
        {"old wrong", [&] { oldPw = QStringLiteral("x"); newPw = QStringLiteral("a b"); }, "Edit11", "原密码不正确!"},
        {"new with a space", [&] { newPw = again = QStringLiteral("a b"); }, "Edit12", "新密码不能包含空格(' ')字符!"},
        {"repetition differs", [&] { again = QStringLiteral("other"); }, "Edit14", "两次输入的密码不一致!"},
    };
    for (const CheckCase &c : cases) {
        valid();
        c.mutate();
        expectRefusal(checkPasswordChange(oldPw, newPw, again, login), c);
    }
    EXPECT_EQ(newPasswordRequest(QStringLiteral("7"), QStringLiteral("n")),
              (QStringList{QStringLiteral("U_NEWPASS0.5"), QStringLiteral("7"), QStringLiteral("n")}));
}

// --- usage settings page ----------------------------------------------------------------

TEST(UsageSettingsTest, DownloadLimitIsAnIntegerFrom1To20)
{
    for (const char *bad : {"0", "21", "abc", "", "-3", "1.5", " 5"}) {
        const Check c = checkDownloadLimit(QString::fromLatin1(bad));
        ASSERT_TRUE(c) << bad;
        EXPECT_EQ(c->field, QStringLiteral("ComboBox20"));
        EXPECT_EQ(c->message, q("文件最大下载数目限制必须为大于0,小于等于20的正整数!"));
    }
    for (const char *good : {"1", "10", "20"})
        EXPECT_FALSE(checkDownloadLimit(QString::fromLatin1(good))) << good;
}

TEST(UsageSettingsTest, LinesWithAndWithoutAutomaticLogin)
{
    UsageForm f;
    f.autoLogin = true;
    f.byId = false;
    f.account = QStringLiteral("a@b.cn");
    f.password = QStringLiteral("pw");
    f.autorun = true;
    f.maxDownloads = QStringLiteral("5");
    f.folder = QStringLiteral("/home/u/dl");
    SettingsFile s = usageSettings(f);
    EXPECT_EQ(QStringList(s.lines.begin(), s.lines.end()),
              (QStringList{QStringLiteral("true"), QStringLiteral("EMAIL"), QStringLiteral("a@b.cn"), QStringLiteral("pw"),
                           QStringLiteral("true"), QStringLiteral("5"), QStringLiteral("/home/u/dl/")}));
    f.autoLogin = false;
    f.byId = true;
    f.autorun = false;
    s = usageSettings(f);
    EXPECT_EQ(QStringList(s.lines.begin(), s.lines.end()),
              (QStringList{QStringLiteral("false"), QString(), QString(), QString(), QStringLiteral("false"),
                           QStringLiteral("5"), QStringLiteral("/home/u/dl/")}));
}

TEST(UsageSettingsTest, AutorunWrittenOrDeletedOnlyWhenFlagAndBoxDisagree)
{
    EXPECT_EQ(autorunAction(false, true), AutorunAction::Write);
    EXPECT_EQ(autorunAction(true, false), AutorunAction::Delete);
    EXPECT_EQ(autorunAction(true, true), AutorunAction::None);
    EXPECT_EQ(autorunAction(false, false), AutorunAction::None);
}

// --- file types and feedback ---------------------------------------------------------------

TEST(FileTypeInputTest, LeadingDotsGoCaseStays)
{
    EXPECT_EQ(fileTypeFromInput(QStringLiteral("..DOCX")), QStringLiteral("DOCX"));
    EXPECT_EQ(fileTypeFromInput(QStringLiteral(".tar.gz")), QStringLiteral("tar.gz"));
    EXPECT_EQ(fileTypeFromInput(QStringLiteral("...")), QString());
    EXPECT_EQ(fileTypeFromInput(QString()), QString());
}

TEST(FeedbackCheckTest, TextBeforeCategory)
{
    QString text, category;
    const CheckCase cases[] = {
        {"valid", [&] { text = QStringLiteral("t"); category = q("其他"); }, nullptr, nullptr},
        {"text empty, category looked at later", [&] { text.clear(); category.clear(); }, "Memo1", "请输入反馈内容。",
         Refusal::Kind::Plain},
        {"category empty", [&] { text = QStringLiteral("t"); category.clear(); }, "ComboBox1", "请选择\"反馈类别\"。",
         Refusal::Kind::Plain},
    };
    for (const CheckCase &c : cases) {
        c.mutate();
        expectRefusal(checkFeedback(text, category), c);
    }
    EXPECT_EQ(feedbackRequest(q("其他"), QStringLiteral("a\nb")),
              (QStringList{QStringLiteral("U_FEEDBACK0.5"), q("其他"), QStringLiteral("2"), QStringLiteral("a"),
                           QStringLiteral("b")}));
    EXPECT_EQ(feedbackCategories().size(), 6);
    EXPECT_TRUE(feedbackCategories().last().isEmpty());
}

// --- region list -------------------------------------------------------------------------

TEST(RegionListTest, CitiesOfOneProvinceStopAtTheEndOfItsRun)
{
    const QStringList lines{q("北京 东城区"), q("北京 海淀 区"), q("天津 和平区"), q("北京 朝阳区"), q("上海")};
    EXPECT_EQ(citiesOf(lines, q("北京")), (QStringList{q("东城区"), q("海淀 区")}));
    EXPECT_EQ(citiesOf(lines, q("天津")), QStringList{q("和平区")});
    EXPECT_TRUE(citiesOf(lines, q("上海")).isEmpty());
    EXPECT_TRUE(citiesOf(lines, QString()).isEmpty());
    EXPECT_TRUE(citiesOf(QStringLiteral("/nonexistent/quyu.obj"), q("北京")).isEmpty());
    EXPECT_EQ(provinceList().size(), 34);
    EXPECT_EQ(subjectList().size(), 17);
}
