// The crawler window under the offscreen platform: its buttons drive a crawl
// against target-sim, the counters and lists show it, the list it saves is
// opened in the main window and submitted to.
#include "app/TKestrel.h"
#include "common/ProxySettings.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "ffa/FfaCrawler.h"
#include "ffa/FfaList.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "net/HttpProt.h"
#include "support/MainWindowTest.h"
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

class CrawlerWindow : public lb::test::WindowTest<TFFA_Crawler> {
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
    QToolButton* button(const char* name) { return child<QToolButton>(name); }
    QString counter(const char* name) { return child<QLabel>(name)->text(); }
    QString status(const char* bar) {
        return child<QStatusBar>(bar)->findChild<QLabel*>(QLatin1String(bar) + "Text")->text();
    }
    QString urlAddr() { return child<QLineEdit>("UrlAddr")->text(); }

    TargetSim sim{{"--ffa-pages", "2"}};
    CrawlProfile profile;
    QString inUse;
};

} // namespace

TEST_F(CrawlerWindow, ButtonsDriveACrawlAndTheWindowShowsCountersAndRecords) {
    EXPECT_FALSE(button("SubStart")->isEnabled());
    dialogs.fileNames = {pf.path("data/custom/garden.hlx")};
    button("FileNew")->click();
    EXPECT_EQ(child<QLabel>("Loaded")->text(), pf.path("data/custom/garden.chc"));
    EXPECT_EQ(status("StatusBar1"), "Search string count for this profile is: 1 strings");
    EXPECT_EQ(counter("Panel13"), "1");
    ASSERT_TRUE(button("SubStart")->isEnabled());

    button("SubStart")->click();
    EXPECT_TRUE(button("SubStop")->isEnabled());
    for (const char* off : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_FALSE(button(off)->isEnabled()) << off;
    EXPECT_FALSE(child<QCheckBox>("ExOn_Off")->isEnabled());
    QStringList engineTexts;
    QObject::connect(&w.crawler(), &FfaCrawler::engineStatusChanged,
                     [&](const QString& t) { engineTexts.append(t); });
    ASSERT_TRUE(runUntil([&] { return urlAddr() == kAllDone && !w.crawler().busy(); }, 30000));
    ASSERT_FALSE(engineTexts.isEmpty());
    EXPECT_TRUE(engineTexts.first().startsWith("Contacting: " + sim.url("/altavista")));
    EXPECT_EQ(status("StatusBar2"), engineTexts.last());
    for (const char* on : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_TRUE(button(on)->isEnabled()) << on;
    EXPECT_FALSE(button("SubStop")->isEnabled());
    // Six demo pages with a form and two generated ones; the page without one is rejected.
    EXPECT_EQ(counter("Panel6"), "2");
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
    EXPECT_EQ(vars->topLevelItem(15)->text(0), "URL");
    EXPECT_EQ(vars->topLevelItem(15)->text(1), "url");

    // Saved and opened again: the same list.
    button("FileSave")->click();
    dialogs.fileNames = {pf.path("data/custom/garden.chc")};
    button("OpenPro")->click();
    EXPECT_EQ(counter("Panel11"), "8");
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();

    // The database the main window has loaded is refused.
    inUse = pf.path("data/custom/garden.chc");
    dialogs.fileNames = {inUse};
    button("OpenPro")->click();
    EXPECT_EQ(dialogs.texts().last(), "The database you have selected is in use by the rangers.");

    QSignalSpy help(&w, &TFFA_Crawler::helpRequested);
    button("SiteHelp")->click();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help.at(0).at(0).toString(), "\\help\\crawler.htm");
    TCustomQ options;
    w.setOptionsWindow(&options);
    button("Customize")->click();
    EXPECT_TRUE(options.isVisible());
}

TEST(CrawlerInMainWindow, AListOfTheCrawlerIsSubmittedToFromTheMainWindow) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    pf.writeStandardFiles();
    pf.writeEngines("data/data.hlz", {});
    lb::test::writeShopSession(pf, "title=Shop\r\n");
    // Records as the crawler saves them.
    QStringList lines;
    for (const char* page : {"garden", "pond", "kites"})
        lines << QStringLiteral("%1=%2|%3|title|url|email||section|Cat1||&action=add|"
                                "|||||||||POST||||||||||||||||||")
                     .arg(QLatin1String(page),
                          sim.url(QStringLiteral("/ffa/%1/links.htm").arg(page)),
                          sim.url(QStringLiteral("/ffa/%1/add.cgi").arg(page)));
    saveFfaListFile(lines, pf.path("data/custom/ffa.chc"));
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel main(dialogs);
    TFFA_Crawler crawler;
    main.setWindows(nullptr, nullptr, nullptr, &crawler, nullptr);
    main.findChild<QPushButton*>("Crawler")->click();
    EXPECT_TRUE(crawler.isVisible());
    EXPECT_EQ(crawler.Pathtxt()->text(), pf.dir.path());
    const int records = 3;

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
    EXPECT_EQ(posted, records);
    // The crawler refuses to open the database the main window has loaded.
    dialogs.fileNames = {pf.path("data/custom/ffa.chc")};
    crawler.findChild<QToolButton*>("OpenPro")->click();
    EXPECT_EQ(dialogs.texts().last(), "The database you have selected is in use by the rangers.");
}
