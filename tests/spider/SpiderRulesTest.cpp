// The spider's text rules: session stems and crawl bases from start URLs,
// session names, link resolution and normalisation, the keyword split, the
// order of "Urls Found"; and the bytes of a crawl's sitemap.
#include "spider/SiteList.h"
#include "spider/Sitemap.h"
#include "spider/Spider.h"

#include <gtest/gtest.h>

using namespace lb;

TEST(SpiderStartUrl, SiteKeyDropsWwwAndKeepsTheFirstLabel) {
    EXPECT_EQ(Spider::siteKeyOf("http://www.site.com/dir/page.html"), "site");
    EXPECT_EQ(Spider::siteKeyOf("http://Shop.Example.com/"), "Shop");
    EXPECT_EQ(Spider::siteKeyOf("http://localhost/"), "");
    EXPECT_EQ(Spider::siteKeyOf("http://127.0.0.1:8642/site/"), "127");
    // "www." anywhere in the host drops the first four characters.
    EXPECT_EQ(Spider::siteKeyOf("http://abcwww.site.com/"), "ww");
}

TEST(SpiderStartUrl, SiteBaseIsTheHostAndTheStartDirectory) {
    EXPECT_EQ(Spider::siteBaseOf("http://www.site.com/dir/page.html"), "www.site.com/dir");
    EXPECT_EQ(Spider::siteBaseOf("http://site.org"), "site.org");
    EXPECT_EQ(Spider::siteBaseOf("http://site.org/"), "site.org/");
    EXPECT_EQ(Spider::siteBaseOf("http://site.org/page.html"), "site.org");
    EXPECT_EQ(Spider::siteBaseOf("http://site.org/a/b/"), "site.org/a/b");
    // A named port stays, so links of a site on another port are recognised.
    EXPECT_EQ(Spider::siteBaseOf("http://127.0.0.1:8642/site/"), "127.0.0.1:8642/site");
    EXPECT_EQ(Spider::siteBaseOf("http://user:pw@host.net:81/x/y.htm"), "host.net:81/x");
}

TEST(SpiderSessionName, FirstNumberWhoseNameDoesNotOccurInTheList) {
    EXPECT_EQ(Spider::nextSessionName("site", {}), "site1");
    EXPECT_EQ(Spider::nextSessionName("site", {"site1", "site2"}), "site3");
    // SITE1 occurs inside SITE12, SITE2 does not.
    EXPECT_EQ(Spider::nextSessionName("site", {"site12"}), "site2");
    EXPECT_EQ(Spider::nextSessionName("Site", {"SITE1", "mysite2x"}), "Site3");
    EXPECT_EQ(Spider::nextSessionName("site", {"site01", "site0"}), "site1");
    // An empty stem: any listed name holding the digits takes the number.
    EXPECT_EQ(Spider::nextSessionName("", {"Shop1", "a2b"}), "3");
    EXPECT_EQ(Spider::nextSessionName("", {"Garden"}), "1");
}

// Links resolve against the page's directory; directory addresses take one
// form; a blank ends a link; text is UTF-8 when valid, else Latin-1.
TEST(SpiderLinks, ResolvedAndNormalised) {
    const QString d = "http://host.net:8080/";
    const struct {
        QByteArray link;
        QString page, url; // page empty: d + "d/p.html"
    } rows[] = {
        // clang-format off
        {"x.html", "", d + "d/x.html"},
        {"../x.html", "", d + "x.html"},
        {"./x.html", "", d + "x.html"},
        {"http://else.org/y.html", "", "http://else.org/y.html"},
        {"x.html", "http://host.net/a.b/p.html", "http://host.net/x.html"},
        {"x.html", "http://host.net/dir", "http://host.net/dir/x.html"},
        {"x.html", "http://host.net", "http://host.net/x.html"},
        {"sub/x.html", "http://host.net/a/b/c.htm", "http://host.net/a/b/sub/x.html"},
        {"x.html target=_top", "", d + "d/x.html"},
        {"/", "", ""}, {"..", "", ""}, {"", "", ""},
        {"x", "", "x"}, // shorter than two characters: unchanged
        {"/dir/", "", d + "dir"}, {"/dir/index.html", "", d + "dir"}, {"/dir", "", d + "dir"},
        {"/dir/default.asp", "", d + "dir"}, {"/dir/INDEX.HTML", "", d + "dir/INDEX.HTML"},
        {"/dir//", "", d + "dir/"}, // only one trailing slash goes
        {"caf\xc3\xa9.html", "", d + "d/caf\u00e9.html"}, {"caf\xe9.html", "", d + "d/caf\u00e9.html"},
        // clang-format on
    };
    for (const auto& row : rows)
        EXPECT_EQ(Spider::resolveLink(row.link, row.page.isEmpty() ? d + "d/p.html" : row.page),
                  row.url)
            << row.link.constData();
}

