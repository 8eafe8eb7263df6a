// The crawl against real local servers: target-sim's search service and FFA
// pages, and scripted servers for lying, stalling and oversized answers.
#include "ffa/FfaCrawler.h"
#include "net/HttpLimits.h"
#include "support/CrawlProxy.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace lb;
using lb::test::RawServer;
using lb::test::runUntil;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

QByteArray httpPage(const QByteArray& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body;
}

// A result page of the search service: result links and further result pages.
QByteArray resultPage(const QStringList& links, const QStringList& pagePaths = {}) {
    QByteArray out = "<html><body>\r\n";
    for (const QString& p : pagePaths)
        out += "<a href=\"" + p.toUtf8() + "\">next</a>\r\n";
    int i = 0;
    for (const QString& l : links)
        out +=
            "<dt><b>" + QByteArray::number(++i) + ". </B><A HREF=" + l.toUtf8() + ">result</A>\r\n";
    return httpPage(out + "</body></html>\r\n");
}

// An FFA page with one submission form after some megabytes of markup: its
// analysis takes long enough for the window to breathe in the middle of it.
QByteArray longFfaPage() {
    QByteArray page = "<html><body>";
    while (page.size() < 6'000'000)
        page += "<p><b>filler</b> <i>text</i></p>\r\n";
    return page + "<form method=\"post\" action=\"/cgi-bin/add.cgi\">\r\n"
                  "URL: <input type=\"text\" name=\"url\" value=\"http://\" size=\"40\"><br>\r\n"
                  "<select name=\"section\"><option value=\"Business\">Business</option>"
                  "<option value=\"Other\">Other</option></select>\r\n</form></body></html>";
}

QString quoted(const QString& s) {
    return QLatin1Char('"') + s + QLatin1Char('"');
}

class Crawl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        crawler.setSearchBase(origin + "/altavista");
        crawler.setOptionsSource([this] { return opts; });
        crawler.setAppDir(dir.path());
        crawler.setPollInterval(20);
        opts.terms1 = {"free"};
        opts.terms2 = {"links"};
        opts.bonus1 = {"ffa"};
        opts.bonus2 = {"page"};
        QObject::connect(&crawler, &FfaCrawler::crawlerStatusChanged,
                         [this](const QString& t) { crawlerTexts.append(t); });
        QObject::connect(&crawler, &FfaCrawler::crawlEnded, [this] { ++ended; });
    }

    // One crawl from the start, as after "Create New Database" and "Start Crawler".
    bool crawl(int timeoutMs = 30000) {
        if (crawler.loadedName().isEmpty())
            crawler.createList(dir.filePath("list.hlx"));
        else
            crawler.setCurrentString(opts.startString);
        const int before = ended;
        crawler.SubStartClick();
        return runUntil([&] { return ended > before && !crawler.busy(); }, timeoutMs);
    }

    // Starts a crawl whose search service finds a slow page first (and the
    // pages given), and waits until that page is being fetched.
    bool startSlow(const QString& list, const QStringList& more = {}) {
        TargetSim& sim = lb::test::sharedTargetSim();
        slow = sim.url("/delay/700/ffa/garden/links.htm");
        QStringList links{quoted(slow)};
        for (const QString& path : more)
            links << quoted(sim.url(path));
        engine.addAnswer(resultPage(links));
        crawler.createList(list);
        crawler.SubStartClick();
        return sim.ok() && runUntil([&] { return crawler.urlAddr() == slow; });
    }

    qint64 lastLoading() const {
        qint64 n = -1;
        for (const QString& t : crawlerTexts)
            if (t.startsWith(QLatin1String("Loading: ")))
                n = t.mid(9).toLongLong();
        return n;
    }

    RawServer engine; // the search service, unless a test names another
    const QString origin = engine.url(QString());
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FfaCrawler crawler{dialogs};
    CrawlProfile opts;
    QStringList crawlerTexts;
    int ended = 0;
    QString slow;
};

QStringList queriesAsked(const TargetSim& sim) {
    QStringList out;
    for (const QJsonObject& r : sim.requests()) {
        const QString t = r.value("target").toString();
        if (t.startsWith(QLatin1String("/altavista/")))
            out.append(t);
    }
    return out;
}

} // namespace

