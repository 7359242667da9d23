#pragma once
// The registration dialog's checks, its request and its connection, apart
// from the window.
#include "client/core/accountsettings.h"
#include "client/core/clientstate.h"
#include "common/framing.h"

#include <QString>
#include <QStringList>

namespace zv::client {

class ControlChannel;

// The registration dialog's fields, by component.
struct RegistrationForm {
    QString nickname;     // Edit1
    QString password;     // Edit2
    QString confirmation; // Edit3
    QString email;        // Edit4
    QString province;     // ComboBox4
    QString city;         // ComboBox5
    QString district;     // ComboBox6
    QString school;       // Edit10
    QString subject;      // ComboBox7
    QString duty;         // ComboBox8
    QString referrer;     // Edit9
    QString fullName;     // Edit5
    QString gender;       // Edit6
    QString idCard;       // Edit7
    QString birthYear;    // ComboBox1
    QString birthMonth;   // ComboBox2
    QString birthDay;     // ComboBox3
    QString telephone;    // Edit13
    QString description;  // Memo1
};

// The e-mail rule: an "@" and a first "." that comes after the first "@".
bool registrationEmailAcceptable(const QString &email);

// The checks of "提交", in order.
Check checkRegistration(const RegistrationForm &form);

// Birth date parts that are not decimal integers become "1900", "1", "1".
void fixBirthDate(RegistrationForm &form);

QStringList registerRequest(const RegistrationForm &form);

// How long the registration waits for the connection: polls, apart by pollMs.
struct RegistrationTimings {
    int connectPolls = 10;
    int pollMs = 100;
};

// Opens the control connection when it is down: checks connectPolls times,
// pollMs apart (processing events), for the connection, then waits for the
// key as every login does. True when the channel is online with a key.
bool connectForRegistration(ClientState &state, ControlChannel &channel, RegistrationTimings timings = {});

// The registration reply.
struct RegisterReply {
    enum class Outcome { Registered, EmailTaken, Unknown };
    Outcome outcome = Outcome::Unknown;
    QString userId;
    QString secondServer;
};
RegisterReply parseRegisterReply(const Message &message);

} // namespace zv::client
