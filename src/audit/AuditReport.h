#pragma once
// The audit's reports: an HTML page (issues by code, then every page) and a
// CSV of the pages (UTF-8 with BOM, CR LF, quoted as RFC 4180 says).
#include "audit/AuditIssues.h"

#include <QByteArray>
#include <QString>

namespace lb::audit {

QByteArray auditCsv(const AuditCrawl& crawl);
QByteArray auditHtml(const AuditCrawl& crawl, const AuditResult& result);
// "reports/audit-" + host (without the port) + extension, under appDir.
QString auditReportPath(const QString& appDir, const QString& startUrl, const QString& extension);
// Written atomically; throws FileError "Unable to write to " + path.
void writeAuditFile(const QString& path, const QByteArray& data);
// The lines printed on standard output, each without its line end.
QStringList auditResultLines(const AuditCrawl& crawl, const AuditResult& result);

} // namespace lb::audit