TEST_F(Crawl, QueriesGoOutInCombinationOrderFromTheStartPoint) {
    TargetSim sim({"--ffa-pages", "0"});
    ASSERT_TRUE(sim.ok());
    crawler.setSearchBase(sim.url("/altavista"));
    opts.terms1 = {"a0", "a1"};
    opts.terms2 = {"b0"};
    opts.bonus1 = {"c0"};
    opts.bonus2 = {"d0", "d1", "d2"};
    opts.startString = "5";
    ASSERT_TRUE(crawl());
    EXPECT_EQ(crawler.urlAddr(), "All Done crawling please try another custom search");
    const QStringList asked = queriesAsked(sim);
    ASSERT_EQ(asked.size(), 4) << asked.join('\n').toStdString();
    EXPECT_EQ(
        asked.at(0),
        "/altavista/cgi-bin/query?pg=aq&text=yes&q=(a1)+and+(b0)+and+(c0)+and+(d1)&r=ffa&stq=0");
    EXPECT_EQ(asked.at(1), "/altavista/cgi-bin/query?pg=aq&stype=stext&Translate=on&text=yes&q=(a1)"
                           "+and+(b0)+and+(c0)+and+(d1)&stq=10");
    EXPECT_TRUE(asked.at(2).contains("q=(a1)+and+(b0)+and+(c0)+and+(d2)&r=ffa"));
    EXPECT_TRUE(asked.at(3).contains("stq=10"));
    const FfaCrawler::Counters& c = crawler.counters();
    EXPECT_EQ(c.stringCount, 6);
    // The seven demo pages: six with a form, one without.
    EXPECT_EQ(c.crawled, c.linksSaved + c.rejected);
    EXPECT_EQ(c.linksSaved, 6);

    // Again from the start: all six combinations are asked (two result pages
    // each), and pages fetched before are not fetched again.
    const int crawledBefore = c.crawled;
    opts.startString = "1";
    ASSERT_TRUE(crawl());
    EXPECT_EQ(crawler.counters().crawled, crawledBefore);
    EXPECT_EQ(crawler.counters().engineQueries, 16);

    // A start point past the last combination ends at once, asking nothing.
    opts.startString = "7";
    ASSERT_TRUE(crawl());
    EXPECT_EQ(queriesAsked(sim).size(), 16);
}

TEST_F(Crawl, ResultLinksTakenAndRefused) {
    const QString base = origin + "/altavista";
    const QString next = "/cgi-bin/query?pg=aq&stype=stext&Translate=on&text=yes&q=(free)&stq=10";
    engine.addAnswer(resultPage(
        {quoted("http://127.0.0.1:1/a/links.htm"), "http://127.0.0.1:1/b/page.htm",
         quoted("http://127.0.0.1:1/c/add.cgi"), quoted("http://127.0.0.1:1/altavista/x.htm"),
         quoted("/relative/links.htm"), quoted("http://127.0.0.1:1/d/")},
        {next, next}));
    crawler.setPollInterval(600000); // pages wait: the queues stay as the scan left them
    crawler.createList(dir.filePath("list.hlx"));
    crawler.SubStartClick();
    ASSERT_TRUE(runUntil([&] { return !crawler.busy() && crawler.counters().engineQueries == 1; }));
    EXPECT_EQ(crawler.foundUrls().names(),
              (QStringList{"http://127.0.0.1:1/a/links.htm", "http://127.0.0.1:1/b/page.htm",
                           "http://127.0.0.1:1/d/"}));
    EXPECT_EQ(crawler.altaUrls().names(), QStringList{base + next});
    EXPECT_TRUE(engine.request(0).startsWith(
        "GET /altavista/cgi-bin/query?pg=aq&text=yes&q=(free)+and+(links)+and+(ffa)+and+(page)"
        "&r=ffa&stq=0 HTTP/1.0\r\n"));
    crawler.SubStopClick();
}

TEST_F(Crawl, AStalledPageAndAStalledServiceAreGivenUp) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    opts.timeoutSec = "1";
    opts.terms1 = {"one", "two"};
    engine.addAnswer(resultPage({quoted(sim.url("/hang"))}));
    engine.addScript({{RawServer::Step::HoldUntilClosed, {}, 0}});
    ASSERT_TRUE(crawl());
    const FfaCrawler::Counters& c = crawler.counters();
    EXPECT_EQ(c.engineQueries, 2);
    EXPECT_EQ(c.crawled, 1);
    EXPECT_EQ(c.rejected, 1);
    EXPECT_EQ(crawler.history().names(), QStringList{sim.url("/hang")});
    EXPECT_EQ(crawler.urlAddr(), "All Done crawling please try another custom search");
}

