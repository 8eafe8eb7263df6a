// linkbeacon-cli spider as a user runs it in a program folder.
#include "sessions/SessionStore.h"
#include "support/CliRun.h"
#include "support/PeakMemory.h"
#include "support/ProgramFolder.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::TargetSim;

namespace {

// The scripted server answers from this thread's helper: events keep going.
lb::test::CliResult spider(const QString& folder, const QStringList& args) {
    lb::test::CliOptions options;
    options.pumpEvents = true;
    return lb::test::runCli(folder, QStringList{"spider"} + args, options);
}

const QByteArray MissingContact =
    "Missing Field: You have not completed the Contact Info.\n Do you want to continue  ?\n";
const QByteArray MissingCategory =
    "Missing Field: You have not selected a Category.\n Do you want to continue  ?\n";

} // namespace

// With the contact data of a saved session nothing is asked and every page
// is saved with it; every status line goes to stdout (their order: the
// spider's own tests); the sitemap is written when the crawl ends.
TEST(SpiderCli, CrawlsTheDemoSiteWithAContactSession) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=0\r\n[List]\r\n0=Me\r\n");
    QByteArray me = "[Me]\r\nurl=http://old.example/\r\ntitle=Old\r\ncatagory=Business\r\n";
    for (const char* key : {"email", "name", "last", "company", "address1", "city", "state",
                            "phone", "fax", "zip", "country"})
        me += QByteArray(key) + "=my " + key + "\r\n";
    pf.writeBytes("data/session/Me.hlx", me);
    const QString s = sim.url("/site");
    const lb::test::CliResult r =
        spider(pf.dir.path(), {"--contact", "Me", "--sitemap", "out/map.xml", s + "/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.count("Adding Url To Session List...\n"), 6);
    EXPECT_TRUE(r.out.endsWith("\nAll Done...6 Urls Found and added to your Sessions\n"));
    const SessionRecord spades = SessionStore::readSession(pf.dir.path(), "1274");
    EXPECT_EQ(spades[SessionRecord::Phone], "my phone");
    EXPECT_EQ(spades[SessionRecord::Category], "Business");
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "Me")[SessionRecord::Title], "Old");
    EXPECT_EQ(pf.readBytes("out/map.xml").count("<url><loc>"), 6);
}

// Arguments that end before or without a crawl, and a server that never
// answers: exit code, stdout's end and stderr. Refused calls write nothing.
// (Unknown options and missing values: the command table's own tests.)
TEST(SpiderCli, ArgumentsExitCodesAndOutput) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const QByteArray oneLine = "<one line>";
    struct Row {
        QStringList args;
        int exitCode;
        QByteArray outEnd, err;
        QString noFile; // a file the call must not write
    };
    const Row rows[] = {
        {{"--yes", ""}, 1, "", "No Url: You have no Url to spider\n"},
        {{sim.url("/site/")}, 1, "", MissingContact},
        {{}, 2, "", oneLine},
        {{"http://a/", "http://b/"}, 2, "", oneLine},
        {{"--timeout", "-1", "http://a/"}, 2, "", oneLine},
        // Given up after the time-out and saved without fields.
        {{"--yes", "--timeout", "1", sim.url("/hang")},
         0,
         "Adding Url To Session List...\nAll Done...1 Urls Found and added to your Sessions\n",
         MissingContact + MissingCategory},
        {{"--sitemap", "map.xml", sim.url("/site/")}, 1, "", MissingContact, "map.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        ProgramFolder pf;
        const lb::test::CliResult r = spider(pf.dir.path(), row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_TRUE(r.out.endsWith(row.outEnd)) << r.out.constData();
        if (row.err == oneLine) {
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
            EXPECT_TRUE(r.err.startsWith("linkbeacon-cli spider: ")) << r.err.constData();
        } else {
            EXPECT_EQ(r.err, row.err);
        }
        if (row.exitCode != 0) {
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(QDir(pf.path("data/session")).isEmpty());
        }
        if (!row.noFile.isEmpty())
            EXPECT_FALSE(pf.exists(row.noFile));
    }
    EXPECT_EQ(sim.requests().size(), 1);
}

TEST(SpiderCli, ASitemapThatCannotBeWrittenIsExitOne) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    QDir(pf.dir.path()).mkpath("taken.xml");
    const lb::test::CliResult r =
        spider(pf.dir.path(), {"--yes", "--sitemap", "taken.xml", sim.url("/site/about.html")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.endsWith("Unable to write to " + pf.path("taken.xml").toUtf8() + "\n"))
        << r.err.constData();
}

TEST(SpiderCli, APageWithoutEndIsSavedAtThePageLimitAndTheCrawlEnds) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    const lb::test::MeasuredRun r = lb::test::runMeasured(
        pf.dir.path(), LB_CLI,
        {"spider", "--yes", "--timeout", "120", sim.url("/hostile/endless-page")}, 120000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "1271")[SessionRecord::Url],
              sim.url("/hostile/endless-page"));
    // The page is held as text while it is read: twice the limit and change.
    if (lb::test::kPeakMemoryMeaningful)
        EXPECT_LT(r.peakKb, 200 * 1024);
    std::printf("spider peak %ld KiB\n", r.peakKb);
}
