// The submission run against a real local target-sim: fan-out, requests as
// sent, judging, pause, watchdog, reports and the batch pass.
#include "net/HttpProt.h"
#include "submit/FormEncoding.h"
#include "submit/SpeedSteps.h"
#include "support/RunHost.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QJsonArray>
#include <QSet>

using namespace lb;
using lb::test::LoopbackPort;

namespace {

class SubmissionRunTest : public lb::test::RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        pf.writeBytes("data/session/one.hlx",
                      "[one]\r\nurl=http://www.example.com/\r\ntitle=Widgets\r\n"
                      "email=me@example.com\r\ncatagory=Business\r\nname=Ann\r\n");
        pf.writeBytes("data/session/two.hlx", "[two]\r\nurl=http://two.example.com/\r\n");
        pf.writeBytes("data/catagory.hlx", "[CatType]\r\nCat1=\r\n[SubCat1]\r\nBusiness=biz\r\n");
    }
};

} // namespace

TEST_F(SubmissionRunTest, FanOutFollowsTheSpeedAndTheEnginesLeft) {
    // At speed 25 the first burst ends when the speed and the engines started
    // are more than the engines left: 25 + 5 > 29 stops 30 engines at five,
    // 25 + 25 > 49 stops 50 at 25; each answer then starts one more. The
    // first burst answers late, so it is out before any of its answers, even
    // on a loaded machine.
    for (const auto& [engines, burst, delayMs] :
         {std::tuple{30, 5, 1500}, std::tuple{50, 25, 2000}}) {
        SCOPED_TRACE(engines);
        const int before = sim.requests().size();
        writeEngines(engines, [&, burst = burst, delayMs = delayMs](int i) {
            return sim.url(i < burst
                               ? QStringLiteral("/delay/%1/status/200/OK/%2").arg(delayMs).arg(i)
                               : QStringLiteral("/status/200/OK/%1").arg(i));
        });
        finished = false;
        open();
        subList.add(QStringLiteral("one"));
        ASSERT_TRUE(runToEnd());
        EXPECT_EQ(run->peakInFlight(), burst);
        EXPECT_EQ(run->counters().successful, engines);
        EXPECT_EQ(sim.requests().size() - before, engines);
    }
}

TEST_F(SubmissionRunTest, TenThousandEnginesStartInOrderAndEachFinishesOnce) {
    // On loopback most requests finish while the fan-out is still starting
    // engines, so the fan-out runs through nearly the whole database.
    const int n = 10000;
    const LoopbackPort refusing(false); // bound, never listening
    writeEngines(n, [&](int i) {
        return i % 10 == 0   ? QStringLiteral("http://127.0.0.1:%1/x").arg(refusing.port)
               : i % 10 == 5 ? sim.url(QStringLiteral("/status/404/Not%20Found?e=%1").arg(i))
                             : sim.url(QStringLiteral("/status/302?e=%1").arg(i));
    });
    open();
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("300"))));
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd(120000)); // sanitizer builds are slow

    EXPECT_EQ(run->counters().postingTo, n);
    EXPECT_EQ(run->counters().successful, 8000);
    EXPECT_EQ(run->counters().failed, 2000);
    QList<int> started;
    QSet<int> finished;
    int finishedLines = 0;
    for (const QString& l : std::as_const(memo)) {
        if (l.contains(QLatin1String(" Contacting: ")))
            started << l.section(QLatin1Char(' '), 0, 0).toInt();
        if (l.contains(QLatin1String(". Submission Finished "))) {
            ++finishedLines;
            finished.insert(l.section(QLatin1Char('.'), 0, 0).toInt());
        }
    }
    ASSERT_EQ(started.size(), n);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(started[i], i + 1) << "start order";
    EXPECT_EQ(finishedLines, n);
    EXPECT_EQ(finished.size(), n);
    const QString report = QString::fromUtf8(pf.readBytes("reports/one.htm"));
    EXPECT_EQ(report.count(QLatin1String(" Status: ")), n);
    EXPECT_EQ(report.count(QLatin1String(" Status: OK")), 8000);
}

