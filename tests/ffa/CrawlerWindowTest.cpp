// The crawler window under the offscreen platform: its buttons drive a crawl
// against target-sim, the counters and lists show it.
#include "common/ProxySettings.h"
#include "ffa/FfaCrawler.h"
#include "ffa/ui/TCustomQ.h"
#include "ffa/ui/TFFA_Crawler.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>

using namespace lb;
using lb::test::runUntil;
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

// The crawl's rules belong to FfaCrawler's tests; here the buttons start it,
// the controls are off while it runs, and the counters and records show.
TEST_F(CrawlerWindow, ButtonsDriveACrawlAndTheWindowShowsCountersAndRecords) {
    EXPECT_FALSE(button("SubStart")->isEnabled());
    dialogs.fileNames = {pf.path("data/custom/garden.hlx")};
    button("FileNew")->click();
    EXPECT_EQ(child<QLabel>("Loaded")->text(), pf.path("data/custom/garden.chc"));
    EXPECT_EQ(status("StatusBar1"), "Search string count for this profile is: 1 strings");

    button("SubStart")->click();
    EXPECT_TRUE(button("SubStop")->isEnabled());
    for (const char* off : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_FALSE(button(off)->isEnabled()) << off;
    EXPECT_FALSE(child<QCheckBox>("ExOn_Off")->isEnabled());
    ASSERT_TRUE(runUntil([&] { return urlAddr() == kAllDone && !w.crawler().busy(); }, 30000));
    EXPECT_EQ(status("StatusBar2"), "Engine paused.. Waiting to restart when needed.");
    for (const char* on : {"SubStart", "FileNew", "OpenPro", "FileSave", "Customize"})
        EXPECT_TRUE(button(on)->isEnabled()) << on;
    EXPECT_FALSE(button("SubStop")->isEnabled());
    // Six demo pages with a form and two generated ones; the page without one is rejected.
    EXPECT_EQ(counter("Panel11"), "8");
    EXPECT_EQ(counter("Panel12"), "1");
    auto* keyList = child<QListView>("KeyList");
    ASSERT_EQ(keyList->model()->rowCount(), 8);

    // Choosing a record shows its fields.
    keyList->setCurrentIndex(keyList->model()->index(0, 0));
    auto* vars = child<QTreeWidget>("FormVariables");
    EXPECT_EQ(vars->topLevelItem(0)->text(1), keyList->model()->index(0, 0).data().toString());
    EXPECT_EQ(vars->topLevelItem(15)->text(1), "url");

    QSignalSpy help(&w, &TFFA_Crawler::helpRequested);
    button("SiteHelp")->click();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help.at(0).at(0).toString(), "\\help\\crawler.htm");
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
}
