#pragma once
// The state the client's parts share: one instance per program, created at
// start-up and handed to every object that needs it.
#include "common/deploy.h"
#include "platform/stopwatch.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>

namespace zv::client {

inline const QString kOnline = QStringLiteral("online");
inline const QString kOffline = QStringLiteral("disonline");
inline const QString kLoginUser = QStringLiteral("用户");
inline const QString kLoginGuest = QStringLiteral("Guest");

// Stopwatch indices of the control channel.
inline constexpr int kSilenceWatch = 501;
inline constexpr int kHeartbeatWatch = 502;

// An address and port handed from the receive path to the code that asked.
struct AddressReply {
    QString address;
    int port = 0;
    bool operator==(const AddressReply &) const = default;
};

// A single-value place written by the receive path (user-interface thread)
// and taken by the code that asked for it, possibly on a download thread.
// A new value replaces one that nobody has taken, so the receive path never
// waits.
template <typename T>
class ReplySlot {
public:
    // Stores value; false when it replaced an earlier value nobody had taken.
    bool store(T value)
    {
        QMutexLocker lock(&mutex_);
        const bool wasEmpty = !value_.has_value();
        value_ = std::move(value);
        return wasEmpty;
    }
    // The value, emptying the slot.
    std::optional<T> take()
    {
        QMutexLocker lock(&mutex_);
        return std::exchange(value_, std::nullopt);
    }
    std::optional<T> peek() const
    {
        QMutexLocker lock(&mutex_);
        return value_;
    }
    bool isEmpty() const
    {
        QMutexLocker lock(&mutex_);
        return !value_.has_value();
    }
    void clear()
    {
        QMutexLocker lock(&mutex_);
        value_.reset();
    }

private:
    mutable QMutex mutex_;
    std::optional<T> value_;
};

// The user profile received at login: e-mail, nickname, full name, identity
// card number, birth year, month and day, gender, province, city, district,
// school name, duty, subject, telephone, account class, personal description.
inline constexpr int kProfileFields = 17;
enum ProfileField {
    kProfileEmail = 0,
    kProfileNickname,
    kProfileFullName,
    kProfileIdCard,
    kProfileBirthYear,
    kProfileBirthMonth,
    kProfileBirthDay,
    kProfileGender,
    kProfileProvince,
    kProfileCity,
    kProfileDistrict,
    kProfileSchool,
    kProfileDuty,
    kProfileSubject,
    kProfileTelephone,
    kProfileAccountClass,
    kProfileDescription,
};

class ClientState {
public:
    // programDirectory carries a trailing "/"; clock drives the stopwatch table
    // (tests pass their own).
    ClientState(const QString &programDirectory, const DeployConfig &deploy,
                platform::StopwatchTable::Clock clock = {});

    QString computerFolder() const { return programDirectory + QStringLiteral("computer/"); }
    QString programFile(const QString &name) const { return programDirectory + name; }
    QString computerFile(const QString &name) const { return computerFolder() + name; }

    // Written only on the user-interface thread.
    QString programDirectory;
    DeployConfig deploy;
    QString connectionState = kOffline;
    // Read by download threads when they send; written on the user-interface thread.
    std::atomic<std::int32_t> connectionKey{-1};
    QString loginState;
    QString loginKind;
    QString loginPassword;
    QString userId = QStringLiteral("0");
    QStringList profile = QStringList(kProfileFields, QString());
    QString serverAddress;
    QString serverHost;
    QString firstDetectionServer;
    QString secondDetectionServer;
    quint16 serverTcpPort = 80;
    quint16 serverUdpPort = 80;
    int natType = -1;
    int chunkSize = 1024;
    int maxDownloads = 10;
    std::atomic<int> runningDownloads{0};
    QString downloadFolder;
    int pageCode = 0;
    QStringList fileTypes;

    ReplySlot<QStringList> searchReply;
    ReplySlot<AddressReply> relayAddress;
    ReplySlot<AddressReply> newPort;
    ReplySlot<AddressReply> binding;

    platform::StopwatchTable stopwatches;
};

} // namespace zv::client
