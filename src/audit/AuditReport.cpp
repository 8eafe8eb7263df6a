#include "audit/AuditReport.h"

#include "audit/AuditUrl.h"
#include "audit/PageFacts.h"
#include "audit/SiteAudit.h"
#include "common/FileError.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

namespace lb::audit {

namespace {

QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char(',')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString yesNo(bool v) {
    return v ? QStringLiteral("yes") : QStringLiteral("no");
}

QString html(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

QByteArray auditCsv(const AuditCrawl& crawl) {
    static const char* const columns[] = {"URL",
                                          "Status",
                                          "Failure",
                                          "Final URL",
                                          "Response ms",
                                          "Bytes",
                                          "Content type",
                                          "Depth",
                                          "Title",
                                          "Title length",
                                          "Description",
                                          "Description length",
                                          "H1 count",
                                          "Canonical",
                                          "Meta robots",
                                          "X-Robots-Tag",
                                          "Noindex",
                                          "Nofollow",
                                          "Lang",
                                          "Images without alt",
                                          "Internal links",
                                          "External links"};
    QString out;
    QStringList header;
    for (const char* c : columns)
        header.append(QString::fromLatin1(c));
    out += header.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const AuditPage& p : crawl.pages) {
        const QStringList row{p.url,
                              p.status ? QString::number(p.status) : QString(),
                              p.failure,
                              p.location,
                              QString::number(p.ms),
                              QString::number(p.bytes),
                              p.contentType,
                              QString::number(p.depth),
                              p.title,
                              p.html ? QString::number(characterCount(p.title)) : QString(),
                              p.description,
                              p.html ? QString::number(characterCount(p.description)) : QString(),
                              p.html ? QString::number(p.h1Count) : QString(),
                              p.canonical,
                              p.metaRobots,
                              p.robotsTag,
                              yesNo(p.noindex),
                              yesNo(p.nofollow),
                              p.lang,
                              QString::number(p.imagesWithoutAlt),
                              QString::number(p.internalLinks),
                              QString::number(p.externalLinks)};
        QStringList fields;
        for (const QString& f : row)
            fields.append(csvField(f));
        out += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QByteArray auditHtml(const AuditCrawl& crawl, const AuditResult& result) {
    QString out;
    out += QLatin1String(
               "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Site audit of ") +
           html(crawl.start) +
           QLatin1String("</title>\n<style>body{font-family:sans-serif}"
                         "table{border-collapse:collapse}td,th{border:1px solid "
                         "#ccc;padding:2px 6px;text-align:left}</style>\n"
                         "</head><body>\n<h1>Site audit of ") +
           html(crawl.start) + QLatin1String("</h1>\n");
    out += QStringLiteral("<p>%1 pages, %2 issues, %3 broken links.</p>\n")
               .arg(crawl.pages.size())
               .arg(result.issues.size())
               .arg(result.brokenUrls);
    QMap<QString, QList<const AuditIssue*>> byCode;
    for (const AuditIssue& i : result.issues)
        byCode[i.code].append(&i);
    out += QLatin1String("<h2>Issues</h2>\n<table><tr><th>Issue</th><th>Count</th></tr>\n");
    for (auto it = byCode.cbegin(); it != byCode.cend(); ++it)
        out += QStringLiteral("<tr><td><a href=\"#%1\">%1</a></td><td>%2</td></tr>\n")
                   .arg(html(it.key()))
                   .arg(it.value().size());
    out += QLatin1String("</table>\n");
    for (auto it = byCode.cbegin(); it != byCode.cend(); ++it) {
        out += QStringLiteral("<h3 id=\"%1\">%1</h3>\n<ul>\n").arg(html(it.key()));
        for (const AuditIssue* i : it.value()) {
            out += QLatin1String("<li>") + html(i->url);
            if (!i->detail.isEmpty())
                out += QLatin1String(" &mdash; ") + html(i->detail);
            out += QLatin1String("</li>\n");
        }
        out += QLatin1String("</ul>\n");
    }
    out += QLatin1String("<h2>Who may crawl the site</h2>\n<table>\n");
    for (int i = 0; i < result.crawlerAllowed.size() && i < knownCrawlers().size(); ++i)
        out += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                   .arg(knownCrawlers().at(i), result.crawlerAllowed.at(i)
                                                   ? QStringLiteral("allowed")
                                                   : QStringLiteral("blocked"));
    out += QLatin1String("</table>\n<h2>Pages</h2>\n<table><tr><th>URL</th><th>Status</th>"
                         "<th>ms</th><th>Bytes</th><th>Depth</th><th>Title</th><th>H1</th>"
                         "</tr>\n");
    for (const AuditPage& p : crawl.pages)
        out += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                              "<td>%6</td><td>%7</td></tr>\n")
                   .arg(html(p.url), p.status ? QString::number(p.status) : html(p.failure),
                        QString::number(p.ms), QString::number(p.bytes), QString::number(p.depth),
                        html(p.title), p.html ? QString::number(p.h1Count) : QString());
    out += QLatin1String("</table>\n</body></html>\n");
    return out.toUtf8();
}

QString auditReportPath(const QString& appDir, const QString& startUrl, const QString& extension) {
    QString host = QString::fromLatin1(parseAuditUrl(startUrl).host);
    // An IPv6 address keeps its digits; characters a file name cannot hold go.
    host.remove(QLatin1Char('['))
        .remove(QLatin1Char(']'))
        .replace(QLatin1Char(':'), QLatin1Char('-'));
    host.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (host.isEmpty() || host == QLatin1String(".") || host == QLatin1String(".."))
        host = QStringLiteral("site");
    return QDir(appDir).filePath(QStringLiteral("reports/audit-") + host + extension);
}

void writeAuditFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw FileError(QStringLiteral("Unable to write to ") + path);
}

QStringList auditResultLines(const AuditCrawl& crawl, const AuditResult& result) {
    QStringList lines;
    for (const AuditIssue& i : result.issues)
        lines.append(i.detail.isEmpty()
                         ? i.code + QLatin1Char(' ') + i.url
                         : i.code + QLatin1Char(' ') + i.url + QLatin1Char(' ') + i.detail);
    for (int i = 0; i < result.crawlerAllowed.size() && i < knownCrawlers().size(); ++i)
        lines.append(QStringLiteral("robots: ") + knownCrawlers().at(i) +
                     (result.crawlerAllowed.at(i) ? QStringLiteral(" allowed")
                                                  : QStringLiteral(" blocked")));
    lines.append(QStringLiteral("audit: %1 pages, %2 issues, %3 broken links")
                     .arg(crawl.pages.size())
                     .arg(result.issues.size())
                     .arg(result.brokenUrls));
    return lines;
}

} // namespace lb::audit
