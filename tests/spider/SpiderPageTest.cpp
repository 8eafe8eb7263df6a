// The "(Option) Deep Promote Spider" sheet in the main window, driven by its
// controls against target-sim's demo site.
#include "spider/Spider.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

using namespace lb;
using lb::test::TargetSim;

namespace {

class SpiderPageTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", {lb::test::engineLine("Target", sim.url("/demo/x"))});
        lb::test::writeShopSession(pf);
        open().show();
        w->notebook()->setCurrentIndex(TKestrel::SiteInfoPage);
    }
    void fillContact() {
        for (const char* name : {"email", "name", "LastN", "Company", "Address1", "City", "State",
                                 "Phone", "Fax", "Zip", "Country"})
            child<QLineEdit>(name)->setText(QStringLiteral("my ") + QLatin1String(name));
        child<QComboBox>("catagory")->setEditText("Business");
    }
    QString status() { return child<QPlainTextEdit>("MapStat")->toPlainText(); }

    TargetSim sim;
};

} // namespace

TEST_F(SpiderPageTest, GetOnTheDemoSiteListsTheUrlsAndSavesEachPageAsASession) {
    auto* sheets = child<QTabWidget>("SessionSheets");
    sheets->setCurrentIndex(2);
    fillContact();
    auto* get = child<QPushButton>("MapButton");
    auto* abort = child<QPushButton>("MapAbort");
    EXPECT_FALSE(abort->isEnabled());
    EXPECT_TRUE(child<QLabel>("Panel36")->styleSheet().contains("red"));

    const QString start = sim.url("/site/");
    child<QLineEdit>("SiteUrl")->setText(start);
    get->click();
    EXPECT_TRUE(abort->isEnabled());
    EXPECT_TRUE(child<QLabel>("Panel36")->styleSheet().contains("lime"));

    ASSERT_TRUE(lb::test::runUntil([&] { return status().startsWith("All Done..."); }, 20000))
        << status().toStdString();
    EXPECT_EQ(status(), "All Done...6 Urls Found and added to your Sessions");
    EXPECT_TRUE(get->isEnabled());
    EXPECT_TRUE(child<QLabel>("Panel36")->styleSheet().contains("red"));

    const QString site = sim.url("/site");
    EXPECT_EQ(names("SiteList"),
              QStringList({site, start, site + "/about.html", site + "/contact.html",
                           site + "/tools/forks.html", site + "/tools/spades.html"}));
    EXPECT_EQ(names("SesList"),
              QStringList({"Shop", "1271", "1272", "1273", "1274", "1275", "1276"}));
    EXPECT_EQ(names("SesList2"), names("SesList"));
    EXPECT_EQ(child<QLabel>("Website")->text(),
              "127.0.0.1:" + QString::number(sim.port()) + "/site");
    // The editor holds the last page saved, with the contact data typed above.
    EXPECT_EQ(child<QLineEdit>("Session_Name")->text(), "1276");
    EXPECT_EQ(child<QLineEdit>("title")->text(), "Forks");
    EXPECT_EQ(child<QLineEdit>("Phone")->text(), "my Phone");
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.texts().join("|").toStdString();
    // The crawl leaves its sitemap under the program folder, named after SiteKey.
    EXPECT_EQ(pf.readBytes("sitemaps/127.xml").count("<url><loc>"), 6);
}
