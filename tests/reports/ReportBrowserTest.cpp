#include "reports/ReportBrowser.h"
#include "support/Files.h"
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
    void touch(const char* name) { lb::test::writeFile(path(name), "<p>x</p>"); }
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

TEST_F(ReportBrowserTest, ThreeReportsNextAndBackStopAtTheEnds) {
    open({"c.htm", "a.htm", "B.htm"});
    EXPECT_EQ(browser.names(), (QStringList{"a.htm", "B.htm", "c.htm"}));
    EXPECT_EQ(browser.step(Dir::Next), path("B.htm"));
    EXPECT_EQ(browser.step(Dir::Next), path("c.htm"));
    EXPECT_EQ(browser.step(Dir::Next), path("c.htm"));
    EXPECT_EQ(browser.step(Dir::Back), path("B.htm"));
    EXPECT_EQ(browser.step(Dir::Back), path("a.htm"));
    EXPECT_EQ(browser.step(Dir::Back), path("a.htm"));

    // Nothing selected: Back shows the first.
    browser.setCurrentIndex(-1);
    EXPECT_EQ(browser.step(Dir::Back), path("a.htm"));
}

TEST_F(ReportBrowserTest, AReportsNameStaysInTheFolder) {
    open({});
    EXPECT_EQ(browser.reportPathFor(QStringLiteral("s")), path("s.htm"));
    EXPECT_TRUE(browser.reportPathFor(QStringLiteral("../s")).isEmpty());
}
