// The submission run against a real local target-sim: fan-out, requests as
// sent, judging, pause, watchdog, reports and the batch pass.
#include "submit/SubmissionRun.h"
#include "common/IniFile.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/FormEncoding.h"
#include "submit/SpeedSteps.h"
#include "support/RunHost.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lb;
using lb::test::openForRun;
using lb::test::ProgramFolder;
using lb::test::RunHost;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

class SubmissionRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("data/session/one.hlx",
                      "[one]\r\nurl=http://www.example.com/\r\ntitle=Widgets\r\n"
                      "email=me@example.com\r\ncatagory=Business\r\nname=Ann\r\n");
        pf.writeBytes("data/session/two.hlx", "[two]\r\nurl=http://two.example.com/\r\n");
        pf.writeBytes("data/catagory.hlx", "[CatType]\r\nCat1=\r\n[SubCat1]\r\nBusiness=biz\r\n");
        pf.writeBytes("data/batch.hlx", "[count]\r\ncount=0\r\n");
    }

    // Engines named E000.. posting to target paths; writes data.hlz.
    void writeEngines(int n, const QString& path, bool post = true) {
        writeEngines(
            n, [&path](int i) { return path.arg(i); }, post);
    }
    void writeEngines(int n, const std::function<QString(int)>& path, bool post = true) {
        QStringList lines;
        for (int i = 0; i < n; ++i) {
            EngineRecord r;
            r.name = QStringLiteral("E%1").arg(i, 3, 10, QLatin1Char('0'));
            r[EngineRecord::SiteUrl] = sim.url("/site");
            r[EngineRecord::CgiUrl] = sim.url(path(i));
            r[EngineRecord::TitleVar] = QStringLiteral("title");
            r[EngineRecord::UrlVar] = QStringLiteral("url");
            r.setPost(post);
            lines.append(r.toLine());
        }
        pf.writeEngines("data/data.hlz", lines);
    }

    // The first `slow` engines answer after delayMs, the others at once: a
    // first burst is out before any of its answers, even on a loaded machine.
    void writeEnginesSlowFirst(int n, int slow, int delayMs) {
        writeEngines(n, [slow, delayMs](int i) {
            return i < slow ? QStringLiteral("/delay/%1/status/200/OK/%2").arg(delayMs).arg(i)
                            : QStringLiteral("/status/200/OK/%1").arg(i);
        });
    }

    void open() {
        db = std::make_unique<EngineDatabase>(pf.dir.path(), dialogs);
        openForRun(*db);
        host = std::make_unique<RunHost>(*db);
        run = std::make_unique<SubmissionRun>(pf.dir.path(), *host, dialogs, subList);
        QObject::connect(run.get(), &SubmissionRun::memoLine,
                         [this](const QString& l) { memo.append(l); });
        QObject::connect(run.get(), &SubmissionRun::runFinished, [this] { finished = true; });
    }

    bool waitFor(const std::function<bool()>& done, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
    bool runToEnd() {
        run->start();
        return waitFor([this] { return finished; });
    }
    QStringList results() const {
        QStringList out;
        for (const QString& l : memo)
            if (l.contains(QLatin1String(". Submission Finished ")))
                out.append(l);
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

TEST_F(SubmissionRunTest, FanOutFollowsTheSpeedAndTheEnginesLeft) {
    // 30 engines at speed 25: 25 + 5 > 29 stops the first burst at five.
    writeEnginesSlowFirst(30, 5, 1500);
    open();
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(run->peakInFlight(), 5);
    EXPECT_EQ(run->counters().successful, 30);
    EXPECT_EQ(sim.requests().size(), 30);
}

TEST_F(SubmissionRunTest, TenThousandEnginesStartInOrderAndEachFinishesOnce) {
    // On loopback most requests finish while the fan-out is still starting
    // engines, so the fan-out runs through nearly the whole database.
    const int n = 10000;
    const int refusing = ::socket(AF_INET, SOCK_STREAM, 0); // bound, never listening
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(refusing, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(refusing, reinterpret_cast<sockaddr*>(&a), &len);
    QStringList lines;
    for (int i = 0; i < n; ++i) {
        EngineRecord r;
        r.name = QStringLiteral("E%1").arg(i, 5, 10, QLatin1Char('0'));
        r[EngineRecord::CgiUrl] =
            i % 10 == 0   ? QStringLiteral("http://127.0.0.1:%1/x").arg(ntohs(a.sin_port))
            : i % 10 == 5 ? sim.url(QStringLiteral("/status/404/Not%20Found?e=%1").arg(i))
                          : sim.url(QStringLiteral("/status/302?e=%1").arg(i));
        r[EngineRecord::TitleVar] = QStringLiteral("title");
        r.setPost(true);
        lines.append(r.toLine());
    }
    pf.writeEngines("data/data.hlz", lines);
    open();
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("300"))));
    subList.add(QStringLiteral("one"));
    run->start();
    const bool ended = waitFor([this] { return finished; }, 120000); // sanitizer builds are slow
    ::close(refusing);
    ASSERT_TRUE(ended);

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
    pf.writeEngines("data/data.hlz", [&] {
        QStringList lines;
        for (int i = 0; i < 400; ++i) {
            EngineRecord r;
            r.name = QStringLiteral("E%1").arg(i, 3, 10, QLatin1Char('0'));
            r[EngineRecord::CgiUrl] = sim.url(
                i % 7 == 3
                    ? QStringLiteral("/close?e=%1").arg(i)
                    : QStringLiteral("/delay/%1/status/200/OK/%2").arg(80 - (i % 5) * 20).arg(i));
            r[EngineRecord::TitleVar] = QStringLiteral("title");
            r.setPost(true);
            lines.append(r.toLine());
        }
        return lines;
    }());
    open();
    int sessionsEnded = 0;
    QObject::connect(run.get(), &SubmissionRun::memoLine,
                     [] { QCoreApplication::processEvents(); });
    QObject::connect(run.get(), &SubmissionRun::sessionFinished, [&] { ++sessionsEnded; });
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("100"))));
    subList.add(QStringLiteral("one"));
    run->start();
    ASSERT_TRUE(waitFor([this] { return finished; }, 90000)); // sanitizer builds are slow
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

