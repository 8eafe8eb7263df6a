// linkbeacon-cli audit: the site audit without a window. Progress goes to
// standard error; standard output holds only the result, written at the end.
#include "audit/AuditReport.h"
#include "audit/SiteAudit.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"

#include <QDir>
#include <QEventLoop>

#include <climits>
#include <cstdio>
#include <string_view>

namespace lb::cli {

namespace {

// A whole number of at least 1; larger than an int holds is as good as the most.
bool wholeNumber(const QString& text, int& out) {
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    bool ok = false;
    const qulonglong n = text.toULongLong(&ok);
    if (ok && n == 0)
        return false;
    out = (!ok || n > qulonglong(INT_MAX)) ? INT_MAX : int(n);
    return true;
}

} // namespace

int runAudit(const CommandLine& line) {
    audit::AuditOptions options;
    for (const char* name : {"max-pages", "in-flight", "timeout"}) {
        int n = 0;
        for (const QString& value : line.values(name)) {
            if (!wholeNumber(value, n))
                return line.usageError(QStringLiteral("--") + QLatin1String(name) +
                                       QStringLiteral(" needs a whole number of at least 1"));
            if (name == std::string_view("max-pages"))
                options.maxPages = n;
            else if (name == std::string_view("in-flight"))
                options.inFlight = n;
            else
                options.timeoutSeconds = n;
        }
    }
    options.ignoreRobots = line.isSet("ignore-robots");
    const QString csvPath = line.value("csv");
    const QString htmlPath = line.value("html");
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("only one URL"));
    if (line.operands().isEmpty())
        return line.usageError(QStringLiteral(
            "usage: audit [--max-pages N] [--in-flight N] [--timeout SECONDS] [--ignore-robots] "
            "[--csv FILE] [--html FILE] URL"));
    options.url = line.operands().first();
    if (!audit::parseAuditUrl(options.url).isValid())
        return line.usageError(QStringLiteral("not an http or https URL: ") + options.url);

    const QString appDir = QDir::currentPath();
    const ProxySettings proxy = ProxySettings::load(appDir);
    if (proxy.behindProxy) {
        options.proxyHost = proxy.host;
        options.proxyPort = proxy.port;
        options.proxyUser = proxy.userName;
        options.proxyPassword = proxy.password;
    }

    audit::SiteAudit audit;
    QEventLoop loop;
    QObject::connect(&audit, &audit::SiteAudit::finished, &loop, &QEventLoop::quit);
    QByteArray shown;
    QObject::connect(&audit, &audit::SiteAudit::progress, &audit, [&audit, &shown] {
        const QByteArray line = QStringLiteral("\raudit: %1 pages, %2 queued, %3 in flight ")
                                    .arg(audit.pages().size())
                                    .arg(audit.queued())
                                    .arg(audit.inFlight())
                                    .toUtf8();
        if (line == shown)
            return;
        shown = line;
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
    });
    if (!audit.start(options)) {
        std::fprintf(stderr, "linkbeacon-cli audit: %s\n", qPrintable(audit.error()));
        return 1;
    }
    loop.exec();
    std::fprintf(stderr, "\n");
    if (!audit.error().isEmpty()) {
        std::fprintf(stderr, "linkbeacon-cli audit: %s\n", qPrintable(audit.error()));
        return 1;
    }

    const audit::AuditCrawl& crawl = audit.crawl();
    const audit::AuditResult& result = audit.result();
    try {
        audit::writeAuditFile(
            csvPath.isEmpty() ? audit::auditReportPath(appDir, crawl.start, QStringLiteral(".csv"))
                              : QDir::current().absoluteFilePath(csvPath),
            audit::auditCsv(crawl));
        audit::writeAuditFile(
            htmlPath.isEmpty() ? audit::auditReportPath(appDir, crawl.start, QStringLiteral(".htm"))
                               : QDir::current().absoluteFilePath(htmlPath),
            audit::auditHtml(crawl, result));
    } catch (const FileError& e) {
        std::fprintf(stderr, "linkbeacon-cli audit: %s\n", qPrintable(e.message()));
        return 1;
    }
    QByteArray out;
    for (const QString& line : audit::auditResultLines(crawl, result))
        out += line.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace lb::cli