// "To long have to move on: N" once a page passes the size setting (an empty
// one is 0 bytes) or, whatever the setting, the page limit; the page is still
// analysed. A page of exactly either size is read whole.
TEST_F(Crawl, OversizedPagesAreCutAndStillAnalysed) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const qint64 limit = lb::net::limits::kMaxPageBytes;
    const QString bytes = QStringLiteral("/bytes/%1");
    const QString any = "99999999";
    const struct {
        QString path, maxKb;
        qint64 above, atMost; // the count shown; no message when atMost is 0
    } rows[] = {
        {bytes.arg(1000), "1", 0, 0},
        {bytes.arg(1001), "1", 1000, 1001},
        {bytes.arg(600001), "", 0, 600000},
        {bytes.arg(limit), any, 0, 0},
        {bytes.arg(limit + 1), any, limit, limit + 1},
        {"/hostile/endless-page", any, limit, limit + 8192},
    };
    int crawled = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        crawlerTexts.clear();
        opts.maxKb = row.maxKb;
        engine.addAnswer(resultPage({quoted(sim.url(row.path))}));
        ASSERT_TRUE(crawl(120000));
        const QStringList tooLong = crawlerTexts.filter("To long have to move on: ");
        EXPECT_EQ(crawler.counters().crawled, ++crawled);
        EXPECT_EQ(crawler.counters().rejected, crawled);
        if (row.atMost == 0) {
            EXPECT_TRUE(tooLong.isEmpty()) << tooLong.join('|').toStdString();
            continue;
        }
        ASSERT_EQ(tooLong.size(), 1);
        const qint64 got = tooLong.last().mid(25).toLongLong();
        EXPECT_GT(got, row.above);
        EXPECT_LE(got, row.atMost);
    }
}

// Page links: absolute, on the include list, not on the ignore list, with a
// dot in the path, shorter than 100 characters, and new.
TEST_F(Crawl, PageLinksFollowTheIncludeAndIgnoreLists) {
    const QString page = origin + "/start/links.htm";
    const QString taken = "http://127.0.0.1:1/" + QString(70, 'x') + "/links.htm";
    const QString tooLong = "http://127.0.0.1:1/" + QString(71, 'y') + "/links.htm";
    ASSERT_EQ(taken.size(), 99);
    QByteArray html =
        "<html><body><a href=\"http://127.0.0.1:1/sub/links.htm\">one</a>"
        "<A HREF=http://127.0.0.1:1/folder/>folder</A>"
        "<a href=\"http://127.0.0.1:1/q/ffa.htm?x=1\">query</a>"
        "<a href=\"http://127.0.0.1:1/two/LINK.HTM\">two</a><a href=\"/rel/links.htm\">x</a>";
    html += "<a href=\"" + taken.toUtf8() + "\">99</a><a href=\"" + tooLong.toUtf8() +
            "\">100</a>" + "<a href=\"http://127.0.0.1:1/sub/links.htm\">again</a><a href=\"" +
            page.toUtf8() + "\">self</a></body></html>";
    engine.addAnswer(resultPage({quoted(page)}));
    engine.addAnswer(httpPage(html));
    ASSERT_TRUE(crawl());
    EXPECT_EQ(crawler.history().names(), (QStringList{page, "http://127.0.0.1:1/sub/links.htm",
                                                      "http://127.0.0.1:1/two/LINK.HTM", taken}));

    // Other lists, read at the moment of use.
    opts.include = {"ffa.htm", "folder"};
    opts.ignore = {".cgi"};
    const QString page2 = origin + "/start2/links.htm";
    engine.addAnswer(resultPage({quoted(page2)}));
    engine.addAnswer(httpPage(html.replace("/start/", "/start2/")));
    ASSERT_TRUE(crawl());
    EXPECT_EQ(crawler.history().names().mid(4),
              (QStringList{page2, "http://127.0.0.1:1/q/ffa.htm?x=1"}));
}

// Behind a proxy both the search service and the pages it finds are asked of
// the proxy, by their full addresses, with the proxy's user.
TEST_F(Crawl, BehindAProxyTheSearchServiceIsAskedThroughIt) {
    RawServer proxy;
    proxy.addAnswer(resultPage({quoted("http://page.invalid/ffa/links.htm")}));
    proxy.addAnswer(httpPage("<html>no form</html>"));
    crawler.setSearchBase("http://search.invalid/altavista");
    crawler.applyProxy(lb::test::crawlProxy(proxy.port()));
    ASSERT_TRUE(crawl());
    EXPECT_TRUE(proxy.request(0).startsWith(
        "GET http://search.invalid/altavista/cgi-bin/query?pg=aq&text=yes&q=(free)+and+(links)+"
        "and+(ffa)+and+(page)&r=ffa&stq=0 HTTP/1.0\r\n"));
    EXPECT_TRUE(proxy.request(1).startsWith("GET http://page.invalid/ffa/links.htm HTTP/1.0\r\n"));
    for (int i : {0, 1})
        EXPECT_TRUE(proxy.request(i).contains(lb::test::kCrawlProxyAuthorization)) << i;
    EXPECT_EQ(crawler.counters().crawled, 1);
}

