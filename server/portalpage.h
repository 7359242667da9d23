#pragma once
// The search portal's page, rendered apart from the HTTP server.
#include "server/serverstore.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace zv::server {

struct PortalStats {
    int resources = 0;     // indexed entries
    int onlineNodes = 0;
    int users = 0;
};

QString htmlEscape(const QString &text);
QString formatSize(qint64 bytes);
// The whole page (UTF-8): search box, and the hits when a query was given.
QByteArray renderPortalPage(const QString &query, const QList<PortalHit> &hits, const PortalStats &stats, bool searched);

} // namespace zv::server
