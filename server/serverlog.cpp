#include "server/serverlog.h"

#include <QDateTime>
#include <cstdio>

namespace zv::server {

static bool g_verbose = false;

void setVerbose(bool on)
{
    g_verbose = on;
}

bool verbose()
{
    return g_verbose;
}

void logLine(const char *area, const QString &text)
{
    const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8() + " [" + area + "] "
                            + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void logDetail(const char *area, const QString &text)
{
    if (g_verbose)
        logLine(area, text);
}

} // namespace zv::server
