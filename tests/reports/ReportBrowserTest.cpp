#include "reports/ReportBrowser.h"
#include "reports/HelpPages.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace lb;
using Dir = ReportBrowser::Direction;

namespace {

class ReportBrowserTest : public ::testing::Test {
protected:
    // Report files in the folder, then the browser reads it.
    void open(std::initializer_list<const char*> names) {
        for (const char* n : names)
            touch(n);
        browser.setFolder(dir.path());
    }
    void touch(const char* name) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<p>x</p>");
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    ReportBrowser browser{dialogs};
};

} // namespace

TEST_F(ReportBrowserTest, EmptyFolderTellsTheUserAndChangesNothing) {
    open({});
    EXPECT_TRUE(browser.step(Dir::Next).isEmpty());
    EXPECT_TRUE(browser.step(Dir::Back).isEmpty());
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("There ar no Reports to open"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("No Reports"));
    EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(browser.currentIndex(), -1);
}

TEST_F(ReportBrowserTest, OneReportStaysSelectedBothWays) {
    open({"only.htm"});
    EXPECT_EQ(browser.step(Dir::Next), path("only.htm"));
    EXPECT_EQ(browser.step(Dir::Back), path("only.htm"));
    EXPECT_EQ(browser.currentIndex(), 0);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(ReportBrowserTest, ThreeReportsNextAndBackStopAtTheEnds) {
    open({"c.htm", "a.htm", "B.htm"});
    EXPECT_EQ(browser.names(), (QStringList{"a.htm", "B.htm", "c.htm"}));
    EXPECT_EQ(browser.step(Dir::Next), path("B.htm"));
    EXPECT_EQ(browser.step(Dir::Next), path("c.htm"));
    EXPECT_EQ(browser.step(Dir::Next), path("c.htm"));
    EXPECT_EQ(browser.step(Dir::Back), path("B.htm"));

    // Nothing selected: Back shows the first.
    browser.setCurrentIndex(-1);
    EXPECT_EQ(browser.step(Dir::Back), path("a.htm"));
}

TEST_F(ReportBrowserTest, RereadKeepsTheCurrentReport) {
    open({"m.htm"});
    browser.step(Dir::Next);
    touch("a.htm");
    browser.reread();
    EXPECT_EQ(browser.names().size(), 2);
    EXPECT_EQ(browser.currentName(), QStringLiteral("m.htm"));
    EXPECT_EQ(browser.reportPathFor(QStringLiteral("s")), path("s.htm"));
    EXPECT_TRUE(browser.reportPathFor(QStringLiteral("../s")).isEmpty());
}

TEST(HelpPages, ButtonsMapToTheirPages) {
    EXPECT_EQ(helpPage(HelpTopic::StartUp), QStringLiteral("\\help\\help.htm"));
    EXPECT_EQ(helpPage(*mainWindowHelpTopic("SiteHelp")), QStringLiteral("\\help\\siteinfo.htm"));
    EXPECT_EQ(helpPage(*mainWindowHelpTopic("SessionHelp")), QStringLiteral("\\help\\session.htm"));
    EXPECT_EQ(helpPage(*mainWindowHelpTopic("SubHelp")), QStringLiteral("\\help\\submit.htm"));
    EXPECT_EQ(helpPage(*mainWindowHelpTopic("ResHelp")), QStringLiteral("\\help\\results.htm"));
    EXPECT_EQ(helpPage(*mainWindowHelpTopic("BaseHelp")), QStringLiteral("\\help\\manual.htm"));
    EXPECT_EQ(helpPage(HelpTopic::Crawler), QStringLiteral("\\help\\crawler.htm"));
    EXPECT_EQ(helpPage(HelpTopic::CrawlerSettings), QStringLiteral("\\help\\settings.htm"));
    EXPECT_EQ(helpPage(HelpTopic::MetaCreator), QStringLiteral("\\help\\meta.htm"));
    EXPECT_FALSE(mainWindowHelpTopic("Nope").has_value());
    EXPECT_EQ(helpPagePath("/pf", HelpTopic::Results), QStringLiteral("/pf/help/results.htm"));
}
