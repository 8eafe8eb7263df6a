// The submission run while its memo lines let events run, as the window's
// memo does: Stop and Pause pressed while a request's start is shown (what is
// in flight is aborted, Start resumes), and requests that finish meanwhile.
#include "support/RunHost.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>

#include <algorithm>
#include <numeric>

using namespace lb;

namespace {

class SubmissionReentry : public lb::test::RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        pf.writeBytes("data/session/one.hlx", "[one]\r\nurl=http://www.example.com/\r\n");
    }

    // Every memo line is shown the way the window shows it: the line is
    // kept, then pending events run before the handler goes on.
    void openPumping(const std::function<void(const QString&)>& onLine) {
        open([onLine](const QString& l) {
            onLine(l);
            QCoreApplication::processEvents();
        });
    }

    // How often each request number was reported finished, and with what.
    QHash<int, QStringList> finishedLines() const {
        QHash<int, QStringList> out;
        for (const QString& l : results())
            out[l.section(QLatin1Char('.'), 0, 0).toInt()].append(
                l.mid(l.indexOf(QLatin1String("Result = ")) + 9));
        return out;
    }
};

} // namespace

TEST_F(SubmissionReentry, StopPressedWhileARequestIsBeingStartedSendsItNot) {
    // Stop is pressed while the third request's line is on the screen, in
    // the middle of the first burst: that request is counted as stopped and
    // neither it nor any later one reaches its target.
    writeEngines(30, "/delay/300/status/200/OK/%1");
    openPumping([this](const QString& line) {
        if (line == QLatin1String("3 Contacting: E00002"))
            run->stop();
    });
    subList.add(QStringLiteral("one"));
    run->start();
    ASSERT_TRUE(waitFor([this] { return finished && run->inFlight() == 0; }, 60000));

    const QHash<int, QStringList> done = finishedLines();
    EXPECT_EQ(done.value(3), QStringList{QStringLiteral("Submission stopped \"Aborted\"")});
    for (const QJsonObject& r : sim.requests())
        EXPECT_LT(r.value("target").toString().section(QLatin1Char('/'), -1).toInt(), 2)
            << "sent after Stop";
    EXPECT_EQ(run->counters().successful + run->counters().failed, 3);
    EXPECT_TRUE(run->startEnabled());
}

TEST_F(SubmissionReentry, PauseWhileARequestIsBeingStartedHoldsItForTheResume) {
    // Pause during the second request's line: that request is counted as
    // paused, not sent; Start resumes with the engines after it. The first
    // target answers late, so it is still in flight when Pause comes.
    writeEngines(30, [this](int i) {
        return sim.url(i < 2 ? QStringLiteral("/delay/5000/status/200/OK/%1").arg(i)
                             : QStringLiteral("/status/200/OK/%1").arg(i));
    });
    bool paused = false;
    openPumping([this, &paused](const QString& line) {
        if (!paused && line == QLatin1String("2 Contacting: E00001")) {
            paused = true;
            run->pause();
        }
    });
    subList.add(QStringLiteral("one"));
    run->start();
    EXPECT_TRUE(run->startEnabled());
    EXPECT_FALSE(run->stopEnabled());
    EXPECT_EQ(run->indicator(), SubmissionRun::Indicator::Paused);
    ASSERT_TRUE(waitFor([this] { return run->paused() && run->inFlight() == 0; }, 60000));
    const QHash<int, QStringList> done = finishedLines();
    EXPECT_EQ(done.value(1), QStringList{QStringLiteral("Submission Paused \"Aborted\"")});
    EXPECT_EQ(done.value(2), QStringList{QStringLiteral("Submission Paused \"Aborted\"")});
    EXPECT_EQ(run->nextEngine(), 2);
    run->start();
    ASSERT_TRUE(waitFor([this] { return finished; }, 60000));
    for (const QJsonObject& r : sim.requests())
        EXPECT_FALSE(r.value("target").toString().endsWith(QLatin1String("/OK/1")))
            << "the paused request was sent";
    EXPECT_EQ(run->counters().failed, 2);
    EXPECT_EQ(run->counters().successful, 28);
    EXPECT_EQ(run->indicator(), SubmissionRun::Indicator::Ended);
}

TEST_F(SubmissionReentry, RequestsFinishingWhileAStartIsShownAreReplacedAtFullSpeed) {
    // Each target holds its answer until 25 requests wait together, then all
    // 25 answer at once. The memo lets events run on the lines of a start,
    // so most of a round finishes while the first of the next round is being
    // started. Every one of them is still replaced, so each round fills the
    // gate again, to the last engine; a start that was lost would leave the
    // gate short and its requests answered 504.
    const int n = 100;
    writeEngines(n, QStringLiteral("/gate/25/status/302?e=%1"));
    open([](const QString& line) {
        if (line.contains(QLatin1String(" Contacting: ")))
            QCoreApplication::processEvents();
    });
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd(30000));

    EXPECT_EQ(run->counters().successful, n) << results().filter("504").join('\n').toStdString();
    EXPECT_EQ(sim.held().value("peak").toInt(), 25);
    QList<int> started;
    for (const QString& l : std::as_const(memo))
        if (l.contains(QLatin1String(" Contacting: ")))
            started << l.section(QLatin1Char(' '), 0, 0).toInt();
    ASSERT_EQ(started.size(), n);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(started[i], i + 1) << "start order";
    QList<int> sent;
    for (const QJsonObject& r : sim.requests())
        sent << r.value("target").toString().section(QLatin1Char('='), -1).toInt();
    std::sort(sent.begin(), sent.end());
    QList<int> each(n);
    std::iota(each.begin(), each.end(), 0);
    EXPECT_EQ(sent, each) << "every engine exactly once";
}