TEST_F(Crawl, APageStillLoadingWhenTheLastSearchEndsKeepsTheCrawlGoing) {
    // The search answer stays open after its result link, so the page it
    // names is already loading when the search request ends; that page's
    // own links are still crawled before the crawl is over.
    const QString page = origin + "/start/links.htm";
    engine.addScript({{RawServer::Step::Send, resultPage({quoted(page)}), 0},
                      {RawServer::Step::Pause, {}, 300}});
    engine.addScript(
        {{RawServer::Step::Pause, {}, 800},
         {RawServer::Step::Send,
          httpPage("<html><a href=\"http://127.0.0.1:1/sub/links.htm\">one</a></html>"), 0}});
    ASSERT_TRUE(crawl());
    EXPECT_EQ(crawler.history().names(), (QStringList{page, "http://127.0.0.1:1/sub/links.htm"}));
    EXPECT_EQ(ended, 1);
}

TEST_F(Crawl, WithoutTheExtractorAPageEndsAtItsClosingFormTag) {
    const QByteArray first = "<form method=post action=/add.cgi><input name=url>"
                             "<select name=section><option>Business</select></form>";
    const QByteArray rest = "<p>" + QByteArray(3000, 'x') + "</p></body></html>";
    for (bool extractor : {false, true}) {
        crawlerTexts.clear();
        crawler.setExOnOff(extractor);
        const QString page = origin + (extractor ? "/b/links.htm" : "/a/links.htm");
        engine.addAnswer(resultPage({quoted(page)}));
        engine.addScript({{RawServer::Step::Send, httpPage(first), 0},
                          {RawServer::Step::Pause, {}, 300},
                          {RawServer::Step::Send, rest, 0}});
        ASSERT_TRUE(crawl());
        EXPECT_EQ(lastLoading(), extractor ? first.size() + rest.size() : first.size());
    }
    // Both pages analysed: two records.
    EXPECT_EQ(crawler.counters().linksSaved, 2);
}

TEST_F(Crawl, StopLetsTheRunningPageFinishAndStartsNothingMore) {
    ASSERT_TRUE(startSlow(dir.filePath("list.hlx"), {"/ffa/pond/ffa.htm"}));
    const TargetSim& sim = lb::test::sharedTargetSim();
    crawler.SubStopClick();
    EXPECT_TRUE(crawler.startEnabled());
    ASSERT_TRUE(runUntil([&] { return !crawler.busy(); }));
    // Give a wrongly started request the chance to show.
    runUntil([] { return false; }, 300);
    EXPECT_FALSE(crawler.busy());
    EXPECT_EQ(crawler.history().names(), QStringList{slow});
    EXPECT_EQ(crawler.counters().linksSaved, 1);
    // The finished page was still scanned for links.
    EXPECT_EQ(crawler.foundUrls().names(),
              (QStringList{sim.url("/ffa/pond/ffa.htm"), sim.url("/ffa/kites/links.htm")}));
    EXPECT_EQ(ended, 0);

    // Start again: the run goes on from "Current String" (combination 1, shown
    // while it was asked) with the pages left over.
    EXPECT_EQ(crawler.counters().currentString, "1");
    crawler.SubStartClick();
    ASSERT_TRUE(runUntil([&] { return ended == 1 && !crawler.busy(); }));
    EXPECT_EQ(crawler.counters().linksSaved, 3);
    EXPECT_EQ(crawler.counters().engineQueries, 2);
}

TEST_F(Crawl, APageOfAStoppedCrawlStaysOutOfAListOpenedMeanwhile) {
    ASSERT_TRUE(startSlow(dir.filePath("first.hlx")));
    crawler.SubStopClick();
    // Stop gives New and Open back at once; the user makes another list.
    ASSERT_TRUE(crawler.idleControlsEnabled());
    dialogs.fileNames = {dir.filePath("second.hlx")};
    crawler.FileNewClick();
    ASSERT_EQ(crawler.loadedName(), dir.filePath("second.chc"));
    ASSERT_TRUE(runUntil([&] { return !crawler.busy(); }));
    EXPECT_TRUE(crawler.list().lines().lines().isEmpty());
    EXPECT_EQ(crawler.counters().linksSaved, 0);
    EXPECT_EQ(crawler.counters().rejected, 0);
    EXPECT_EQ(crawler.history().names(), QStringList{slow});
    // Saved, the new list holds nothing of the stopped crawl either.
    crawler.FileSaveClick();
    EXPECT_TRUE(loadFfaListFile(dir.filePath("second.chc")).isEmpty());
}

