// robots.txt rules: group choice, longest match, wildcards, and what a
// robots.txt that cannot be read means.
#include "audit/RobotsTxt.h"

#include <gtest/gtest.h>

using lb::audit::RobotsTxt;

namespace {

// The example file of RFC 9309, section 5.1.
const char kSimple[] =
    "User-Agent: *\nDisallow: *.gif$\nDisallow: /example/\nAllow: /publications/\n\n"
    "User-Agent: foobot\nDisallow:/\nAllow:/example/page.html\nAllow:/example/allowed.gif\n\n"
    "User-Agent: barbot\nUser-Agent: bazbot\nDisallow: /example/page.html\n\n"
    "User-Agent: quxbot\n\nEOF\n";

// Files used by several rows.
const char kLongest[] =
    "User-Agent: foobot\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
const char kExact[] = "User-agent: *\nDisallow: /\nAllow: /this/path/exactly$\n";
const char kAnyRun[] = "User-agent: *\nDisallow: /\nAllow: /this/*/exactly\n";
const char kMerged[] = "User-agent: bot\nDisallow: /a\n\nUser-agent: other\nDisallow: /\n\n"
                       "User-agent: BOT\nDisallow: /b\n";

struct Case {
    const char* robots;
    const char* agent;
    const char* path;
    bool allowed;
};

const Case kCases[] = {
    // RFC 9309 5.1: each group for its own crawlers, "*" for the rest.
    {kSimple, "foobot", "/example/page.html", true},
    {kSimple, "foobot", "/example/other.html", false},
    {kSimple, "FooBot", "/index.html", false},
    {kSimple, "barbot", "/example/page.html", false},
    {kSimple, "bazbot", "/example/page.html", false},
    {kSimple, "quxbot", "/example/page.html", true},
    {kSimple, "otherbot", "/example/page.html", false},
    {kSimple, "otherbot", "/publications/index.html", true},
    {kSimple, "otherbot", "/images/a.gif", false},
    {kSimple, "otherbot", "/images/a.gif?size=2", true},
    // RFC 9309 5.2: the longest match decides.
    {kLongest, "foobot", "/example/page/", true},
    {kLongest, "foobot", "/example/page/disallowed.gif", false},
    // RFC 9309 2.2.3: "$" ends the pattern, "*" stands for any run.
    {kExact, "a", "/this/path/exactly", true},
    {kExact, "a", "/this/path/exactly/", false},
    {kAnyRun, "a", "/this/a/b/exactly", true},
    {kAnyRun, "a", "/this/exactly", false},
    {"User-agent: *\nDisallow: /*.php$\n", "a", "/a/b.php5", true},
    {"User-agent: *\nDisallow: /ab*$\n", "a", "/ab", false},
    {"User-agent: *\nDisallow: /ab*c\n", "a", "/ab", true},
    // RFC 9309 2.2.2: non-ASCII in a rule matches its percent-escaped form.
    {"User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\n", "a", "/foo/bar/%E3%83%84", false},
    {"User-agent: *\nDisallow: /foo/bar/%e3%83%84\n", "a", "/foo/bar/%E3%83%84", false},
    {"User-agent: *\nDisallow: /foo/bar/%62%61%7A\n", "a", "/foo/bar/baz", true},
    // An Allow as long as the Disallow wins, in either order.
    {"User-agent: *\nDisallow: /page\nAllow: /page\n", "a", "/page", true},
    {"User-agent: *\nAllow: /page\nDisallow: /page\n", "a", "/page", true},
    {"User-agent: *\nDisallow: /page\nAllow: /pag\n", "a", "/page", false},
    // Rules see the query.
    {"User-agent: *\nDisallow: /*?sort=\n", "a", "/list?sort=name", false},
    // Tokens match whole and without regard to case; versions are dropped.
    {"User-agent: Googlebot-Image\nDisallow: /\n", "Googlebot", "/a", true},
    {"User-agent: Googlebot/2.1\nDisallow: /\n", "Googlebot", "/a", false},
    // A named group replaces "*" entirely; groups of one name merge.
    {"User-agent: *\nDisallow: /a\n\nUser-agent: bot\nDisallow: /b\n", "bot", "/a", true},
    {kMerged, "bot", "/b", false},
    {kMerged, "bot", "/a", false},
    // An empty Disallow, rules before any user-agent, comments, CR LF.
    {"User-agent: *\nDisallow:\n", "a", "/x", true},
    {"Disallow: /\nUser-agent: *\nAllow: /\n", "a", "/x", true},
    {"User-agent: * # everyone\r\nDisallow: /x # not this\r\n", "a", "/x/y", false},
};

} // namespace

TEST(RobotsTxt, RulesDecideAsTheStandardSays) {
    for (const Case& c : kCases) {
        const RobotsTxt robots = RobotsTxt::parse(c.robots);
        EXPECT_EQ(robots.allowed(c.agent, c.path), c.allowed) << c.agent << " " << c.path << "\n"
                                                              << c.robots;
    }
}

TEST(RobotsTxt, UnreadableFilesAllowOrForbidEverythingButRobotsTxtItself) {
    EXPECT_TRUE(RobotsTxt::allowAll().allowed("a", "/x"));
    EXPECT_FALSE(RobotsTxt::disallowAll().allowed("a", "/"));
    EXPECT_TRUE(RobotsTxt::disallowAll().allowed("a", "/robots.txt"));
}

TEST(RobotsTxt, CrawlDelayComesFromTheChosenGroupAndSitemapsFromAnywhere) {
    const RobotsTxt robots = RobotsTxt::parse("Sitemap: http://h/one.xml\n"
                                              "User-agent: *\nCrawl-delay: 5\nDisallow: /x\n"
                                              "\nUser-agent: Linkbeacon\nCrawl-delay: 0.5\n"
                                              "Sitemap: /two.xml\n");
    EXPECT_EQ(robots.crawlDelay("linkbeacon"), 0.5);
    EXPECT_EQ(robots.crawlDelay("other"), 5.0);
    EXPECT_EQ(RobotsTxt::parse("User-agent: *\nDisallow: /\n").crawlDelay("a"), std::nullopt);
    EXPECT_EQ(robots.sitemaps(), (QList<QByteArray>{"http://h/one.xml", "/two.xml"}));
}

TEST(RobotsTxt, OnlyTheFirst500KiBAreRead) {
    // The rule's last byte at the limit: read; one byte later: cut to an empty Disallow.
    const QByteArray rule = "Disallow: /";
    for (const int extra : {0, 1}) {
        QByteArray text = "User-agent: *\n";
        text += QByteArray(500 * 1024 - text.size() - rule.size() - 1 + extra, '#');
        text += '\n' + rule + '\n';
        EXPECT_EQ(RobotsTxt::parse(text).allowed("a", "/x"), extra == 1) << extra;
    }
}
