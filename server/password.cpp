#include "server/password.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace zv::server {

static QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations, 32);
}

QString hashPassword(const QString &password, int iterations)
{
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(salt.data()),
                                         reinterpret_cast<quint32 *>(salt.data() + salt.size()));
    const QByteArray hash = derive(password, salt, iterations);
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(hash.toBase64()));
}

bool verifyPassword(const QString &password, const QString &stored)
{
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != u"pbkdf2-sha256")
        return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    if (!ok || iterations < 1 || iterations > 10'000'000)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
    const QByteArray expected = QByteArray::fromBase64(parts[3].toLatin1());
    const QByteArray got = derive(password, salt, iterations);
    if (got.size() != expected.size() || expected.isEmpty())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < got.size(); ++i)
        diff |= static_cast<unsigned char>(got[i] ^ expected[i]);
    return diff == 0;
}

} // namespace zv::server
