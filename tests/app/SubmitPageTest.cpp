// "Step3 Submit" in the window: pressing Start runs the sessions of
// "Sessions to submit" against a local target-sim and the page shows it,
// catching up with the run also while it is paused.
#include "common/IniFile.h"
#include "engines/EngineDatabase.h"
#include "reports/ui/ResultsPage.h"
#include "submit/SubmissionRun.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>

using namespace lb;
using lb::test::TargetSim;

namespace {

// Eight engines, every fourth answering 500, and the session "Shop".
class SubmitPageTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        MainWindowTest::SetUp();
        QStringList lines;
        for (int i = 0; i < 8; ++i)
            lines.append(lb::test::engineLine(
                QStringLiteral("Target%1").arg(i),
                sim.url(i % 4 == 3 ? QStringLiteral("/status/500/Server%20Error")
                                   : QStringLiteral("/delay/20/status/200/OK"))));
        pf.writeEngines("data/data.hlz", lines);
        lb::test::writeShopSession(pf);
        open();
    }
    QString text(const char* name) { return child<QLabel>(name)->text(); }

    TargetSim sim;
};

using SubmitRun = lb::test::MainWindowTest;

} // namespace

TEST_F(SubmitPageTest, StartRunsTheSessionAndThePageShowsTheCounts) {
    child<QCheckBox>("Batch")->setChecked(false);
    w->engines().setBatchIncluded(false);
    lb::test::queueSession(*w);
    ASSERT_EQ(child<QListView>("SubList")->model()->rowCount(), 1);

    auto* start = child<QPushButton>("SubStart");
    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(child<QRadioButton>("Ranger")->isEnabled());
    EXPECT_EQ(child<QLabel>("Website")->text(), "http://shop.example.com/");

    ASSERT_TRUE(lb::test::runUntil([&] { return start->isEnabled(); }));
    EXPECT_EQ(text("Successfull"), "6");
    EXPECT_EQ(text("Failed"), "2");
    EXPECT_EQ(text("Posting_to"), "8");
    EXPECT_EQ(child<QProgressBar>("Bar3")->value(), 6);
    EXPECT_FALSE(child<QPushButton>("SubStop")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("Ranger")->isEnabled());
    EXPECT_EQ(child<QListView>("SubList")->model()->rowCount(), 0);
    EXPECT_TRUE(child<QPlainTextEdit>("Memo3")->toPlainText().endsWith("All Submissions Finished"));
    EXPECT_TRUE(pf.exists("reports/Shop.htm"));
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.texts().join("|").toStdString();

    // The run ends on the report; its CSV opens in the desktop's program.
    QStringList opened;
    w->resultsPage()->setFileOpener([&](const QString& path) {
        opened.append(path);
        return true;
    });
    auto* openCsv = child<QPushButton>("OpenCsv");
    ASSERT_TRUE(openCsv->isEnabled());
    openCsv->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(QFileInfo(opened[0]).canonicalFilePath(),
              QFileInfo(pf.path("reports/Shop.csv")).canonicalFilePath());
    EXPECT_EQ(pf.readBytes("reports/Shop.csv").count("\r\n"), 9); // header + 8 engines
}

TEST_F(SubmitPageTest, StartWithoutSessionsAndTheArrowWithoutSelectionRefuse) {
    child<QPushButton>("SubStart")->click();
    child<QPushButton>("AddSubmitSession")->click();
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[0].text, "You have no sessions to submit");
    EXPECT_EQ(dialogs.shown[0].caption, "No Session");
    EXPECT_EQ(dialogs.shown[1].text, "You have not selected an item to Transfer");
    EXPECT_EQ(dialogs.shown[1].caption, "No Item");
    EXPECT_TRUE(child<QPushButton>("SubStart")->isEnabled());
}

TEST_F(SubmitPageTest, EncodeBoxShowsTheSettingAndWritesItAtOnce) {
    auto* encode = child<QCheckBox>("EncodeValues");
    EXPECT_TRUE(encode->isChecked());
    encode->click();
    EXPECT_EQ(IniFile(pf.path("zkt.ini")).readString("Submit", "EncodeValues"), "0");
    encode->click();
    EXPECT_EQ(IniFile(pf.path("zkt.ini")).readString("Submit", "EncodeValues"), "1");
}

// The page draws its counters and memo a few times a second rather than for
// every request; paused, with nothing more to come, it still catches up.
TEST_F(SubmitRun, PausedRunShowsItsAbortedRequestsOnThePage) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    QStringList lines;
    for (int i = 0; i < 30; ++i)
        lines.append(lb::test::engineLine(QStringLiteral("Silent%1").arg(i), sim.url("/hang")));
    pf.writeEngines("data/data.hlz", lines);
    lb::test::writeShopSession(pf);
    open().show();
    w->notebook()->setCurrentIndex(3);
    w->engines().setBatchIncluded(false);
    w->subList().add("Shop");
    auto* failed = child<QLabel>("Failed");
    auto* bar4 = child<QProgressBar>("Bar4");
    auto* memo = child<QPlainTextEdit>("Memo3");
    auto* pause = child<QPushButton>("SubPause");
    ASSERT_TRUE(failed && bar4 && memo && pause);

    child<QPushButton>("SubStart")->click();
    // 30 engines at speed 25: the first burst starts 5, none answers.
    ASSERT_TRUE(lb::test::runUntil([&] { return w->submission().inFlight() == 5; }));
    pause->click();
    ASSERT_TRUE(lb::test::runUntil([&] { return w->submission().inFlight() == 0; }));
    EXPECT_EQ(w->submission().counters().failed, 5);
    EXPECT_TRUE(w->submission().paused());
    EXPECT_TRUE(lb::test::runUntil([&] {
        return failed->text() == QLatin1String("5") && bar4->value() == 5 &&
               memo->toPlainText() == w->memo3().lines().join('\n');
    })) << failed->text().toStdString()
        << " | " << memo->toPlainText().toStdString();
    EXPECT_EQ(memo->toPlainText().count(
                  QStringLiteral("Submission Finished  Result = Submission Paused \"Aborted\"")),
              5)
        << memo->toPlainText().toStdString();
    EXPECT_TRUE(child<QPushButton>("SubStart")->isEnabled());
    EXPECT_FALSE(pause->isEnabled());
}