TEST_F(SubmissionRunTest, FiftyEnginesAtSpeed25KeepTwentyFiveInFlight) {
    // 25 + 25 > 49 ends the first burst at 25; each answer starts one more.
    writeEnginesSlowFirst(50, 25, 2000);
    open();
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(run->peakInFlight(), 25);
    EXPECT_EQ(run->counters().successful + run->counters().failed, 50);
}

TEST_F(SubmissionRunTest, SpeedStepsDownToFitAOneEngineDatabase) {
    writeEngines(1, QStringLiteral("/status/200/OK/%1"));
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
    writeEngines(60, QStringLiteral("/delay/400/status/200/OK/%1"));
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
    writeEngines(2, QStringLiteral("/hang?n=%1"));
    open();
    run->setWatchdogInterval(5);
    subList.add(QStringLiteral("one"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(results().filter("Result = Request_Timeout").size(), 2);
    EXPECT_EQ(run->counters().failed, 2);
}

TEST_F(SubmissionRunTest, StopEndsTheSessionAndLeavesTheNextOne) {
    writeEngines(40, QStringLiteral("/delay/300/status/200/OK/%1"));
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

TEST_F(SubmissionRunTest, TwoSessionsWriteTwoReportsEachWithTheHeader) {
    writeEngines(3, QStringLiteral("/status/200/OK/%1"));
    open();
    subList.add(QStringLiteral("one"));
    subList.add(QStringLiteral("two"));
    ASSERT_TRUE(runToEnd());
    for (const char* name : {"reports/one.htm", "reports/two.htm"}) {
        const QByteArray bytes = pf.readBytes(QLatin1String(name));
        EXPECT_TRUE(bytes.startsWith("<title>Linkbeacon</title>\r\n<body bgcolor=\"#ffffff\">\r\n"
                                     "<h3><Center><font color=\"blue\">Linkbeacon</font></center>"
                                     "</h3>\r\n<center><b>Submission Software</b></center>\r\n"))
            << name;
        EXPECT_EQ(bytes.count(" Status: OK"), 3) << name;
        EXPECT_TRUE(bytes.endsWith("<hr>Thank you for using Linkbeacon\r\n</body></html>\r\n"));
    }
    EXPECT_TRUE(host->endedWith.endsWith("/reports/two.htm"));

    // Beside each report its CSV: BOM, header, one row per engine request in
    // the order they finished, CR LF after every line.
    const QByteArray csv = pf.readBytes(QStringLiteral("reports/one.csv"));
    ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBFTime,Engine,Address,Result,Success\r\n"))
        << csv.left(60).toStdString();
    ASSERT_TRUE(csv.endsWith("\r\n"));
    const QList<QByteArray> rows = csv.mid(3).chopped(2).split('\n');
    ASSERT_EQ(rows.size(), 4);
    QSet<QString> engines;
    const QRegularExpression row(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,(E00[0-2]),(.*),OK,yes\r?$"));
    for (int i = 1; i < rows.size(); ++i) {
        const auto m = row.match(QString::fromUtf8(rows[i]));
        ASSERT_TRUE(m.hasMatch()) << rows[i].toStdString();
        engines.insert(m.captured(1));
        EXPECT_EQ(m.captured(2),
                  sim.url(QStringLiteral("/status/200/OK/%1").arg(m.captured(1).right(1).toInt())));
    }
    EXPECT_EQ(engines.size(), 3);
    EXPECT_TRUE(pf.exists(QStringLiteral("reports/two.csv")));
}

TEST_F(SubmissionRunTest, ReportsOffWritesNothingAndKeepsTheMemo) {
    writeEngines(2, QStringLiteral("/status/200/OK/%1"));
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
    writeEngines(2, QStringLiteral("/status/200/OK/%1"));
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
    EXPECT_TRUE(memo.contains("41 Contacting: E000"));
    EXPECT_TRUE(memo.contains("There are currently 40 sites submitted to in all batches"));
    bool posted = false;
    for (const QJsonObject& r : sim.requests())
        posted |= r.value("body").toString() == "&t=Widgets&pagename=p1";
    EXPECT_TRUE(posted);
}
