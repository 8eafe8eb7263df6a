// The crawler window under the offscreen platform: its buttons drive a crawl
// against target-sim, the counters and lists show it, the list it saves is
// opened in the main window and submitted to.
#include "app/TKestrel.h"
#include "common/ProxySettings.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "ffa/FfaCrawler.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "FfaTestPages.h"
#include "net/HttpProt.h"
#include "support/DemoFolder.h"
#include "support/MainWindowTest.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::runUntil;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

const char kAllDone[] = "All Done crawling please try another custom search";

// A new list made and crawled with the window's buttons; false if the crawl never ended.
bool crawlNewList(TFFA_Crawler& crawler, ScriptedDialogs& dialogs, const QString& list) {
    dialogs.fileNames = {list};
    crawler.findChild<QToolButton*>("FileNew")->click();
    crawler.findChild<QToolButton*>("SubStart")->click();
    auto* url = crawler.findChild<QLineEdit*>("UrlAddr");
    return runUntil([&] { return url->text() == kAllDone && !crawler.crawler().busy(); }, 30000);
}

class CrawlerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("zkt.ini",
                      "[Crawler]\r\nSearchBase=" + sim.url("/altavista").toUtf8() + "\r\n");
        profile.terms1 = {"garden"};
        profile.terms2 = {"free"};
        profile.bonus1 = {"links"};
        profile.bonus2 = {"ffa"};
        w.attach(
            &dialogs, [this] { return inUse; }, ProxySettings());
        w.setProfileSource([this] { return profile; });
        w.Pathtxt()->setText(pf.dir.path());
        w.crawler().setPollInterval(20);
        w.show();
    }
    template <class T> T* child(const char* name) { return lb::test::named<T>(&w, name); }
    QToolButton* button(const char* name) { return child<QToolButton>(name); }
    QString counter(const char* name) { return child<QLabel>(name)->text(); }
    QString status(const char* bar) {
        return child<QStatusBar>(bar)->findChild<QLabel*>(QLatin1String(bar) + "Text")->text();
    }
    QString urlAddr() { return child<QLineEdit>("UrlAddr")->text(); }

    TargetSim sim{{"--ffa-pages", "2"}};
    ProgramFolder pf;
    ScriptedDialogs dialogs;
    TFFA_Crawler w;
    CrawlProfile profile;
    QString inUse;
};

} // namespace

