// The submission run while its memo lines let events run, as the window's
// memo does: Stop and Pause pressed while a request's start is shown.
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/SubmissionRun.h"
#include "support/RunHost.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>

using namespace lb;
using lb::test::openForRun;
using lb::test::ProgramFolder;
using lb::test::RunHost;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

class SubmissionReentry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("data/session/one.hlx", "[one]\r\nurl=http://www.example.com/\r\n");
        pf.writeBytes("data/batch.hlx", "[count]\r\ncount=0\r\n");
    }
    void writeEngines(const QStringList& cgiUrls) {
        QStringList lines;
        for (int i = 0; i < cgiUrls.size(); ++i) {
            EngineRecord r;
            r.name = QStringLiteral("E%1").arg(i, 4, 10, QLatin1Char('0'));
            r[EngineRecord::CgiUrl] = cgiUrls.at(i);
            r[EngineRecord::TitleVar] = QStringLiteral("title");
            r.setPost(true);
            lines.append(r.toLine());
        }
        pf.writeEngines("data/data.hlz", lines);
    }

    // Every memo line is shown the way the window shows it: the line is
    // kept, then pending events run before the handler goes on.
    void open(std::function<void(const QString&)> onLine = {}) {
        db = std::make_unique<EngineDatabase>(pf.dir.path(), dialogs);
        openForRun(*db);
        host = std::make_unique<RunHost>(*db);
        run = std::make_unique<SubmissionRun>(pf.dir.path(), *host, dialogs, subList);
        QObject::connect(run.get(), &SubmissionRun::memoLine, [this, onLine](const QString& l) {
            memo.append(l);
            if (onLine)
                onLine(l);
            QCoreApplication::processEvents();
        });
        QObject::connect(run.get(), &SubmissionRun::runFinished, [this] { finished = true; });
    }

    bool waitFor(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }

    // How often each request number was reported finished, and with what.
    QHash<int, QStringList> finishedLines() const {
        QHash<int, QStringList> out;
        for (const QString& l : memo) {
            const qsizetype at = l.indexOf(QLatin1String(". Submission Finished "));
            if (at > 0)
                out[l.left(at).toInt()].append(l.mid(l.indexOf(QLatin1String("Result = ")) + 9));
        }
        return out;
    }

    TargetSim sim;
    ProgramFolder pf;
    ScriptedDialogs dialogs;
    NameListModel subList{false};
    std::unique_ptr<EngineDatabase> db;
    std::unique_ptr<RunHost> host;
    std::unique_ptr<SubmissionRun> run;
    QStringList memo;
    bool finished = false;
};

} // namespace

TEST_F(SubmissionReentry, StopPressedWhileARequestIsBeingStartedSendsItNot) {
    // Stop is pressed while the third request's line is on the screen, in
    // the middle of the first burst: that request is counted as stopped and
    // neither it nor any later one reaches its target.
    QStringList urls;
    for (int i = 0; i < 30; ++i)
        urls << sim.url(QStringLiteral("/delay/300/status/200/OK/%1").arg(i));
    writeEngines(urls);
    open([this](const QString& line) {
        if (line == QLatin1String("3 Contacting: E0002"))
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
    QStringList urls;
    for (int i = 0; i < 30; ++i)
        urls << sim.url(i < 2 ? QStringLiteral("/delay/5000/status/200/OK/%1").arg(i)
                              : QStringLiteral("/status/200/OK/%1").arg(i));
    writeEngines(urls);
    bool paused = false;
    open([this, &paused](const QString& line) {
        if (!paused && line == QLatin1String("2 Contacting: E0001")) {
            paused = true;
            run->pause();
        }
    });
    subList.add(QStringLiteral("one"));
    run->start();
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
}