TEST_F(SubmissionRunTest, AMemoThatRunsEventsLosesNoRequestAndEndsOnce) {
    // The window pumps events on every memo line, so requests finish inside
    // each other's request-done step. Later engines answer sooner, so older
    // requests finish inside younger ones' steps; every one must still be
    // counted once, and the session end once.
    writeEngines(400, [&](int i) {
        return sim.url(
            i % 7 == 3
                ? QStringLiteral("/close?e=%1").arg(i)
                : QStringLiteral("/delay/%1/status/200/OK/%2").arg(80 - (i % 5) * 20).arg(i));
    });
    open();
    int sessionsEnded = 0;
    QObject::connect(run.get(), &SubmissionRun::memoLine,
                     [] { QCoreApplication::processEvents(); });
    QObject::connect(run.get(), &SubmissionRun::sessionFinished, [&] { ++sessionsEnded; });
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("100"))));
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd(90000)); // sanitizer builds are slow
    EXPECT_EQ(sessionsEnded, 1);
    EXPECT_EQ(run->counters().successful + run->counters().failed, 400);
    EXPECT_EQ(run->counters().failed, 57);
    QSet<int> done;
    for (const QString& l : results())
        done.insert(l.section(QLatin1Char('.'), 0, 0).toInt());
    EXPECT_EQ(results().size(), 400);
    EXPECT_EQ(done.size(), 400);
    const QString report = QString::fromUtf8(pf.readBytes("reports/one.htm"));
    EXPECT_EQ(report.count(QLatin1String(" Status: ")), 400);
}

TEST_F(SubmissionRunTest, SpeedStepsDownToFitAOneEngineDatabase) {
    writeEngines(1, "/status/200/OK/%1");
    open();
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(speedSteps().at(run->speedIndex()), "1");
    EXPECT_EQ(sim.requests().size(), 1);
}

TEST_F(SubmissionRunTest, RequestsCarryThePairStringEncodedOrRawAsConfigured) {
    pf.writeBytes("data/session/one.hlx",
                  "[one]\r\nurl=http://www.example.com/?a=1&b=2\r\ntitle=Tom & Jerry's Widgets\r\n"
                  "email=me@example.com\r\ncatagory=Business\r\nname=Ann\r\n");
    QStringList lines;
    EngineRecord get;
    get.name = QStringLiteral("Get");
    get[EngineRecord::SiteUrl] = QStringLiteral("http://ref.example/");
    get[EngineRecord::CgiUrl] = sim.url("/status/302/Found");
    get[EngineRecord::TitleVar] = QStringLiteral("t");
    get[EngineRecord::CategoryVar] = QStringLiteral("cat");
    get[EngineRecord::CategoryType] = QStringLiteral("Cat1");
    get[EngineRecord::HiddenValues] = QStringLiteral("&mode=add&x=a%20b");
    get.setPost(false);
    EngineRecord post;
    post.name = QStringLiteral("Post");
    post[EngineRecord::CgiUrl] = sim.url("/status/200/Ok");
    post[EngineRecord::UrlVar] = QStringLiteral("u");
    post[EngineRecord::EmailVar] = QStringLiteral("e");
    post[EngineRecord::FirstNameVar] = QStringLiteral("n");
    post.setPost(true);
    lines << get.toLine() << post.toLine();
    pf.writeEngines("data/data.hlz", lines);

    qsizetype seen = 0; // requests of earlier runs
    auto sent = [this, &seen](QString& getTarget, QString& postBody, QString& referer) {
        const QList<QJsonObject> all = sim.requests();
        for (const QJsonObject& r : all.mid(seen)) {
            if (r.value("method").toString() == "GET") {
                getTarget = r.value("target").toString();
                for (const QJsonValue& h : r.value("headers").toArray())
                    if (h.toArray().at(0).toString() == "Referer")
                        referer = h.toArray().at(1).toString();
            } else {
                postBody = r.value("body").toString();
            }
        }
    };

    // By default every value is form-encoded; names, "&", "=", the order and
    // the hidden values stay as stored.
    open();
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    QString getTarget, postBody, referer;
    sent(getTarget, postBody, referer);
    EXPECT_EQ(getTarget.toStdString(),
              "/status/302/Found&t=Tom+%26+Jerry%27s+Widgets&cat=biz&mode=add&x=a%20b");
    EXPECT_EQ(referer, "http://ref.example/");
    EXPECT_EQ(postBody.toStdString(),
              "&u=http%3A%2F%2Fwww.example.com%2F%3Fa%3D1%26b%3D2&n=Ann&e=me%40example.com");
    // 302 succeeds; the phrase "Ok" is not "OK" and fails.
    EXPECT_EQ(run->counters().successful, 1);
    EXPECT_EQ(run->counters().failed, 1);
    EXPECT_TRUE(results().contains("1. Submission Finished  Result = OK"))
        << results().join("\n").toStdString();
    EXPECT_TRUE(results().contains("2. Submission Finished  Result = Ok"));

    // "EncodeValues" exactly "0" sends the raw strings, read at the next start.
    pf.writeBytes("zkt.ini", "[Submit]\r\nEncodeValues = 0 \r\n");
    seen = sim.requests().size();
    finished = false;
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    getTarget.clear();
    postBody.clear();
    sent(getTarget, postBody, referer);
    // Raw, the blank in the title ends the request target early: the fault
    // encoding mends, kept on request for targets that rely on it.
    EXPECT_EQ(getTarget.toStdString(), "/status/302/Found&t=Tom");
    EXPECT_EQ(postBody.toStdString(), "&u=http://www.example.com/?a=1&b=2&n=Ann&e=me@example.com");
}

