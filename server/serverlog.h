#pragma once
// One line per event on standard output: UTC time, area, text.
#include <QString>

namespace zv::server {

void setVerbose(bool on);
bool verbose();
void logLine(const char *area, const QString &text);
// Only with --verbose.
void logDetail(const char *area, const QString &text);

} // namespace zv::server
