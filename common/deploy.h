#pragma once
// Deployment values of both programs, read from computer/deploy.ini.
#include <QString>
#include <QStringList>

namespace zv {

struct DeployConfig {
    QString serverAddress = QStringLiteral("127.0.0.1");
    QString serverHost = QStringLiteral("localhost");
    quint16 tcpPort = 80;
    quint16 udpPort = 80;
    QString portalUrl = QStringLiteral("http://127.0.0.1:8080/");
    QStringList localAddresses;

    // Reads the file; a missing file or key keeps the built-in default, and a
    // port that is not a number from 1 to 65535 does too.
    static DeployConfig load(const QString &iniPath);
    // Writes every value (used by the demo and the tests to point a program
    // directory at a server).
    bool save(const QString &iniPath) const;
};

} // namespace zv
