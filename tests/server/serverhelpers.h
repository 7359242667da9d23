#pragma once
// Small builders shared by the server tests.
#include "tests/support/serverfixture.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace zv::test {

inline QStringList registration(const QString &email, const QString &password, const QStringList &description = {})
{
    QStringList f{QStringLiteral("U_REGISTER0.5"), email, QStringLiteral("小王"), password, QStringLiteral("王老师"),
                  QStringLiteral("110101198001011234"), QStringLiteral("1980"), QStringLiteral("1"), QStringLiteral("1"),
                  QStringLiteral("男"), QStringLiteral("北京"), QStringLiteral("海淀区"), QStringLiteral("中关村"),
                  QStringLiteral("第一中学"), QStringLiteral("教师"), QStringLiteral("数学"), QStringLiteral("010-1234"),
                  QString()};
    f << QString::number(description.size()) << description;
    return f;
}

// One announcement record: 13 fields, the description count and lines, an
// empty line and the score.
inline QStringList record(const QString &name, qint64 size, const QString &code, int state, int score = 4,
                          const QStringList &resume = {}, qint64 userId = 0)
{
    QStringList f{name, QString::number(size), code, QStringLiteral("七年级"), QString::number(userId), QString::number(state),
                  QStringLiteral("试卷"), QStringLiteral("初中"), QStringLiteral("数学"), QStringLiteral("一元一次方程"),
                  QStringLiteral("人民教育出版社"), QStringLiteral("第三章"), QStringLiteral("3.1")};
    f << QString::number(resume.size()) << resume << QString() << QString::number(score);
    return f;
}

inline QStringList batch(qint64 computerId, int mode, const QList<QStringList> &records)
{
    QStringList f{QStringLiteral("C_UPDATE0.5"), QStringLiteral("computer"), QString::number(computerId), QString::number(mode)};
    for (const QStringList &r : records)
        f << r;
    return f;
}

// Registers a user on a fresh connection and returns the new ID (0 on failure).
inline qint64 registerUser(ServerFixture &server, const QString &email, const QString &password)
{
    FrameClient c;
    if (!c.connectTo(server.address(), server.tcpPort()))
        return 0;
    const auto r = c.request(registration(email, password), QStringLiteral("s_u_register_reply0.5"));
    if (!r || r->field(1) != u"u_register_ok")
        return 0;
    return r->field(2).toLongLong();
}

struct NodeLogin {
    qint64 id = 0;
    QString key;
};

// First registration of a computer on c.
inline NodeLogin registerComputer(FrameClient &c)
{
    const auto r = c.request({QStringLiteral("CF_LOGIN0.3"), QStringLiteral("46000!12345!0!0!"), QStringLiteral("127.0.0.1"),
                              QString::number(c.socket().localPort())},
                             QStringLiteral("s_cf_login_reply0.5"));
    if (!r)
        return {};
    return {r->field(1).toLongLong(), r->field(2)};
}

inline std::optional<Message> loginComputer(FrameClient &c, const NodeLogin &n, int timeoutMs = 5000)
{
    return c.request({QStringLiteral("CC_LOGIN0.3"), QString::number(n.id), n.key, QStringLiteral("127.0.0.1"),
                      QString::number(c.socket().localPort())},
                     QStringLiteral("s_cc_login_reply0.5"), timeoutMs);
}

} // namespace zv::test
