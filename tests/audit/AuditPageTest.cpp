// Addresses resolved and compared as the audit does, and what it reads from
// a page: texts by their charset, headings, images, links.
#include "audit/AuditIssues.h"
#include "audit/AuditReport.h"
#include "audit/AuditUrl.h"
#include "audit/PageFacts.h"

#include <gtest/gtest.h>

using namespace lb::audit;

TEST(AuditUrl, ReferencesResolveAsRfc3986SaysAndNormaliseOnlyWhatIsAllowed) {
    const AuditUrl base = parseAuditUrl(QStringLiteral("http://a/b/c/d;p?q"));
    struct {
        const char* ref;
        const char* expected; // "" when the reference is not followed
    } const cases[] = {
        // RFC 3986 5.4.1 and 5.4.2
        {"g", "http://a/b/c/g"},
        {"/g", "http://a/g"},
        {"//g", "http://g/"},
        {"#s", "http://a/b/c/d;p?q"},
        {"..", "http://a/b/"},
        {"../../../g", "http://a/g"},
        {"g;x=1/../y", "http://a/b/c/y"},
        // scheme and host lower-cased, default port dropped, path and query kept
        {"HTTP://Example.COM:80/A/b?Q=1", "http://example.com/A/b?Q=1"},
        {"https://h:443", "https://h/"},
        {"https://h:8443/x", "https://h:8443/x"},
        {"http://h:65535/", "http://h:65535/"},
        {"  /spaced path  ", "http://a/spaced%20path"},
        {"/caf\xC3\xA9", "http://a/caf%C3%A9"},
        // not followed
        {"mailto:x@y", ""},
        {"javascript:void(0)", ""},
        {"http://h:65536/", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolveAuditUrl(base, QString::fromUtf8(c.ref)).toString(),
                  QString::fromUtf8(c.expected))
            << c.ref;
    EXPECT_FALSE(parseAuditUrl(QStringLiteral("ftp://h/")).isValid());
    EXPECT_FALSE(parseAuditUrl(QStringLiteral("/relative")).isValid());
    EXPECT_FALSE(parseAuditUrl(QStringLiteral("http:///x")).isValid());
    EXPECT_FALSE(parseAuditUrl(QStringLiteral("http://localhost/"))
                     .sameSite(parseAuditUrl(QStringLiteral("http://127.0.0.1/"))));
    EXPECT_TRUE(parseAuditUrl(QStringLiteral("http://H:80/"))
                    .sameSite(parseAuditUrl(QStringLiteral("http://h/x"))));
}

TEST(PageFacts, TextsAreDecodedCollapsedAndCountedInCharacters) {
    struct {
        QByteArray page, headerCharset;
        const char* title; // UTF-8
    } const cases[] = {
        // clang-format off
        {"<title>Caf\xC3\xA9  &amp;\n Bar</title>", "", "Café & Bar"},
        {"<meta charset=\"ISO-8859-1\"><title>Caf\xE9</title>", "", "Café"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=latin1\">"
         "<title>\x80 5</title>", "", "€ 5"},
        // the header wins over the page
        {"<meta charset=\"iso-8859-1\"><title>Caf\xC3\xA9</title>", "utf-8", "Café"},
        {"<title>&#233;&#xE9;&eacute;&unknown;&lt;b&gt;</title>", "", "ééé&unknown;<b>"},
        {"<TITLE>  A <b>bold</b> one </TITLE>", "", "A <b>bold</b> one"},
        {"<!-- <title>no</title> --><title>yes</title>", "", "yes"},
        {"<script>var t='<title>no</title>'</script><title>yes</title>", "", "yes"},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(readPageFacts(c.page, c.headerCharset).title, QString::fromUtf8(c.title))
            << c.page.constData();
    EXPECT_EQ(characterCount(QStringLiteral(u"a😀é")), 3);
    EXPECT_EQ(charsetOf("text/html; Charset=\"UTF-8\""), "utf-8");
    EXPECT_EQ(charsetOf("text/html"), "");
}

TEST(PageFacts, TagsGiveHeadingsImagesLinksAndRobots) {
    const PageFacts f = readPageFacts(
        "<html lang=\"de\"><head><title></title>"
        "<meta name=\"Description\" content=\" One  &amp; two \">"
        "<meta name=\"description\" content=\"second\">"
        "<meta name=robots content=\"NOINDEX,follow\">"
        "<link rel=\"alternate canonical\" href=\"/main?a=1&amp;b=2\">"
        "<base href=\"/sub/\"></head><body>"
        "<h1>a</h1><H1 class=x>b</H1><h2>c</h2>"
        "<img src=a.gif><img src=b.gif alt=\"\"><IMG SRC=c.gif ALT=c>"
        "<a href=\"x.html\">x</a><a name=top>no link</a><A HREF='y.html?p=1&amp;q=2'>y</A>"
        "<a href = z.html>z</a><area href=\"no.html\"><img src=\"i.png\" alt=i>"
        "</body></html>",
        "");
    EXPECT_TRUE(f.hasTitle);
    EXPECT_EQ(f.title, QString());
    EXPECT_TRUE(f.hasDescription);
    EXPECT_EQ(f.description, QStringLiteral("One & two"));
    EXPECT_EQ(f.h1Count, 2);
    EXPECT_EQ(f.imagesWithoutAlt, 1);
    EXPECT_EQ(f.canonical, QStringLiteral("/main?a=1&b=2"));
    EXPECT_EQ(f.metaRobots, QStringLiteral("NOINDEX,follow"));
    EXPECT_EQ(f.lang, QStringLiteral("de"));
    EXPECT_EQ(f.base, QStringLiteral("/sub/"));
    EXPECT_EQ(f.links, (QStringList{"x.html", "y.html?p=1&q=2", "z.html"}));

    const PageFacts none = readPageFacts("<p>No head at all <a href=\"cut", "");
    EXPECT_FALSE(none.hasTitle);
    EXPECT_FALSE(none.hasDescription);
    EXPECT_TRUE(none.links.isEmpty());
}

// The rules on one page, each limit from both sides.
TEST(AuditIssues, EachPageRuleFromBothSidesOfItsLimit) {
    // Characters, not UTF-16 units, are counted: the emoji is one.
    const QString title60 = QString(59, 'T') + QStringLiteral(u"😀");
    const QString desc160(160, 'd');
    struct {
        const char* what;
        int status;
        QString title, description;
        int h1Count;
        qint64 ms;
        QStringList found; // code and detail of each issue
    } const rows[] = {
        {"at every limit", 200, title60, desc160, 1, 2000, {}},
        {"title one over", 200, title60 + 'T', desc160, 1, 2000, {"title-too-long "}},
        {"description one over", 200, title60, desc160 + 'd', 1, 2000, {"description-too-long "}},
        {"no h1", 200, title60, desc160, 0, 2000, {"missing-h1 "}},
        {"two h1", 200, title60, desc160, 2, 2000, {"multiple-h1 "}},
        {"slow", 200, title60, desc160, 1, 2001, {"slow 2001"}},
        {"empty texts", 200, "", "", 1, 0, {"missing-description ", "missing-title "}},
        {"status 399", 399, "", "", 0, 0, {}},
        {"status 400", 400, "", "", 0, 0, {"broken-link http://h/"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        AuditCrawl crawl;
        crawl.start = QStringLiteral("http://h/");
        AuditPage page;
        page.url = crawl.start;
        page.status = r.status;
        page.html = r.status == 200;
        page.title = r.title;
        page.description = r.description;
        page.h1Count = r.h1Count;
        page.ms = r.ms;
        crawl.pages.append(page);
        crawl.nodes.append({crawl.start, 0, true, false, false, {0}});
        QStringList found;
        for (const AuditIssue& i : findIssues(crawl))
            found << i.code + ' ' + i.detail;
        EXPECT_EQ(found, r.found);
    }
}

TEST(AuditReport, HostileTextIsEscapedInHtmlAndQuotedInCsv) {
    AuditCrawl crawl;
    crawl.start = QStringLiteral("http://h/");
    AuditPage page;
    page.url = QStringLiteral("http://h/<b>");
    page.status = 200;
    page.html = true;
    page.title = QStringLiteral(u"<script>alert(\"x, y\")</script>\r\nCafé");
    crawl.pages.append(page);
    AuditResult result;
    result.issues.append({QStringLiteral("missing-h1"), page.url, QString()});
    const QByteArray html = auditHtml(crawl, result);
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_FALSE(html.contains("<b>"));
    EXPECT_TRUE(html.contains("&lt;script&gt;"));
    const QByteArray csv = auditCsv(crawl);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = csv.split('\n');
    EXPECT_TRUE(lines.at(1).startsWith(
        "http://h/<b>,200,,,0,0,,0,\"<script>alert(\"\"x, y\"\")</script>\r"));
    EXPECT_TRUE(lines.at(2).startsWith("Caf\xC3\xA9\",36,"));
    EXPECT_TRUE(csv.endsWith("\r\n"));
}
