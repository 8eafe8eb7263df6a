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

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<p>x</p>");
}

} // namespace

TEST(ReportBrowser, EmptyFolderTellsTheUserAndChangesNothing) {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    ReportBrowser browser(dialogs);
    browser.setFolder(dir.path());
    EXPECT_TRUE(browser.step(Dir::Next).isEmpty());
    EXPECT_TRUE(browser.step(Dir::Back).isEmpty());
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("There ar no Reports to open"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("No Reports"));
    EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(browser.currentIndex(), -1);
}

TEST(ReportBrowser, OneReportStaysSelectedBothWays) {
    QTemporaryDir dir;
    touch(dir.path() + "/only.htm");
    test::ScriptedDialogs dialogs;
    ReportBrowser browser(dialogs);
    browser.setFolder(dir.path());
    EXPECT_EQ(browser.step(Dir::Next), dir.path() + "/only.htm");
    EXPECT_EQ(browser.step(Dir::Back), dir.path() + "/only.htm");
    EXPECT_EQ(browser.currentIndex(), 0);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST(ReportBrowser, ThreeReportsNextAndBackStopAtTheEnds) {
    QTemporaryDir dir;
    for (const char* n : {"c.htm", "a.htm", "B.htm"})
        touch(dir.path() + "/" + n);
    test::ScriptedDialogs dialogs;
    ReportBrowser browser(dialogs);
    browser.setFolder(dir.path());
    EXPECT_EQ(browser.names(), (QStringList{"a.htm", "B.htm", "c.htm"}));
    EXPECT_EQ(browser.step(Dir::Next), dir.path() + "/B.htm");
    EXPECT_EQ(browser.step(Dir::Next), dir.path() + "/c.htm");
    EXPECT_EQ(browser.step(Dir::Next), dir.path() + "/c.htm");
    EXPECT_EQ(browser.step(Dir::Back), dir.path() + "/B.htm");

    // Nothing selected: Back shows the first.
    browser.setCurrentIndex(-1);
    EXPECT_EQ(browser.step(Dir::Back), dir.path() + "/a.htm");
}

TEST(ReportBrowser, RereadKeepsTheCurrentReport) {
    QTemporaryDir dir;
    touch(dir.path() + "/m.htm");
    test::ScriptedDialogs dialogs;
    ReportBrowser browser(dialogs);
    browser.setFolder(dir.path());
    browser.step(Dir::Next);
    touch(dir.path() + "/a.htm");
    browser.reread();
    EXPECT_EQ(browser.names().size(), 2);
    EXPECT_EQ(browser.currentName(), QStringLiteral("m.htm"));
    EXPECT_EQ(browser.reportPathFor(QStringLiteral("s")), dir.path() + "/s.htm");
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
