// Crawls against real local servers: target-sim serving a folder of pages,
// and a port that refuses. (Pages in any pieces: fuzz_spider_page.)
#include "net/HttpProt.h"
#include "sessions/SessionStore.h"
#include "spider/Spider.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

const QString AllDone = QStringLiteral("All Done...");

class SpiderCrawl : public ::testing::Test {
protected:
    void SetUp() override {
        store.readIndex();
        SessionRecord contact;
        const int fields[] = {
            SessionRecord::Email,   SessionRecord::FirstName, SessionRecord::LastName,
            SessionRecord::Company, SessionRecord::Address1,  SessionRecord::City,
            SessionRecord::State,   SessionRecord::Phone,     SessionRecord::Fax,
            SessionRecord::Zip,     SessionRecord::Country};
        for (int f : fields)
            contact[f] = QStringLiteral("c%1").arg(f);
        contact[SessionRecord::Category] = QStringLiteral("Business");
        store.setEditor(contact);
        QObject::connect(&spider, &Spider::statusLine,
                         [this](const QString& line) { statuses.append(line); });
        QObject::connect(&spider, &Spider::websiteChanged,
                         [this](const QString& text) { website = text; });
    }

    bool finished() const {
        return !spider.running() && !statuses.isEmpty() && statuses.last().startsWith(AllDone);
    }
    // Starts a crawl and waits (bounded) for its last line.
    bool crawl(const QString& url, int ms = 20000) {
        spider.setSiteUrl(url);
        if (!spider.MapButtonClick())
            return false;
        return lb::test::runUntil([this] { return finished(); }, ms);
    }
    SessionRecord session(const QString& name) const {
        return SessionStore::readSession(pf.dir.path(), name);
    }

    ProgramFolder pf;
    ScriptedDialogs dialogs;
    SessionStore store{pf.dir.path(), dialogs};
    net::THttpCli http;
    Spider spider{store, dialogs, http};
    QStringList statuses;
    QString website;
};

// A site in a folder served by target-sim under /files/.
class SpiderSiteCrawl : public SpiderCrawl {
protected:
    void SetUp() override {
        SpiderCrawl::SetUp();
        ASSERT_TRUE(sim.ok());
        QDir(root.path()).mkpath("sub");
    }
    void page(const QString& name, const QByteArray& html) {
        lb::test::writeFile(root.filePath(name), html);
    }
    QString url(const QString& path) const { return sim.url(QStringLiteral("/files/") + path); }

    QTemporaryDir root;
    TargetSim sim{{"--root", root.path()}};
};

} // namespace

