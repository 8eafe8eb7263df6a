// linkbeacon-cli spider as a user runs it in a program folder.
#include "engines/ProgramFolder.h"
#include "sessions/SessionStore.h"
#include "support/CliRun.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::RawServer;
using lb::test::TargetSim;

namespace {

// The scripted server answers from this thread's helper: events keep going.
lb::test::CliResult spider(const QString& folder, const QStringList& args) {
    lb::test::CliOptions options;
    options.pumpEvents = true;
    return lb::test::runCli(folder, QStringList{"spider"} + args, options);
}

QByteArray lines(const QStringList& l) {
    return (l.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

const QByteArray MissingContact =
    "Missing Field: You have not completed the Contact Info.\n Do you want to continue  ?\n";
const QByteArray MissingCategory =
    "Missing Field: You have not selected a Category.\n Do you want to continue  ?\n";

} // namespace

TEST(SpiderCli, CrawlsTheDemoSitePrintingEveryStatusLine) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    const QString s = sim.url("/site");
    const lb::test::CliResult r = spider(pf.dir.path(), {"--yes", s + "/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, MissingContact + MissingCategory);
    const QString added = "Adding Url To Session List...";
    const QStringList meta = {"Extracting Title..", "Extracting Description..",
                              "Extracting Keywords.."};
    auto dup = [](int i) {
        return QStringLiteral("Checking for possible duplicate Urls.. Item: %1").arg(i);
    };
    QStringList expected = {"Contacting... Please wait", "Connected... to " + s + "/"};
    expected << meta;
    for (int i = 2; i <= 6; ++i)
        expected << QStringLiteral("Extracting Urls..%1").arg(i);
    expected << dup(5) << added;
    expected << "Connected... to " + s << meta << dup(0) << dup(2) << dup(5) << dup(3) << dup(4)
             << dup(5) << added;
    expected << "Connected... to " + s + "/about.html" << meta << dup(0) << dup(2) << dup(5)
             << dup(3) << added;
    expected << "Connected... to " + s + "/tools/spades.html" << meta << dup(0) << dup(2) << dup(5)
             << dup(3) << dup(4) << added;
    expected << "Connected... to " + s + "/contact.html" << meta << dup(0) << dup(2) << dup(5)
             << dup(3) << added;
    expected << "Connected... to " + s + "/tools/forks.html" << meta << dup(0) << dup(2) << dup(5)
             << dup(3) << added;
    expected << "All Done...6 Urls Found and added to your Sessions";
    EXPECT_EQ(r.out, lines(expected));
    EXPECT_EQ(pf.readBytes("data/session/session.hlx"),
              "[Session]\r\nCount=5\r\n[List]\r\n0=1271\r\n1=1272\r\n2=1273\r\n3=1274\r\n"
              "4=1275\r\n5=1276\r\n");
    const SessionRecord spades = SessionStore::readSession(pf.dir.path(), "1274");
    EXPECT_EQ(spades[SessionRecord::Url], s + "/tools/spades.html");
    EXPECT_EQ(spades[SessionRecord::Title], "Spades");
    EXPECT_EQ(spades[SessionRecord::Description], "Spades of forged steel");
    EXPECT_EQ(spades[SessionRecord::Key1 + 2], "digging");
}

TEST(SpiderCli, ContactSessionFillsEveryPageAndAsksNothing) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=0\r\n[List]\r\n0=Me\r\n");
    QByteArray me = "[Me]\r\nurl=http://old.example/\r\ntitle=Old\r\ncatagory=Business\r\n";
    for (const char* key : {"email", "name", "last", "company", "address1", "city", "state",
                            "phone", "fax", "zip", "country"})
        me += QByteArray(key) + "=my " + key + "\r\n";
    pf.writeBytes("data/session/Me.hlx", me);
    const lb::test::CliResult r =
        spider(pf.dir.path(), {"--contact", "Me", sim.url("/site/about.html")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.endsWith("All Done...5 Urls Found and added to your Sessions\n"));
    const SessionRecord about = SessionStore::readSession(pf.dir.path(), "1271");
    EXPECT_EQ(about[SessionRecord::Title], "About Garden Tools");
    EXPECT_EQ(about[SessionRecord::Phone], "my phone");
    EXPECT_EQ(about[SessionRecord::Category], "Business");
    EXPECT_TRUE(pf.readBytes("data/session/session.hlx")
                    .startsWith("[Session]\r\nCount=5\r\n[List]\r\n0=Me\r\n1=1271\r\n"));
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "Me")[SessionRecord::Title], "Old");
}

TEST(SpiderCli, RefusedStartsExitOneAndWriteNothing) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    lb::test::CliResult r = spider(pf.dir.path(), {"--yes", ""});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No Url: You have no Url to spider\n");
    r = spider(pf.dir.path(), {sim.url("/site/")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, MissingContact);
    EXPECT_TRUE(sim.requests().isEmpty());
    EXPECT_TRUE(QDir(pf.path("data/session")).isEmpty());
}

TEST(SpiderCli, BadArgumentsExitTwoWithOneLine) {
    ProgramFolder pf;
    const QList<QStringList> bad = {{},
                                    {"http://a/", "http://b/"},
                                    {"--fast", "http://a/"},
                                    {"--timeout", "-1", "http://a/"},
                                    {"--timeout", "1.5", "http://a/"},
                                    {"--timeout", "abc", "http://a/"},
                                    {"--timeout", "", "http://a/"},
                                    {"http://a/", "--timeout"},
                                    {"http://a/", "--contact"}};
    for (const QStringList& args : bad) {
        const lb::test::CliResult r = spider(pf.dir.path(), args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        EXPECT_TRUE(r.err.startsWith("linkbeacon-cli spider: ")) << r.err.constData();
    }
    EXPECT_TRUE(QDir(pf.path("data/session")).isEmpty());
}

TEST(SpiderCli, TimeOutAndUnwritableSessionsDoNotStopTheCrawl) {
    RawServer server;
    const QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
    server.addAnswer(head + "<html><title>Start</title><body><a href=\"hang.html\">h</a>"
                            "<a href=\"last.html\">l</a></body></html>");
    server.addScript({{RawServer::Step::HoldUntilClosed, {}, 0}});
    server.addAnswer(head + "<html><title>Last</title><body></body></html>");
    ProgramFolder pf;
    QDir(pf.dir.path()).mkpath("data/session/1271.hlx"); // the first save cannot be written
    const QString base = server.url();
    const lb::test::CliResult r =
        spider(pf.dir.path(), {"--yes", "--timeout", "1", base + "start.html"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, MissingContact + MissingCategory + "Linkbeacon: Unable to write to " +
                         pf.path("data/session/1271.hlx").toUtf8() + "\n");
    EXPECT_TRUE(r.out.endsWith("Connected... to " + base.toUtf8() +
                               "last.html\nExtracting Title..\nAdding Url To Session List...\n"
                               "All Done...3 Urls Found and added to your Sessions\n"))
        << r.out.constData();
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "1272")[SessionRecord::Url],
              base + "hang.html");
    EXPECT_EQ(SessionStore::readSession(pf.dir.path(), "1273")[SessionRecord::Title], "Last");
}
