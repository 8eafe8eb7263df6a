// The main window as it opens and its status memo, whose view is brought up to
// date after every line or after many (as a running submission draws it) and
// always ends holding exactly the memo's lines.
#include "app/KestrelState.h"
#include "app/MemoFollower.h"
#include "engines/EngineDatabase.h"
#include "reports/ui/ThtmlLite.h"
#include "sessions/SessionStore.h"
#include "support/MainWindowTest.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>

using namespace lb;
using lb::test::engineLines;

namespace {

class KestrelTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", engineLines({"Delta", "alpha", "Charlie", "bravo"}));
        pf.writeEngines("data/engines.hlz", engineLines({"Search1"}));
        pf.writeBytes("data/session/session.hlx", "[List]\r\n0=One\r\n1=Two\r\n");
    }
};

} // namespace

TEST_F(KestrelTest, OpensWithTheSortedListsAndTheFirstEngineShown) {
    TKestrel& k = open();
    EXPECT_TRUE(k.createdCompletely());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(k.windowTitle(), "Kestrel English");
    EXPECT_EQ(child<QLabel>("SpeedPanel")->text(), "25");
    EXPECT_TRUE(child<QRadioButton>("Ranger")->isChecked());
    EXPECT_EQ(child<QLineEdit>("urllist")->maxLength(), 100);
    EXPECT_EQ(child<QLineEdit>("Key3_Name")->maxLength(), 150);

    EXPECT_EQ(names("KeyList"), QStringList({"alpha", "bravo", "Charlie", "Delta"}));
    EXPECT_EQ(names("EngineList"), names("KeyList"));
    EXPECT_EQ(names("SesList"), QStringList({"One", "Two"}));
    EXPECT_EQ(names("SesList2"), QStringList({"One", "Two"}));
    EXPECT_EQ(child<QLineEdit>("Site_Name")->text(), "alpha");
    EXPECT_EQ(child<QLabel>("Loaded")->text(), pf.path("data/data.hlz"));
    EXPECT_EQ(child<QLabel>("Bcount")->text(), "4");
}

TEST_F(KestrelTest, AMissingFileIsOneMessageAndSkipsTheRemainingSteps) {
    // The picture comes before the ignore list: its absence leaves "alpha" in.
    const struct {
        const char* missing;
        int engines;
    } cases[] = {
        {"data/exclude.tmp", 4}, {"kwnlogo.bmp", 4}, {"kwnico.ico", 4}, {"data/data.hlz", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        pf.writeStandardFiles();
        pf.writeBytes("data/exclude.tmp", "alpha\r\n");
        pf.remove(c.missing);
        dialogs.clear();
        open();
        EXPECT_EQ(dialogs.texts(), QStringList({"Cannot open file " + pf.path(c.missing)}));
        EXPECT_FALSE(w->createdCompletely());
        EXPECT_EQ(names("EngineList").size(), c.engines);
        EXPECT_EQ(names("SesList").size(), c.engines ? 2 : 0); // no database: step 9 never ran
        w.reset();
    }
}

TEST_F(KestrelTest, EditingAndClicksReachTheStores) {
    open();
    child<QLineEdit>("Session_Name")->setText("Web Site");
    child<QLineEdit>("title")->setText("A title");
    child<QComboBox>("catagory")->setEditText("Health");
    child<QPushButton>("SiteAdd")->click();
    EXPECT_EQ(names("SesList"), QStringList({"One", "Two", "Web Site"}));
    const SessionRecord r = SessionStore::readSession(pf.dir.path(), "Web Site");
    EXPECT_EQ(r[SessionRecord::Title], "A title");
    EXPECT_EQ(r[SessionRecord::Category], "Health");

    // A database button switches the lists shown on both pages.
    child<QRadioButton>("EngineCk")->click();
    EXPECT_EQ(names("KeyList"), QStringList({"Search1"}));
    EXPECT_EQ(names("EngineList"), QStringList({"Search1"}));
    EXPECT_EQ(child<QLabel>("Loaded")->text(), pf.path("data/engines.hlz"));
}

TEST(MemoFollowerTest, ViewHoldsTheMemoLinesWhateverTheGapsBetweenShowsAndClearsAtOnce) {
    // Gaps of 1 to 40 lines between two shows: fewer than 18 new lines
    // append to the view, 18 or more replace it; blank lines, lines of two
    // blocks and clears in between.
    StatusMemo memo;
    QPlainTextEdit view, rebuilt; // rebuilt: what a view made from the memo's lines shows
    MemoFollower follower(memo, view);
    QObject::connect(&memo, &StatusMemo::lineAdded, [&] { follower.lineAdded(); });
    QObject::connect(&memo, &StatusMemo::cleared, [&] { follower.cleared(); });
    unsigned seed = 7;
    for (int round = 0, n = 0; round < 300; ++round) {
        seed = seed * 1103515245u + 12345u;
        for (int k = 1 + int((seed >> 16) % 40); k > 0; --k, ++n) {
            if (n % 97 == 50)
                memo.clear();
            if (n % 31 == 4)
                memo.add(QString());
            else if (n % 43 == 9)
                memo.add(QStringLiteral("first half %1\nsecond half").arg(n));
            else
                memo.add(QStringLiteral("%1 Contacting: Engine %1").arg(n));
        }
        follower.show();
        rebuilt.setPlainText(memo.lines().join('\n'));
        ASSERT_EQ(view.toPlainText(), rebuilt.toPlainText()) << "round " << round;
        EXPECT_TRUE(follower.upToDate());
    }
    EXPECT_EQ(memo.lines().size(), StatusMemo::MaxLines);
    EXPECT_FALSE(view.document()->isUndoAvailable());
    memo.clear(); // at once, without waiting for a show
    EXPECT_EQ(view.toPlainText(), "");
}