TEST(FormEncoding, KeepsTheUnreservedSetAndEncodesEveryOtherByte) {
    EXPECT_EQ(lb::formEncode(QString()), QString());
    EXPECT_EQ(lb::formEncode(QStringLiteral("AZaz09*-._")), QStringLiteral("AZaz09*-._"));
    EXPECT_EQ(lb::formEncode(QStringLiteral("a b&c=d+e/f~g%")),
              QStringLiteral("a+b%26c%3Dd%2Be%2Ff%7Eg%25"));
    EXPECT_EQ(lb::formEncode(QStringLiteral("café €\n")), QStringLiteral("caf%C3%A9+%E2%82%AC%0A"));
}

TEST_F(SubmissionRunTest, PauseAbortsWhatIsInFlightAndStartResumes) {
    writeEngines(60, "/delay/400/status/200/OK/%1");
    open();
    subList.add(QStringLiteral("one"));
    run->start();
    ASSERT_TRUE(waitFor([this] { return run->inFlight() == 25; }));
    // On a loaded machine some answers may already be in: counted as they came.
    const int okBefore = run->counters().successful;
    run->pause();
    EXPECT_TRUE(run->startEnabled());
    EXPECT_FALSE(run->stopEnabled());
    EXPECT_EQ(run->indicator(), SubmissionRun::Indicator::Paused);
    ASSERT_TRUE(waitFor([this] { return run->inFlight() == 0; }));
    EXPECT_EQ(run->counters().failed, 25);
    EXPECT_EQ(results().filter("Result = Submission Paused \"Aborted\"").size(), 25);
    const int started = run->nextEngine();
    run->start(); // resume with the engines not yet started
    ASSERT_TRUE(waitFor([this] { return finished; }));
    EXPECT_EQ(run->counters().successful, okBefore + 60 - started);
    EXPECT_EQ(run->indicator(), SubmissionRun::Indicator::Ended);
}

TEST_F(SubmissionRunTest, WatchdogTimesOutTheOldestSilentTarget) {
    writeEngines(2, "/hang?n=%1");
    open();
    run->setWatchdogInterval(5);
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(results().filter("Result = Request_Timeout").size(), 2);
    EXPECT_EQ(run->counters().failed, 2);
}

TEST_F(SubmissionRunTest, StopEndsTheSessionAndLeavesTheNextOne) {
    writeEngines(40, "/delay/300/status/200/OK/%1");
    open();
    subList.add(QStringLiteral("one"));
    subList.add(QStringLiteral("two"));
    run->start();
    ASSERT_TRUE(waitFor([this] { return run->inFlight() > 0; }));
    run->stop();
    ASSERT_TRUE(waitFor([this] { return run->startEnabled() && run->inFlight() == 0; }));
    EXPECT_EQ(subList.names(), QStringList{"two"});
    EXPECT_FALSE(results().filter("Submission stopped \"Aborted\"").isEmpty());
    EXPECT_TRUE(pf.exists("reports/one.htm"));
    EXPECT_FALSE(pf.exists("reports/two.htm"));
}

TEST_F(SubmissionRunTest, TwoSessionsWriteTwoReportsEachWithItsCsv) {
    // The report's own layout belongs to the report writer; here, that each
    // session gets its pair of files and every engine its row.
    writeEngines(3, "/status/200/OK/%1");
    open();
    subList.add(QStringLiteral("one"));
    subList.add(QStringLiteral("two"));
    ASSERT_TRUE(runToEnd());
    for (const char* name : {"one", "two"}) {
        SCOPED_TRACE(name);
        const QByteArray html = pf.readBytes(QStringLiteral("reports/%1.htm").arg(name));
        EXPECT_TRUE(html.contains(QByteArray(name) + ": </b>"));
        EXPECT_EQ(html.count(" Status: OK"), 3);
        const QByteArray csv = pf.readBytes(QStringLiteral("reports/%1.csv").arg(name));
        EXPECT_EQ(csv.count("\r\n"), 4);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(csv.contains(
                QStringLiteral(",E0000%1,%2,OK,yes\r\n")
                    .arg(i)
                    .arg(sim.url(QStringLiteral("/status/200/OK/%1").arg(i)))
                    .toUtf8()));
    }
    EXPECT_TRUE(host->endedWith.endsWith("/reports/two.htm"));
}

