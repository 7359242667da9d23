#pragma once
// The login dialog's checks and request, the login reply, the remembered
// accounts and the automatic-login lines of the settings file, apart from
// the windows.
#include "client/core/accountsettings.h"
#include "client/core/clientstate.h"
#include "common/framing.h"

#include <QString>
#include <QStringList>

namespace zv::client {

// The login dialog's results.
inline const QString kLoginOk = QStringLiteral("login_ok");
inline const QString kLoginQuit = QStringLiteral("退出");
inline const QString kLoginShutdown = QStringLiteral("完全关闭");

// Steps 1 and 2 of "登录": the box of the chosen kind and the password are
// required; an ID must be a decimal integer other than "0".
Check checkLoginInput(bool byId, const QString &id, const QString &email, const QString &password);

// "U_LOGIN0.3" for an ID or an e-mail login (the kind "EMAIL" travels as "E_MAIL").
QStringList loginRequest(bool byId, const QString &account, const QString &password);
QStringList guestLoginRequest();

struct LoginReply {
    enum class Outcome { Ok, UpdateOk, MustUpdate, PasswordError, EmailError, IdError, Malformed, Unknown };
    Outcome outcome = Outcome::Unknown;
    QString target; // the update target of the two update outcomes
};
LoginReply parseLoginReply(const Message &message);

// A successful login reply, read with the fields shift lines later (1 for
// "u_update_login_ok"): user ID "0", then for a registered user the ID, the
// profile and the description; both detection servers. False, with nothing
// changed, when the reply lacks a line it needs.
bool applyLoginOk(ClientState &state, const Message &message, int shift, const QString &remoteAddress);

// The error word and message of a rejected login, and the component to focus.
struct LoginError {
    QString word;    // "password", "e-mail", "id"
    Refusal refusal; // message and the box to focus
};
std::optional<LoginError> loginError(LoginReply::Outcome outcome);

// inforuserm.ls / inforuserd.ls: the remembered entries, in order.
QStringList loadRemembered(const QString &path);
// Appends value unless it is listed. allowEmpty: an empty value is written
// only when the file is created (the ID list, for a guest's first login).
bool remember(const QString &path, const QString &value, bool allowEmpty);

// The settings file after a login with "自动登录" ticked: lines 0 to 3
// replaced, the rest kept (a missing file starts as seven blank lines).
bool writeAutoLogin(const QString &settingsPath, bool byId, const QString &account, const QString &password);

// What the login dialog flow reads from the settings file before it shows
// the dialog.
struct LoginPrefill {
    bool autoLogin = false;
    bool byId = false;
    QString account;
    QString password;
    int maxDownloads = 10;
    QString downloadFolder;
    bool created = false; // the file was missing and a blank one was written
};
// Loads the settings file (or writes seven blank lines when it is missing).
LoginPrefill loginPrefill(const QString &settingsPath, const QString &defaultFolder);

} // namespace zv::client