TEST_F(SpiderSiteCrawl, WalksTheSiteBreadthFirstAndSavesEveryPageAsASession) {
    page("index.html",
         "<html><head>\r\n<title>Home Page</title>\r\n"
         "<META NAME=\"DESCRIPTION\" CONTENT=\"The home\r\n of the test site\">\r\n"
         "<meta name=\"keywords\" content=\"home, test, site\"></head>\r\n<body>\r\n"
         "<a href=\"a.html\">A</a> <a href=\"sub/b.html\">B</a>\r\n"
         "<a href=\"./x.html\">root</a> <a href=\"../outside.html\">up</a>\r\n"
         "<a href=\"sub/\">dir</a> <a href=\"missing.html\">gone</a>\r\n"
         "<a href=http://else.example/x.html>off</a> <a href=\"mailto:me@x.org\">mail</a>\r\n"
         "<a href=\"pic.gif\">pic</a> <a href=\"page.html?x=1\">q</a> <a "
         "href=\"a.html#top\">t</a>\r\n"
         "<a HREF = \"d.html\">spaced</a> <map><area href=\"c.html\"></map>\r\n"
         "</body></html>\r\n");
    page("a.html", "<html><head><title>Page A</title></head><body>"
                   "<a href=\"a.html\">self</a><a href=\"/files/sub/b.html\">b</a></body></html>");
    page("sub/b.html", "<html><head><title>Page B</title></head><body>"
                       "<a href=\"/files/a.html\">a</a></body></html>");
    page("c.html", "<html><head><title>Page C</title>"
                   "<meta name=\"description\" content='single quoted'></head></html>");

    ASSERT_TRUE(crawl(url("index.html")));
    const QString start = url("index.html");
    EXPECT_EQ(spider.siteList().addedOrder(),
              QStringList({start, url("a.html"), url("sub/b.html"), url("sub"), url("missing.html"),
                           url("c.html")}));

    // Sessions named after the host's first label, in fetch order, with the
    // contact fields and category of the editor.
    EXPECT_EQ(store.sesList().names(),
              QStringList({"1271", "1272", "1273", "1274", "1275", "1276"}));
    const SessionRecord home = session("1271");
    EXPECT_EQ(home[SessionRecord::Title], "Home Page");
    EXPECT_EQ(home[SessionRecord::Description], "The home of the test site");
    EXPECT_EQ(home[SessionRecord::Key1], "home");
    EXPECT_EQ(home[SessionRecord::Email], QStringLiteral("c%1").arg(SessionRecord::Email));
    EXPECT_EQ(home[SessionRecord::Category], "Business");
    EXPECT_EQ(session("1272")[SessionRecord::Title], "Page A");
    EXPECT_EQ(session("1275")[SessionRecord::Url], url("missing.html"));
    EXPECT_EQ(session("1276")[SessionRecord::Description], "'single quoted'");

    EXPECT_EQ(spider.mapStat(),
              QStringList({"All Done...6 Urls Found and added to your Sessions"}));
    EXPECT_EQ(website, "127.0.0.1:" + QString::number(sim.port()) + "/files");
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

// The status lines in order; the next crawl starts a fresh list and names
// its sessions after the ones listed.
TEST_F(SpiderSiteCrawl, StatusLinesAndTheNextCrawl) {
    page("one.html", "<html><head><title>One</title><meta name=\"keywords\" content=\"k\">"
                     "</head><a href=\"one.html\">1</a><a href=\"two.html\">2</a></html>");
    page("two.html", "<html><title>Two</title><b>empties the buffer</b></html>");
    ASSERT_TRUE(crawl(url("one.html")));
    EXPECT_EQ(statuses,
              QStringList({"Contacting... Please wait", "Connected... to " + url("one.html"),
                           "Extracting Title..", "Extracting Keywords..",
                           "Checking for possible duplicate Urls.. Item: 0", "Extracting Urls..2",
                           "Adding Url To Session List...", "Connected... to " + url("two.html"),
                           "Extracting Title..", "Adding Url To Session List...",
                           "All Done...2 Urls Found and added to your Sessions"}));
    ASSERT_TRUE(crawl(url("one.html")));
    EXPECT_EQ(spider.siteList().count(), 2);
    EXPECT_EQ(store.sesList().names(), QStringList({"1271", "1272", "1273", "1274"}));
    EXPECT_EQ(session("1273")[SessionRecord::Title], "One");
}

TEST_F(SpiderSiteCrawl, ALinkOfNinetyNineCharactersIsCrawledOneOfAHundredIsNot) {
    const QString prefix = url(QString());
    const int room99 = 99 - int(prefix.size()) - 5; // "x...x.html"
    ASSERT_GT(room99, 0);
    const QString name99 = QString(room99, QLatin1Char('a')) + ".html";
    const QString name100 = QString(room99 + 1, QLatin1Char('b')) + ".html";
    page(name99, "<html><title>99</title></html>");
    page(name100, "<html><title>100</title></html>");
    page("start.html", "<html><body><a href=\"" + name99.toLatin1() + "\">x</a><a href=\"" +
                           name100.toLatin1() + "\">y</a></body></html>");
    ASSERT_TRUE(crawl(url("start.html")));
    ASSERT_EQ(url(name99).size(), 99);
    EXPECT_EQ(spider.siteList().addedOrder(), QStringList({url("start.html"), url(name99)}));
}

TEST_F(SpiderSiteCrawl, AbortEndsTheCrawlAndStillSavesThePageInFlight) {
    page("p1.html", "<html><body><a href=\"p2.html\">2</a><a href=\"p3.html\">3</a>"
                    "<a href=\"p4.html\">4</a></body></html>");
    for (const char* p : {"p2.html", "p3.html", "p4.html"})
        page(QLatin1String(p), "<html><title>later</title></html>");
    // The click arrives while the status of the second page is painted.
    QObject::connect(&spider, &Spider::statusLine, &spider, [this](const QString& line) {
        if (line == "Connected... to " + url("p2.html"))
            QMetaObject::invokeMethod(&spider, &Spider::MapAbortClick, Qt::QueuedConnection);
    });
    ASSERT_TRUE(crawl(url("p1.html")));
    EXPECT_EQ(statuses.last(), "All Done...4 Urls Found and added to your Sessions");
    EXPECT_EQ(store.sesList().names(), QStringList({"1271", "1272"}));
    EXPECT_EQ(session("1272")[SessionRecord::Url], url("p2.html"));
    EXPECT_TRUE(spider.siteToCr().isEmpty());
    EXPECT_TRUE(spider.getEnabled());
}

TEST_F(SpiderSiteCrawl, APageThatCannotBeSavedIsReportedAndTheCrawlGoesOn) {
    page("s1.html", "<html><body><a href=\"s2.html\">2</a></body></html>");
    page("s2.html", "<html><title>Two</title></html>");
    // Where the first session file would go, a folder stands in the way.
    QDir(pf.dir.path()).mkpath("data/session/1271.hlx");
    ASSERT_TRUE(crawl(url("s1.html")));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith("Unable to write to "))
        << dialogs.shown[0].text.toStdString();
    EXPECT_EQ(session("1272")[SessionRecord::Title], "Two");
    EXPECT_EQ(statuses.last(), "All Done...2 Urls Found and added to your Sessions");
}