TEST_F(CrawlerWindow, StartCrawlsAndTheWindowShowsCountersAndRecords) {
    EXPECT_FALSE(button("SubStart")->isEnabled());
    EXPECT_FALSE(button("SubStop")->isEnabled());
    EXPECT_FALSE(button("FileSave")->isEnabled());
    EXPECT_EQ(counter("Panel11"), "0");
    EXPECT_EQ(button("FileNew")->toolTip(), "Create New Database");

    dialogs.fileNames = {pf.path("data/custom/garden.hlx")};
    button("FileNew")->click();
    EXPECT_EQ(child<QLabel>("Loaded")->text(), pf.path("data/custom/garden.chc"));
    EXPECT_EQ(status("StatusBar1"), "Search string count for this profile is: 1 strings");
    EXPECT_EQ(counter("Panel13"), "1");
    EXPECT_EQ(counter("Panel10"), "1");
    ASSERT_TRUE(button("SubStart")->isEnabled());

    button("SubStart")->click();
    EXPECT_TRUE(button("SubStop")->isEnabled());
    for (const char* off : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_FALSE(button(off)->isEnabled()) << off;
    EXPECT_FALSE(child<QCheckBox>("EngContact")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>("ExOn_Off")->isEnabled());
    QStringList engineTexts;
    QObject::connect(&w.crawler(), &FfaCrawler::engineStatusChanged,
                     [&](const QString& t) { engineTexts.append(t); });

    ASSERT_TRUE(runUntil([&] { return urlAddr() == kAllDone && !w.crawler().busy(); }, 30000));
    EXPECT_FALSE(button("SubStop")->isEnabled());
    ASSERT_FALSE(engineTexts.isEmpty());
    EXPECT_TRUE(engineTexts.first().startsWith("Contacting: " + sim.url("/altavista")));
    EXPECT_EQ(status("StatusBar2"), engineTexts.last());
    for (const char* on : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_TRUE(button(on)->isEnabled()) << on;
    EXPECT_EQ(counter("Bcount"), "0");
    EXPECT_EQ(counter("Panel6"), "2");
    EXPECT_EQ(counter("Panel14"), "0");
    // Six demo pages with a form and two generated ones; the page without one is rejected.
    EXPECT_EQ(counter("Panel11"), "8");
    EXPECT_EQ(counter("Panel12"), "1");
    EXPECT_EQ(counter("Panel5"), "9");
    auto* keyList = child<QListView>("KeyList");
    ASSERT_EQ(keyList->model()->rowCount(), 8);

    // Choosing a record shows its fields.
    keyList->setCurrentIndex(keyList->model()->index(0, 0));
    auto* vars = child<QTreeWidget>("FormVariables");
    EXPECT_EQ(vars->topLevelItem(0)->text(0), "Site_Name");
    EXPECT_EQ(vars->topLevelItem(0)->text(1), keyList->model()->index(0, 0).data().toString());
    EXPECT_TRUE(vars->topLevelItem(1)->text(1).startsWith(sim.url("/ffa/")));
    EXPECT_EQ(vars->topLevelItem(15)->text(0), "URL");
    EXPECT_EQ(vars->topLevelItem(15)->text(1), "url");

    // Saved and opened again: the same list.
    button("FileSave")->click();
    dialogs.fileNames = {pf.path("data/custom/garden.chc")};
    button("OpenPro")->click();
    EXPECT_EQ(counter("Panel11"), "8");
    EXPECT_EQ(keyList->model()->rowCount(), 8);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
}

TEST_F(CrawlerWindow, StopReturnsTheButtonsAndHelpAndOptionsOpen) {
    lb::test::RawServer engine;
    w.crawler().setSearchBase(engine.url("/altavista"));
    engine.addScript({{lb::test::RawServer::Step::HoldUntilClosed, {}, 0}});
    dialogs.fileNames = {pf.path("data/custom/stop.txt")};
    button("FileNew")->click();
    button("SubStart")->click();
    ASSERT_TRUE(button("SubStop")->isEnabled());
    button("SubStop")->click();
    EXPECT_FALSE(button("SubStop")->isEnabled());
    EXPECT_TRUE(button("SubStart")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("EngContact")->isEnabled());
    // The search request still runs; when it ends nothing more starts.
    w.crawler().http2().Abort();
    ASSERT_TRUE(runUntil([&] { return !w.crawler().busy(); }));
    EXPECT_EQ(counter("Panel6"), "1");
    EXPECT_NE(urlAddr(), kAllDone);

    QSignalSpy help(&w, &TFFA_Crawler::helpRequested);
    button("SiteHelp")->click();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help.at(0).at(0).toString(), "\\help\\crawler.htm");

    TCustomQ options;
    w.setOptionsWindow(&options);
    button("Customize")->click();
    EXPECT_TRUE(options.isVisible());

    // The database the main window has loaded is refused.
    inUse = pf.path("data/custom/stop.txt");
    dialogs.fileNames = {inUse};
    button("OpenPro")->click();
    EXPECT_EQ(dialogs.texts().last(), "The database you have selected is in use by the rangers.");
}

TEST_F(CrawlerWindow, ListButtonsStayOffWhileAPageIsAnalysed) {
    lb::test::RawServer engine, pages;
    w.crawler().setSearchBase(engine.url("/altavista"));
    const QString url = pages.url("/ffa/links.htm");
    engine.addAnswer("HTTP/1.0 200 OK\r\n\r\n<dt><b>1. </B><A HREF=\"" + url.toUtf8() +
                     "\">result</A>\r\n");
    pages.addAnswer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + lb::test::longFfaPage());
    profile.maxKb = "100000";
    dialogs.fileNames = {pf.path("data/custom/busy.chc")};
    button("FileNew")->click();
    button("SubStart")->click();

    // The user presses Stop in the middle of the analysis, then New, Open and Save.
    int breaths = 0;
    bool offEveryTime = true;
    QObject::connect(&w.crawler(), &FfaCrawler::progressChanged, &w, [&] {
        if (!w.crawler().analysing())
            return;
        ++breaths;
        if (button("SubStop")->isEnabled())
            button("SubStop")->click();
        for (const char* name : {"FileNew", "OpenPro", "FileSave", "SubStart", "Customize"})
            offEveryTime = offEveryTime && !button(name)->isEnabled();
        dialogs.fileNames = {pf.path("data/custom/other.chc")};
        button("FileNew")->click();
        button("OpenPro")->click();
        button("FileSave")->click();
    });
    ASSERT_TRUE(runUntil([&] { return breaths > 0 && !w.crawler().busy(); }, 60000));
    EXPECT_TRUE(offEveryTime);
    EXPECT_EQ(w.crawler().loadedName(), pf.path("data/custom/busy.chc"));
    EXPECT_FALSE(QFileInfo::exists(pf.path("data/custom/other.chc")));
    EXPECT_EQ(counter("Panel11"), "1"); // Links Saved
    for (const char* name : {"FileNew", "OpenPro", "FileSave", "SubStart", "Customize"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    EXPECT_FALSE(button("SubStop")->isEnabled());
}

TEST(CrawlerInMainWindow, ACrawledListIsSubmittedToFromTheMainWindow) {
    TargetSim sim({"--ffa-pages", "0"});
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    pf.writeStandardFiles();
    pf.writeEngines("data/data.hlz", {});
    lb::test::writeShopSession(pf, "title=Shop\r\n");
    pf.writeBytes("zkt.ini", "[Crawler]\r\nSearchBase=" + sim.url("/altavista").toUtf8() + "\r\n");
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel main(dialogs);
    TFFA_Crawler crawler;
    main.setWindows(nullptr, nullptr, nullptr, &crawler, nullptr);
    CrawlProfile profile;
    profile.terms1 = profile.terms2 = profile.bonus1 = profile.bonus2 = {"x"};
    crawler.setProfileSource([&] { return profile; });
    crawler.crawler().setPollInterval(20);
    main.findChild<QPushButton*>("Crawler")->click();
    EXPECT_TRUE(crawler.isVisible());
    EXPECT_EQ(crawler.Pathtxt()->text(), pf.dir.path());

    ASSERT_TRUE(crawlNewList(crawler, dialogs, pf.path("data/custom/ffa.hlx")));
    crawler.findChild<QToolButton*>("FileSave")->click();
    const int records = crawler.findChild<QLabel*>("Panel11")->text().toInt();
    ASSERT_EQ(records, 6);

    // The main window opens the list as a custom database and submits to it.
    dialogs.fileNames = {pf.path("data/custom/ffa.chc")};
    main.findChild<QRadioButton*>("Custom")->click();
    EXPECT_EQ(main.engines().loaded(), pf.path("data/custom/ffa.chc"));
    main.engines().setBatchIncluded(false);
    lb::test::queueSession(main);
    ASSERT_TRUE(lb::test::submitAndWait(main));
    const int ok = main.findChild<QLabel*>("Successfull")->text().toInt();
    const int failed = main.findChild<QLabel*>("Failed")->text().toInt();
    EXPECT_EQ(ok + failed, records);
    EXPECT_GT(ok, 0);
    // The forms' actions were posted to.
    int posted = 0;
    for (const QJsonObject& r : sim.requests())
        if (r.value("target").toString().contains("/ffa/") &&
            r.value("target").toString().endsWith(".cgi") && r.value("method") == "POST")
            ++posted;
    EXPECT_GE(posted, 4);
    // The crawler refuses to open the database the main window has loaded.
    dialogs.fileNames = {pf.path("data/custom/ffa.chc")};
    crawler.findChild<QToolButton*>("OpenPro")->click();
    EXPECT_EQ(dialogs.texts().last(), "The database you have selected is in use by the rangers.");
}

TEST(CrawlerDemo, TheBundledFolderCrawlsTheDemoPagesWithItsDefaultProfile) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(lb::test::copyBundledFolder(dir.path(), sim.port()));
    lb::test::InFolder cwd(dir.path());
    ScriptedDialogs dialogs;
    TKestrel main(dialogs);
    TFFA_Crawler crawler;
    TCustomQ options;
    main.setWindows(nullptr, nullptr, nullptr, &crawler, &options);
    main.findChild<QPushButton*>("Crawler")->click();
    EXPECT_EQ(crawler.crawler().searchBase(), sim.url("/altavista"));
    EXPECT_EQ(crawler.crawler().options().combinationCount(), 2);
    crawler.crawler().setPollInterval(20);
    ASSERT_TRUE(crawlNewList(crawler, dialogs, dir.filePath("data/custom/demo.hlx")));
    // Six demo pages with a form and the twelve generated ones.
    EXPECT_EQ(crawler.findChild<QLabel*>("Panel11")->text(), "18");
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
}
