// While a run goes on, "Step3 Submit" draws its counters and memo a few
// times a second rather than for every request; whatever the run does, the
// page catches up with it, also while paused.
#include "engines/EngineDatabase.h"
#include "submit/SubmissionRun.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

TEST(SubmitDisplayTest, PausedRunShowsItsAbortedRequestsOnThePage) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    pf.writeStandardFiles();
    QStringList lines;
    for (int i = 0; i < 30; ++i)
        lines.append(lb::test::engineLine(QStringLiteral("Silent%1").arg(i),
                                          sim.url(QStringLiteral("/hang"))));
    pf.writeEngines("data/data.hlz", lines);
    lb::test::writeShopSession(pf);
    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    {
        TKestrel w(dialogs);
        w.show();
        w.notebook()->setCurrentIndex(3);
        w.engines().setBatchIncluded(false);
        w.subList().add(QStringLiteral("Shop"));
        auto* failed = w.findChild<QLabel*>(QStringLiteral("Failed"));
        auto* bar4 = w.findChild<QProgressBar*>(QStringLiteral("Bar4"));
        auto* memo = w.findChild<QPlainTextEdit*>(QStringLiteral("Memo3"));
        auto* pause = w.findChild<QPushButton*>(QStringLiteral("SubPause"));
        ASSERT_TRUE(failed && bar4 && memo && pause);

        w.findChild<QPushButton*>(QStringLiteral("SubStart"))->click();
        // 30 engines at speed 25: the first burst starts 5, none answers.
        ASSERT_TRUE(lb::test::runUntil([&] { return w.submission().inFlight() == 5; }));
        pause->click();
        ASSERT_TRUE(lb::test::runUntil([&] { return w.submission().inFlight() == 0; }));
        EXPECT_EQ(w.submission().counters().failed, 5);
        EXPECT_TRUE(w.submission().paused());
        // Still paused, no change of state to come: the page catches up by itself.
        EXPECT_TRUE(lb::test::runUntil([&] {
            return failed->text() == QLatin1String("5") && bar4->value() == 5 &&
                   memo->toPlainText() == w.memo3().lines().join('\n');
        })) << failed->text().toStdString()
            << " | " << memo->toPlainText().toStdString();
        EXPECT_EQ(memo->toPlainText().count(QStringLiteral(
                      "Submission Finished  Result = Submission Paused \"Aborted\"")),
                  5)
            << memo->toPlainText().toStdString();
        EXPECT_TRUE(w.findChild<QPushButton*>(QStringLiteral("SubStart"))->isEnabled());
        EXPECT_FALSE(pause->isEnabled());
    }
}
