#include "audit/AuditIssues.h"

#include "audit/PageFacts.h"

#include <QHash>
#include <QMap>

#include <algorithm>

namespace lb::audit {

namespace {

bool broken(const AuditPage& p) {
    return p.status == 0 || p.status >= 400;
}

bool redirected(const AuditPage& p) {
    return p.status >= 300 && p.status < 400;
}

void duplicates(const AuditCrawl& crawl, const QString& code, bool useTitle,
                QList<AuditIssue>& out) {
    QHash<QString, QStringList> groups;
    for (const AuditPage& p : crawl.pages) {
        if (!p.html)
            continue;
        const QString& text = useTitle ? p.title : p.description;
        if (!text.isEmpty())
            groups[text].append(p.url);
    }
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        QStringList& urls = it.value();
        if (urls.size() < 2)
            continue;
        std::sort(urls.begin(), urls.end(),
                  [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
        for (qsizetype i = 1; i < urls.size(); ++i)
            out.append({code, urls.at(i), urls.first()});
    }
}

} // namespace

void sortIssues(QList<AuditIssue>& issues) {
    // UTF-8 bytes sort in code-point order, UTF-16 units do not.
    std::sort(issues.begin(), issues.end(), [](const AuditIssue& a, const AuditIssue& b) {
        const QByteArray ac = a.code.toUtf8(), bc = b.code.toUtf8();
        if (ac != bc)
            return ac < bc;
        const QByteArray au = a.url.toUtf8(), bu = b.url.toUtf8();
        if (au != bu)
            return au < bu;
        return a.detail.toUtf8() < b.detail.toUtf8();
    });
}

int countBrokenUrls(const QList<AuditIssue>& issues) {
    QSet<QString> urls;
    for (const AuditIssue& i : issues)
        if (i.code == QLatin1String("broken-link"))
            urls.insert(i.url);
    return int(urls.size());
}

QList<AuditIssue> findIssues(const AuditCrawl& crawl) {
    QList<AuditIssue> out;
    QHash<QString, int> nodeOf;
    for (int i = 0; i < crawl.nodes.size(); ++i)
        nodeOf.insert(crawl.nodes.at(i).url, i);
    const QSet<QString> inSitemap(crawl.sitemapUrls.begin(), crawl.sitemapUrls.end());

    for (const AuditNode& node : crawl.nodes) {
        if (node.blocked) {
            out.append({QStringLiteral("blocked-by-robots"), node.url, QString()});
            continue;
        }
        if (node.page < 0)
            continue;
        const AuditPage& page = crawl.pages.at(node.page);
        if (broken(page)) {
            for (int from : node.from)
                out.append({QStringLiteral("broken-link"), node.url, crawl.nodes.at(from).url});
        }
        if (redirected(page) && node.linked) {
            // Follow the hops recorded; the chain ends where no 3xx page goes on.
            QSet<QString> seen{node.url};
            QString last = node.url;
            int hops = 0;
            bool loop = false;
            const AuditPage* at = &page;
            while (at && redirected(*at) && !at->location.isEmpty()) {
                ++hops;
                last = at->location;
                if (seen.contains(last)) {
                    loop = true;
                    break;
                }
                seen.insert(last);
                const auto next = nodeOf.constFind(last);
                at = (next == nodeOf.cend() || crawl.nodes.at(*next).page < 0)
                         ? nullptr
                         : &crawl.pages.at(crawl.nodes.at(*next).page);
            }
            if (loop)
                out.append({QStringLiteral("redirect-loop"), node.url, QString()});
            else if (hops == 1)
                out.append({QStringLiteral("redirect"), node.url, last});
            else if (hops > 1)
                out.append({QStringLiteral("redirect-chain"), node.url, last});
        }
        if (page.status == 200 && crawl.sitemapExists && !inSitemap.contains(node.url))
            out.append({QStringLiteral("not-in-sitemap"), node.url, QString()});
        if (page.status != 0 && page.ms > kSlowMs)
            out.append({QStringLiteral("slow"), node.url, QString::number(page.ms)});
        if (!page.html)
            continue;
        if (page.title.isEmpty())
            out.append({QStringLiteral("missing-title"), node.url, QString()});
        else if (characterCount(page.title) > kTitleMaxLength)
            out.append({QStringLiteral("title-too-long"), node.url, QString()});
        if (page.description.isEmpty())
            out.append({QStringLiteral("missing-description"), node.url, QString()});
        else if (characterCount(page.description) > kDescriptionMaxLength)
            out.append({QStringLiteral("description-too-long"), node.url, QString()});
        if (page.h1Count == 0)
            out.append({QStringLiteral("missing-h1"), node.url, QString()});
        else if (page.h1Count > 1)
            out.append({QStringLiteral("multiple-h1"), node.url, QString()});
        if (page.noindex)
            out.append({QStringLiteral("noindex"), node.url, QString()});
        if (!page.canonical.isEmpty() && page.canonical != node.url)
            out.append({QStringLiteral("canonical-elsewhere"), node.url, QString()});
        if (page.imagesWithoutAlt > 0)
            out.append({QStringLiteral("image-missing-alt"), node.url, QString()});
    }
    duplicates(crawl, QStringLiteral("duplicate-title"), true, out);
    duplicates(crawl, QStringLiteral("duplicate-description"), false, out);
    if (crawl.sitemapExists) {
        for (const QString& url : crawl.sitemapUrls)
            if (!nodeOf.contains(url) && url != crawl.start)
                out.append({QStringLiteral("orphan"), url, QString()});
    }
    sortIssues(out);
    // A sitemap may list an address twice.
    out.erase(std::unique(out.begin(), out.end(),
                          [](const AuditIssue& a, const AuditIssue& b) {
                              return a.code == b.code && a.url == b.url && a.detail == b.detail;
                          }),
              out.end());
    return out;
}

} // namespace lb::audit
