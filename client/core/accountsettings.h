#pragma once
// What the settings pages and the feedback dialog check, send and write,
// apart from their windows. Every check stops at the first failing rule and
// names the component to focus.
#include "client/core/clientstate.h"
#include "client/core/settingsfiles.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zv::client {

// A refused input: the message, the component to focus (its object name) and
// whether the message is a warning box with the caption "提示" or a plain one.
struct Refusal {
    enum class Kind { Warning, Plain };
    QString field;
    QString message;
    Kind kind = Kind::Warning;
    bool operator==(const Refusal &) const = default;
};
using Check = std::optional<Refusal>;

// Whether text is a decimal integer (optional sign, digits only, 32 bits).
bool isDecimalInteger(const QString &text);
// text when it is a decimal integer, else fallback (birth year "1900", month and day "1").
QString decimalOr(const QString &text, const QString &fallback);

// The lines of a multi-line text box: none when it is empty.
QStringList memoLines(const QString &text);

// --- profile page ------------------------------------------------------------

// The profile page's controls, by the profile fields they show.
struct ProfileForm {
    QString userId;      // Edit4
    QString email;       // Edit8
    QString nickname;    // Edit9
    QString province;    // ComboBox14
    QString city;        // ComboBox15
    QString district;    // ComboBox16
    QString school;      // Edit10
    QString subject;     // ComboBox18
    QString duty;        // ComboBox19
    QString fullName;    // Edit5
    QString gender;      // ComboBox17
    QString idCard;      // Edit7
    QString birthYear;   // ComboBox2
    QString birthMonth;  // ComboBox12
    QString birthDay;    // ComboBox13
    QString telephone;   // Edit13
    QString description; // Memo2, lines joined with "\n"
};

// The form as the stored profile fills it ("男" stays, anything else shows "女").
ProfileForm profileFormFrom(const ClientState &state);

// Nickname, province, city and subject are required.
Check checkProfile(const ProfileForm &form);

// Replaces a birth date part that is not a decimal integer ("1900", "1", "1").
void fixBirthDate(ProfileForm &form);

// Copies a changed form into the stored profile. Returns the
// "U_UPDATEUSERDATE0.5" request when anything changed, else nothing.
std::optional<QStringList> applyProfile(ClientState &state, const ProfileForm &form);

// --- password page -----------------------------------------------------------

Check checkPasswordChange(const QString &oldPassword, const QString &newPassword, const QString &repetition,
                          const QString &loginPassword);
QStringList newPasswordRequest(const QString &userId, const QString &newPassword);

// --- usage settings page -----------------------------------------------------

struct UsageForm {
    bool autoLogin = false; // CheckBox2
    bool byId = true;       // RadioButton1 (else RadioButton2)
    QString account;        // Edit15
    QString password;       // Edit16
    bool autorun = false;   // CheckBox3
    QString maxDownloads;   // ComboBox20
    QString folder;         // Edit17
};

// The download limit must be a decimal integer from 1 to 20.
Check checkDownloadLimit(const QString &text);

// The seven settings lines "应用" writes (lines 2 and 3 in plain text; the
// settings file encodes them). The folder gets its trailing "/".
SettingsFile usageSettings(const UsageForm &form);

// What "应用" does about starting with the desktop session.
enum class AutorunAction { None, Write, Delete };
AutorunAction autorunAction(bool autorunFlag, bool ticked);

// --- file type page ----------------------------------------------------------

// The typed extension without its leading dots, as typed otherwise.
QString fileTypeFromInput(const QString &typed);

// --- feedback dialog ---------------------------------------------------------

inline const QStringList &feedbackCategories()
{
    static const QStringList list{QStringLiteral("发表意见"), QStringLiteral("提出建议"), QStringLiteral("希望合作"),
                                  QStringLiteral("举报不良信息"), QStringLiteral("其他"), QString()};
    return list;
}
Check checkFeedback(const QString &text, const QString &category);
QStringList feedbackRequest(const QString &category, const QString &text);

} // namespace zv::client