TEST_F(Crawl, WhileAPageIsAnalysedTheListCannotBeReplacedOrSaved) {
    RawServer pages;
    pages.addAnswer(httpPage(longFfaPage()));
    const QString url = pages.url("/ffa/links.htm");
    engine.addAnswer(resultPage({quoted(url)}));
    opts.maxKb = "100000";
    crawler.createList(dir.filePath("list.hlx"));
    const QString listFile = crawler.loadedName();

    int pumps = 0;
    bool controlsOffEveryTime = true;
    crawler.setPump([&] {
        ++pumps;
        // Whatever the user manages to click while the window breathes.
        crawler.SubStopClick();
        controlsOffEveryTime = controlsOffEveryTime && !crawler.idleControlsEnabled() &&
                               !crawler.saveEnabled() && !crawler.startEnabled();
        dialogs.fileNames = {dir.filePath("other.hlx"), dir.filePath("other.hlx")};
        crawler.FileNewClick();
        crawler.OpenProClick();
        crawler.FileSaveClick();
        crawler.SubStartClick();
    });
    crawler.SubStartClick();
    ASSERT_TRUE(runUntil([&] { return pumps > 0 && !crawler.busy(); }, 60000));
    EXPECT_TRUE(controlsOffEveryTime);
    EXPECT_TRUE(dialogs.shown.isEmpty()) << "a file dialog opened during the analysis";
    EXPECT_EQ(crawler.loadedName(), listFile);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("other.chc")));
    EXPECT_EQ(crawler.list().lines().lines().size(), 1);
    // Afterwards the controls come back.
    EXPECT_TRUE(crawler.idleControlsEnabled());
}

TEST_F(Crawl, ListFilesThroughTheButtons) {
    const QString custom = dir.filePath("data/custom");
    ASSERT_TRUE(QDir().mkpath(custom));
    dialogs.fileNames = {custom + "/mine.HLX"};
    crawler.FileNewClick();
    EXPECT_EQ(crawler.loadedName(), custom + "/mine.chc");
    EXPECT_TRUE(QFileInfo::exists(custom + "/mine.chc"));
    EXPECT_FALSE(crawler.saveEnabled());

    saveFfaListFile({"b=x|", "a=y|"}, custom + "/two.chc");
    dialogs.fileNames = {custom + "/two.chc"};
    crawler.OpenProClick();
    EXPECT_EQ(crawler.loadedName(), custom + "/two.chc");
    EXPECT_EQ(crawler.counters().linksSaved, 2);
    EXPECT_TRUE(crawler.saveEnabled());

    dialogs.fileNames = {custom + "/missing.chc"};
    crawler.OpenProClick();
    EXPECT_EQ(dialogs.texts().last(), "Cannot open file " + custom + "/missing.chc");
    EXPECT_EQ(crawler.loadedName(), custom + "/two.chc");

    // A start point that is no number is refused with the conversion message.
    crawler.setCurrentString("x1");
    crawler.SubStartClick();
    EXPECT_FALSE(crawler.running());
    EXPECT_EQ(dialogs.texts().last(), "'x1' is not a valid integer value");
}

TEST_F(Crawl, ACrawlerGoesAwayInTheMiddleOfItsRequests) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    engine.addAnswer(resultPage({quoted(sim.url("/hang"))}));
    {
        FfaCrawler doomed(dialogs);
        doomed.setOptionsSource([this] { return opts; });
        doomed.setSearchBase(origin + "/altavista");
        doomed.setPollInterval(20);
        doomed.createList(dir.filePath("l.hlx"));
        doomed.SubStartClick();
        // A page that never answers is being fetched when the crawler goes:
        // its request has reached the target (however slowly, under load).
        ASSERT_TRUE(runUntil([&] {
            const QList<QJsonObject> r = sim.requests();
            return !r.isEmpty() && r.last().value("target").toString() == "/hang";
        }));
    }
    // Whatever was still queued for it runs into nothing.
    runUntil([] { return false; }, 200);
}
