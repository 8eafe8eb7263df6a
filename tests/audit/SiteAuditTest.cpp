// The audit crawl against real servers on 127.0.0.1: the demo site plants
// one fault of each kind, small scripted servers the rest.
#include "audit/SiteAudit.h"
#include "audit/AuditReport.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

using namespace lb::audit;
using lb::test::RawServer;
using lb::test::TargetSim;

namespace {

// Runs one audit to its end (bounded) in a folder of its own.
struct AuditRun {
    QTemporaryDir dir;
    SiteAudit audit;
    bool ended = false;
    QStringList lines;

    explicit AuditRun(AuditOptions options) {
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QObject::connect(&audit, &SiteAudit::finished, [this] { ended = true; });
        if (audit.start(options))
            lb::test::runUntil([this] { return ended; }, 60000);
        QDir::setCurrent(old);
        if (ended && audit.error().isEmpty())
            lines = auditResultLines(audit.crawl(), audit.result());
    }
};

AuditOptions options(const QString& url, int maxPages = 10000) {
    AuditOptions o;
    o.url = url;
    o.maxPages = maxPages;
    o.timeoutSeconds = 10;
    return o;
}

} // namespace

TEST(SiteAudit, TheDemoSiteShowsEachIssueOnce) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    AuditRun run(options(sim.url("/audit/")));
    ASSERT_TRUE(run.ended);
    ASSERT_EQ(run.audit.error(), QString());
    const QString o = sim.url(QString());
    // The slow page's time varies; it is checked on its own.
    QString slow;
    QStringList lines;
    for (const QString& line : run.lines) {
        if (line.startsWith(QLatin1String("slow ")))
            slow = line;
        else
            lines.append(line);
    }
    QStringList expected{
        "blocked-by-robots " + o + "/audit/private/secret.html",
        "broken-link " + o + "/audit/missing.html " + o + "/audit/",
        "canonical-elsewhere " + o + "/audit/canonical.html",
        "description-too-long " + o + "/audit/long-description.html",
        "duplicate-description " + o + "/audit/twin-2.html " + o + "/audit/twin-1.html",
        "duplicate-title " + o + "/audit/twin-2.html " + o + "/audit/twin-1.html",
        "image-missing-alt " + o + "/audit/images.html",
        "missing-description " + o + "/audit/no-description.html",
        "missing-h1 " + o + "/audit/no-h1.html",
        "missing-title " + o + "/audit/untitled.html",
        "multiple-h1 " + o + "/audit/two-h1.html",
        "noindex " + o + "/audit/noindex.html",
        "not-in-sitemap " + o + "/audit/extra.html",
        "orphan " + o + "/audit/orphan.html",
        "redirect " + o + "/audit/moved " + o + "/audit/about.html",
        "redirect-chain " + o + "/audit/chain " + o + "/audit/about.html",
        "redirect-loop " + o + "/audit/loop-a",
        "title-too-long " + o + "/audit/long-title.html",
    };
    // The demo's robots.txt keeps two crawlers out.
    for (const QString& name : knownCrawlers())
        expected.append("robots: " + name +
                        (name == "GPTBot" || name == "CCBot" ? " blocked" : " allowed"));
    // every page linked or redirected to; robots.txt and the sitemaps are not pages
    expected.append("audit: 22 pages, 19 issues, 1 broken links");
    EXPECT_EQ(lines, expected);
    const QString slowPrefix = "slow " + o + "/delay/2100/audit/slow.html ";
    ASSERT_TRUE(slow.startsWith(slowPrefix)) << slow.toStdString();
    EXPECT_GE(slow.mid(slowPrefix.size()).toInt(), 2100);

    // The facts behind them: depth and links counted.
    QHash<QString, AuditPage> pages;
    for (const AuditPage& p : run.audit.pages())
        pages.insert(p.url, p);
    EXPECT_EQ(pages.value(o + "/audit/").depth, 0);
    EXPECT_EQ(pages.value(o + "/audit/about.html").depth, 1);
    EXPECT_EQ(pages.value(o + "/audit/").externalLinks, 1);
    EXPECT_EQ(pages.value(o + "/audit/").internalLinks, 20);
    // robots.txt first, then no address twice
    const QList<QJsonObject> requests = sim.requests();
    ASSERT_FALSE(requests.isEmpty());
    EXPECT_EQ(requests.first().value("target").toString(), QStringLiteral("/robots.txt"));
    QSet<QString> targets;
    for (const QJsonObject& r : requests) {
        EXPECT_FALSE(targets.contains(r.value("target").toString()));
        targets.insert(r.value("target").toString());
    }
    EXPECT_FALSE(targets.contains(QStringLiteral("/audit/private/secret.html")));
    EXPECT_FALSE(targets.contains(QStringLiteral("/audit/orphan.html")));
}

// (Ignoring robots.txt is shown by the command line's table.)
TEST(SiteAudit, AGeneratedSiteOf50PagesStopsExactlyAtTheLimit) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    AuditRun limited(options(sim.url("/site/gen/50/"), 20));
    ASSERT_TRUE(limited.ended);
    EXPECT_EQ(limited.audit.pages().size(), 20);
}

// Through a proxy, from a site with no robots.txt and no sitemap (nothing
// about sitemaps), to a page that never answers: a broken link.
TEST(SiteAudit, ThroughAProxyAPageThatNeverAnswersIsABrokenLink) {
    RawServer proxy;
    proxy.addAnswer("HTTP/1.0 404 Not Found\r\n\r\n"); // robots.txt
    proxy.addAnswer("HTTP/1.0 404 Not Found\r\n\r\n"); // sitemap.xml
    proxy.addAnswer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<title>Home</title>"
                    "<meta name=description content=Home><h1>Home</h1><a href=/hang>h</a>");
    proxy.addScript({{RawServer::Step::HoldUntilClosed, {}, 0}});
    AuditOptions o = options(QStringLiteral("http://site.invalid/"));
    o.inFlight = 1;
    o.timeoutSeconds = 1;
    o.proxyHost = QStringLiteral("127.0.0.1");
    o.proxyPort = QString::number(proxy.port());
    AuditRun run(o);
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(proxy.request(0).startsWith("GET http://site.invalid/robots.txt HTTP/1."));
    ASSERT_FALSE(run.lines.isEmpty());
    EXPECT_EQ(run.lines.first(), "broken-link http://site.invalid/hang http://site.invalid/");
    EXPECT_EQ(run.lines.value(1), QStringLiteral("robots: Googlebot allowed"));
    EXPECT_EQ(run.lines.last(), QStringLiteral("audit: 2 pages, 1 issues, 1 broken links"));
}

// (A host gone ends the audit with an error: the command line's table.)
TEST(SiteAudit, RobotsTxtFailingForbidsEveryPage) {
    RawServer failing;
    failing.addAnswer("HTTP/1.0 503 Service Unavailable\r\n\r\n");
    AuditRun forbidden(options(failing.url("/start")));
    ASSERT_TRUE(forbidden.ended);
    EXPECT_EQ(forbidden.audit.error(), QString());
    QStringList expected{"blocked-by-robots " + failing.url("/start")};
    for (const QString& name : knownCrawlers())
        expected.append("robots: " + name + " blocked");
    expected.append(QStringLiteral("audit: 0 pages, 1 issues, 0 broken links"));
    EXPECT_EQ(forbidden.lines, expected);
}