TEST_F(SubmissionRunTest, ReportsOffWritesNothingAndKeepsTheMemo) {
    writeEngines(2, "/status/200/OK/%1");
    open();
    host->reports = false;
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_FALSE(pf.exists("reports/one.htm"));
    EXPECT_FALSE(pf.exists("reports/one.csv"));
    EXPECT_EQ(memo.first(), "Starting Submissions");
    EXPECT_EQ(memo.last(), "All Submissions Finished");
}

TEST_F(SubmissionRunTest, BatchPagesAreCountedBeforeTheEngines) {
    writeEngines(2, "/status/200/OK/%1");
    QStringList pages;
    for (int i = 0; i < 40; ++i)
        pages.append(QStringLiteral("page %1").arg(i));
    pf.writeEngines("data/ring.hlz", pages);
    pf.writeBytes("data/batch.hlx",
                  ("[count]\r\ncount=40\r\n[batchsites]\r\nring=\r\n[ring]\r\nsite=" +
                   sim.url("/info").toUtf8() + "\r\ncgiur=" + sim.url("/status/200/OK").toUtf8() +
                   "\r\ntitle=t\r\npagename=p1\r\n"));
    open();
    db->setBatchIncluded(true);
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(run->counters().successful, 42);
    EXPECT_TRUE(memo.contains("41 Contacting: E00000"));
    EXPECT_TRUE(memo.contains("There are currently 40 sites submitted to in all batches"));
    bool posted = false;
    for (const QJsonObject& r : sim.requests())
        posted |= r.value("body").toString() == "&t=Widgets&pagename=p1";
    EXPECT_TRUE(posted);
}

TEST_F(SubmissionRunTest, HostileTargetsAmongHealthyOnesAreEachJudgedOnce) {
    const int n = 24;
    const QStringList hostile = {"/hostile/endless-header", "/hostile/endless-page",
                                 "/hostile/cut-body",
                                 "/status/200/%3Cscript%3Ealert(1)%3C%2Fscript%3E"};
    writeEngines(n, [&](int i) {
        return sim.url(i % 6 < hostile.size() ? hostile[i % 6] + "?e=" + QString::number(i)
                                              : QStringLiteral("/status/200/OK/%1").arg(i));
    });
    open();
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd(60000));
    QSet<int> judged;
    for (const QString& l : results())
        judged.insert(l.section(QLatin1Char('.'), 0, 0).toInt());
    EXPECT_EQ(results().size(), n);
    EXPECT_EQ(judged.size(), n);
    EXPECT_EQ(results().filter("Result = HTTP header too large").size(), n / 6);
    // The page without end and the cut body answered with a whole header: OK.
    EXPECT_EQ(run->counters().successful, n - 2 * n / 6);
    EXPECT_EQ(run->counters().failed, 2 * n / 6);
    const QByteArray report = pf.readBytes("reports/one.htm");
    EXPECT_EQ(report.count("Status: &lt;script&gt;alert(1)&lt;/script&gt;"), n / 6);
    EXPECT_FALSE(report.contains("<script>"));
}

// Every page of a batch site counts as failed when the site's own post
// answers 404 or more, and as successful below that.
class BatchStatusTest : public SubmissionRunTest,
                        public ::testing::WithParamInterface<std::tuple<const char*, int>> {};

TEST_P(BatchStatusTest, PagesFailFromStatus404On) {
    const auto [path, failed] = GetParam();
    writeEngines(1, "/status/200/OK/%1");
    pf.writeEngines("data/ring.hlz", {"page 0", "page 1"});
    pf.writeBytes("data/batch.hlx",
                  ("[count]\r\ncount=2\r\n[batchsites]\r\nring=\r\n[ring]\r\nsite=" +
                   sim.url("/info").toUtf8() + "\r\ncgiur=" + sim.url(path).toUtf8() +
                   "\r\ntitle=t\r\npagename=p1\r\n"));
    open();
    db->setBatchIncluded(true);
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(run->counters().failed, failed);
    EXPECT_EQ(run->counters().successful, 3 - failed);
}

INSTANTIATE_TEST_SUITE_P(Statuses, BatchStatusTest,
                         ::testing::Values(std::make_tuple("/status/403/Forbidden", 0),
                                           std::make_tuple("/status/404/Not%20Found", 2)));