// A No to a start question shows the sheet to complete. (The messages, and
// that nothing is fetched or written: SpiderCli's table.)
TEST_F(SpiderCrawl, StartQuestionsAnsweredNoShowTheSheetToComplete) {
    QList<Spider::Sheet> sheets;
    QObject::connect(&spider, &Spider::sheetRequested, [&](Spider::Sheet s) { sheets << s; });
    store.setEditorField(SessionRecord::Fax, QString());
    spider.setSiteUrl("http://127.0.0.1:9/x.html");
    EXPECT_FALSE(spider.MapButtonClick()); // No to the contact question
    store.setEditorField(SessionRecord::Category, QString());
    dialogs.answers = {true, false};
    EXPECT_FALSE(spider.MapButtonClick()); // Yes to it, No to the category one
    EXPECT_EQ(sheets,
              QList<Spider::Sheet>({Spider::Sheet::ContactInfo, Spider::Sheet::SiteDescription}));
    EXPECT_EQ(dialogs.shown.size(), 3);
    EXPECT_TRUE(statuses.isEmpty());
}

TEST_F(SpiderCrawl, APageWhoseFetchFailsIsSavedWithEmptyFields) {
    const lb::test::LoopbackPort refused(false); // bound, not listening
    const QString dead = QStringLiteral("http://127.0.0.1:%1/dead.html").arg(refused.port);
    store.setEditorField(SessionRecord::Title, "left over");
    ASSERT_TRUE(crawl(dead));
    const SessionRecord r = session("1271");
    EXPECT_EQ(r[SessionRecord::Url], dead);
    EXPECT_EQ(r[SessionRecord::Title], "");
    EXPECT_EQ(r[SessionRecord::Phone], QStringLiteral("c%1").arg(SessionRecord::Phone));
    EXPECT_EQ(statuses, QStringList({"Contacting... Please wait", "Adding Url To Session List...",
                                     "All Done...1 Urls Found and added to your Sessions"}));
}
