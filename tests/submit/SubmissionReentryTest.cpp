// The submission run while its memo lines let events run, as the window's
// memo does: requests finishing in bursts inside other requests' handlers,
// and buttons pressed while a line is shown.
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionRun.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

class PumpingHost : public DatabaseHost {
public:
    explicit PumpingHost(EngineDatabase& db) : DatabaseHost(db) {}
    net::THttpCli http2;
    net::TSTHttpCli template1;
    bool generateReports() const override { return true; }
    bool behindProxy() const override { return false; }
    const net::THttpCli* proxyTemplate() const override { return &template1; }
    net::THttpCli* batchClient() override { return &http2; }
    void showWebsite(const QString&) override {}
    void runEnded(const QString&) override {}
    void showFileError(const QString&) override {}
    void processEvents() override { QCoreApplication::processEvents(); }
};

class SubmissionReentry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("data/session/one.hlx", "[one]\r\nurl=http://www.example.com/\r\n");
        pf.writeBytes("data/batch.hlx", "[count]\r\ncount=0\r\n");
    }
    ~SubmissionReentry() override {
        if (refusing >= 0)
            ::close(refusing);
    }

    // A loopback port that is bound but never listens: connecting is refused.
    QString refusedUrl() {
        if (refusing < 0) {
            refusing = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::bind(refusing, reinterpret_cast<sockaddr*>(&a), sizeof a);
            socklen_t len = sizeof a;
            ::getsockname(refusing, reinterpret_cast<sockaddr*>(&a), &len);
            refusedPort = ntohs(a.sin_port);
        }
        return QStringLiteral("http://127.0.0.1:%1/x").arg(refusedPort);
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
        db->loadStartDatabase();
        db->fillKeyListFromLines();
        db->copyKeyListToEngineList();
        db->readCategoryLists();
        db->recount();
        db->setBatchIncluded(false);
        host = std::make_unique<PumpingHost>(*db);
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
    std::unique_ptr<PumpingHost> host;
    std::unique_ptr<SubmissionRun> run;
    QStringList memo;
    bool finished = false;
    int refusing = -1;
    quint16 refusedPort = 0;
};

} // namespace

TEST_F(SubmissionReentry, RequestsFinishingInsideOtherRequestsMemoLinesAreEachCountedOnce) {
    // Fast answers, refusals and errors at the highest speed: many requests
    // end while another one's result line is being shown.
    const int n = 400;
    QStringList urls;
    for (int i = 0; i < n; ++i)
        urls << (i % 7 == 0   ? refusedUrl()
                 : i % 5 == 0 ? sim.url(QStringLiteral("/status/404/Not%20Found?e=%1").arg(i))
                              : sim.url(QStringLiteral("/status/200/OK?e=%1").arg(i)));
    int expectedOk = 0;
    for (int i = 0; i < n; ++i)
        expectedOk += (i % 7 != 0 && i % 5 != 0) ? 1 : 0;
    writeEngines(urls);
    // A result line stays on the screen until the next result has come in,
    // so each request's finish runs inside the handler of another.
    int results = 0;
    bool showing = false;
    open([this, &results, &showing](const QString& line) {
        if (!line.contains(QLatin1String(". Submission Finished ")))
            return;
        const int seen = ++results;
        if (showing)
            return;
        showing = true;
        waitFor([&results, seen] { return results > seen; }, 300);
        showing = false;
    });
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("300"))));
    subList.add(QStringLiteral("one"));
    run->start();
    ASSERT_TRUE(waitFor([this] { return finished; }, 180000));

    EXPECT_EQ(run->counters().postingTo, n);
    EXPECT_EQ(run->counters().successful, expectedOk);
    EXPECT_EQ(run->counters().failed, n - expectedOk);
    EXPECT_EQ(run->inFlight(), 0);
    const QHash<int, QStringList> done = finishedLines();
    ASSERT_EQ(done.size(), n);
    for (int number = 1; number <= n; ++number) {
        ASSERT_EQ(done.value(number).size(), 1) << "request " << number;
        const int i = number - 1;
        const bool ok = i % 7 != 0 && i % 5 != 0;
        EXPECT_EQ(done.value(number).first() == QLatin1String("OK"), ok) << "request " << number;
    }
    const QString report = QString::fromUtf8(pf.readBytes("reports/one.htm"));
    EXPECT_EQ(report.count(QLatin1String(" Status: ")), n);
}

TEST_F(SubmissionReentry, StopPressedWhileARequestIsBeingStartedSendsItNot) {
    // Stop is pressed while the third request's line is on the screen: that
    // request is counted as stopped and never reaches its target.
    QStringList urls;
    for (int i = 0; i < 8; ++i)
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
        EXPECT_LT(r.value("target").toString().right(1).toInt(), 2) << "sent after Stop";
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
