// While a run goes on, "Step3 Submit" draws its counters and memo a few
// times a second rather than for every request; whatever the run does, the
// page catches up with it, also while paused.
#include "app/TKestrel.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "submit/SubmissionRun.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

// Bounded wait in the event loop (which sleeps until something happens).
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 30000) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

} // namespace

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
    pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=1\r\n[List]\r\n0=Shop\r\n");
    pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n");
    const QString old = QDir::currentPath();
    QDir::setCurrent(pf.dir.path());
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
        ASSERT_TRUE(waitFor([&] { return w.submission().inFlight() == 5; }));
        pause->click();
        ASSERT_TRUE(waitFor([&] { return w.submission().inFlight() == 0; }));
        EXPECT_EQ(w.submission().counters().failed, 5);
        EXPECT_TRUE(w.submission().paused());
        // Still paused, no change of state to come: the page catches up by itself.
        EXPECT_TRUE(waitFor([&] {
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
    QDir::setCurrent(old);
}
