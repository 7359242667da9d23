#include "common/deploy.h"

#include <QFileInfo>
#include <QSettings>

namespace zv {

// The text of a value, without a trailing "; comment" that an operator may
// have written on the same line.
static QString rawValue(const QSettings &ini, const QString &key)
{
    const QVariant v = ini.value(key);
    QString text = v.metaType().id() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u';' && text[i - 1].isSpace()) {
            text.truncate(i);
            break;
        }
    }
    return text.trimmed();
}

static quint16 portValue(const QSettings &ini, const QString &key, quint16 fallback)
{
    bool ok = false;
    const int v = rawValue(ini, key).toInt(&ok);
    return ok && v > 0 && v <= 65535 ? static_cast<quint16>(v) : fallback;
}

static QString textValue(const QSettings &ini, const QString &key, const QString &fallback)
{
    const QString v = rawValue(ini, key);
    return v.isEmpty() ? fallback : v;
}

DeployConfig DeployConfig::load(const QString &iniPath)
{
    DeployConfig config;
    if (!QFileInfo::exists(iniPath))
        return config;
    QSettings ini(iniPath, QSettings::IniFormat);
    config.serverAddress = textValue(ini, QStringLiteral("server/address"), config.serverAddress);
    config.serverHost = textValue(ini, QStringLiteral("server/host"), config.serverHost);
    config.tcpPort = portValue(ini, QStringLiteral("server/tcp_port"), config.tcpPort);
    config.udpPort = portValue(ini, QStringLiteral("server/udp_port"), config.udpPort);
    config.portalUrl = textValue(ini, QStringLiteral("portal/url"), config.portalUrl);
    QStringList parts = rawValue(ini, QStringLiteral("network/local_addresses")).split(u',');
    for (auto &p : parts) {
        p = p.trimmed();
        if (!p.isEmpty())
            config.localAddresses.append(p);
    }
    return config;
}

bool DeployConfig::save(const QString &iniPath) const
{
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.setValue(QStringLiteral("server/address"), serverAddress);
    ini.setValue(QStringLiteral("server/host"), serverHost);
    ini.setValue(QStringLiteral("server/tcp_port"), tcpPort);
    ini.setValue(QStringLiteral("server/udp_port"), udpPort);
    ini.setValue(QStringLiteral("portal/url"), portalUrl);
    ini.setValue(QStringLiteral("network/local_addresses"), localAddresses.join(u','));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

} // namespace zv
