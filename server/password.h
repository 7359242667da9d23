#pragma once
// Passwords are kept as salted PBKDF2-HMAC-SHA256 hashes, never in clear text.
#include <QString>

namespace zv::server {

// "pbkdf2-sha256$<iterations>$<salt, base64>$<hash, base64>" with a fresh
// random salt.
QString hashPassword(const QString &password, int iterations = 20000);
// Compares in constant time.
bool verifyPassword(const QString &password, const QString &stored);

} // namespace zv::server