// A blank after a comma goes when the keyword is longer than two characters
// with it; the first keyword keeps its blank; no other trimming; 16 at most.
TEST(SpiderKeywords, CommaSplitWithTheBlankRule) {
    const struct {
        QString text;
        QStringList first; // the rest is empty
    } rows[] = {
        {"a, b, c", {"a", "b", " c"}},   {"a, b", {"a", " b"}},
        {"alpha, bc", {"alpha", "bc"}},  {" abc, d", {" abc", " d"}},
        {"x,  y ,z", {"x", " y ", "z"}}, {"", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Spider::splitKeywords(row.text),
                  row.first + QStringList(16 - row.first.size(), QString()))
            << row.text.toStdString();
    QStringList many;
    for (int i = 1; i <= 20; ++i)
        many.append(QStringLiteral("k%1").arg(i));
    EXPECT_EQ(Spider::splitKeywords(many.join(QLatin1Char(','))), many.mid(0, 16));
}

TEST(SpiderSiteList, SortedWithoutRegardToCaseAndInAddedOrder) {
    SiteList list;
    for (const char* u : {"http://b", "http://A", "http://a", "http://C", "http://B"})
        list.add(QLatin1String(u));
    EXPECT_EQ(list.sorted(),
              QStringList({"http://A", "http://a", "http://B", "http://b", "http://C"}));
    EXPECT_EQ(list.addedOrder(),
              QStringList({"http://b", "http://A", "http://a", "http://C", "http://B"}));
    EXPECT_EQ(list.indexOf("http://a"), 1);
    EXPECT_EQ(list.indexOf("http://B"), 2);
    EXPECT_EQ(list.indexOf("HTTP://a"), -1); // the test is case-sensitive
}

TEST(SpiderSiteList, ManyEntriesKeepRowsAndLookUpsConsistent) {
    SiteList list;
    QStringList added;
    // A scrambled order crosses many block splits.
    for (int i = 0; i < 5000; ++i) {
        const QString u = QStringLiteral("http://h/p%1").arg((i * 7919) % 5000);
        const int row = list.add(u);
        ASSERT_EQ(list.at(row), u);
        added.append(u);
    }
    QStringList expected = added;
    std::sort(expected.begin(), expected.end(), SiteList::less);
    EXPECT_EQ(list.sorted(), expected);
    EXPECT_EQ(list.addedOrder(), added);
    for (int row : {0, 1, 511, 512, 2500, 4999})
        EXPECT_EQ(list.indexOf(expected.at(row)), row);
    EXPECT_EQ(list.data(list.index(4999, 0)).toString(), expected.last());
}

TEST(Sitemap, EscapesMarkupKeepsOrderAndLeavesOutOverlongAddresses) {
    const QString longest = QStringLiteral("http://a/") + QString(2048 - 9, QLatin1Char('x'));
    const QString tooLong = longest + QLatin1Char('y');
    const QByteArray doc =
        lb::sitemapDocument({"http://b/?a=1&b='<2>'\"", tooLong, "http://a/é", longest});
    EXPECT_EQ(doc,
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                         "<url><loc>http://b/?a=1&amp;b=&apos;&lt;2&gt;&apos;&quot;</loc></url>\n"
                         "<url><loc>http://a/\xC3\xA9</loc></url>\n"
                         "<url><loc>") +
                  longest.toUtf8() + "</loc></url>\n</urlset>\n");
}
