#pragma once
// What a site audit recorded, and the issues judged from it.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace lb::audit {

// One requested address (robots.txt and sitemaps are not pages).
struct AuditPage {
    QString url;
    int status = 0;   // 0: no answer
    QString failure;  // why there was no answer
    QString location; // where a 3xx answer points, resolved
    qint64 ms = 0;    // from the request to the last byte
    qint64 bytes = 0;
    QString contentType;
    int depth = 0;
    bool html = false; // 200 with an HTML type: the content checks apply
    QString title;
    bool hasTitle = false;
    QString description;
    bool hasDescription = false;
    int h1Count = 0;
    QString canonical; // resolved
    QString metaRobots;
    QString robotsTag; // X-Robots-Tag
    bool noindex = false;
    bool nofollow = false;
    QString lang;
    int imagesWithoutAlt = 0;
    int internalLinks = 0;
    int externalLinks = 0;
};

// Every internal address the crawl met.
struct AuditNode {
    QString url;
    int page = -1;        // index into the pages once requested
    bool linked = false;  // by <a href>, rel=canonical, or as the start
    bool blocked = false; // disallowed by robots.txt, so not requested
    bool queued = false;
    QList<int> from; // nodes whose pages link or redirect here, each once
};

struct AuditCrawl {
    QString start;
    QList<AuditNode> nodes;
    QList<AuditPage> pages;
    bool sitemapExists = false;
    QStringList sitemapUrls; // internal addresses listed, normalised
    bool robotsServerError = false;
};

struct AuditIssue {
    QString code;
    QString url;
    QString detail;
};

struct AuditResult {
    QList<AuditIssue> issues;   // in code, URL, detail order
    QList<bool> crawlerAllowed; // one per known crawler
    int brokenUrls = 0;
};

inline constexpr int kTitleMaxLength = 60;
inline constexpr int kDescriptionMaxLength = 160;
inline constexpr qint64 kSlowMs = 2000;

QList<AuditIssue> findIssues(const AuditCrawl& crawl);
// Sorts issue lines by code, URL and detail, each in code-point order.
void sortIssues(QList<AuditIssue>& issues);
// The distinct addresses named by broken-link lines.
int countBrokenUrls(const QList<AuditIssue>& issues);

} // namespace lb::audit
