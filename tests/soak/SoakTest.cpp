// A submission run of 2,000 engines at speed 300 against one target-sim, a
// fifth of them faulty: every engine is counted once and gets exactly one
// report line with its own name and its result, and the silent targets are
// ended by the watchdog. Built with the sanitizers this also checks that
// nothing leaks over the run.
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionRun.h"
#include "support/RunHost.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QRegularExpression>
#include <QTimer>

using namespace lb;
using lb::test::openForRun;
using lb::test::ProgramFolder;
using lb::test::RunHost;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

namespace {

constexpr int kEngines = 2000;
// Short watchdog ticks keep the silent targets from taking a minute each.
constexpr int kTickMs = 50;
// Any text but "OK": the client's own failure text.
const QString kClientFailure = QStringLiteral("!OK");

struct Engine {
    QString name, cgi, expected;
};

// Every fifth engine is faulty, by turns; the rest answer normally.
QList<Engine> soakEngines(const TargetSim& sim) {
    QList<Engine> out;
    for (int i = 0; i < kEngines; ++i) {
        Engine e;
        e.name = QStringLiteral("Engine %1").arg(i, 5, 10, QLatin1Char('0'));
        auto at = [&](const char* path, const char* expected) {
            e.cgi = sim.url(QLatin1String(path));
            e.expected = QLatin1String(expected);
        };
        auto failing = [&](const QString& url) {
            e.cgi = url;
            e.expected = kClientFailure;
        };
        switch (i % 5) {
        case 1:
            at("/status/302/Found", "OK");
            break;
        case 2:
            at("/status/200/OK", "OK");
            break;
        case 3:
            at("/status/404/Not%20Found", "Not Found");
            break;
        case 4:
            at("/status/200/Ok", "Ok");
            break;
        default:
            switch ((i / 5) % 10) {
            case 0:
                if ((i / 50) % 10 == 0)
                    at("/hang", "Request_Timeout");
                else
                    failing(QStringLiteral("http://127.0.0.1:1/refused"));
                break;
            case 1:
                failing(sim.url(QStringLiteral("/close")));
                break;
            case 2:
                failing(sim.url(QStringLiteral("/close-in-header")));
                break;
            case 3:
                failing(sim.url(QStringLiteral("/bad-status")));
                break;
            case 4:
                failing(sim.url(QStringLiteral("/long-header/9000")));
                break;
            case 5:
                at("/trickle/2", "OK");
                break;
            case 6:
                at("/bytes/2000000", "OK");
                break;
            case 7:
                at("/loop", "OK");
                break;
            case 8:
                failing(QStringLiteral("http://127.0.0.1:1/refused"));
                break;
            default:
                failing(QStringLiteral("http://soak-%1.invalid/submit").arg(i));
                break;
            }
        }
        out.append(e);
    }
    return out;
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("data/session/soak.hlx",
                      "[soak]\r\nurl=http://www.example.com/\r\ntitle=Widgets\r\n");
        engines = soakEngines(sim);
        QStringList lines;
        for (const Engine& e : std::as_const(engines))
            lines.append(lb::test::engineLine(e.name, e.cgi));
        pf.writeEngines("data/data.hlz", lines);
    }

    // Waits, bounded, for the run to end: in the event loop, which sleeps
    // until something happens (processEvents with a time limit would poll
    // and take a core from the run and the server).
    static bool waitFor(const bool& done) {
        QElapsedTimer t;
        t.start();
        while (!done && t.elapsed() < 240000) {
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return done;
    }

    // Engine name -> result of every engine line of the written report;
    // `lines` counts them, doubles included.
    QMap<QString, QString> reportResults(int& lines) const {
        static const QRegularExpression re(QStringLiteral("^<br>.*: (Engine \\d+) Status: (.*)$"));
        QMap<QString, QString> out;
        lines = 0;
        const QString text = QString::fromLatin1(pf.readBytes("reports/soak.htm"));
        for (const QString& l : text.split(QStringLiteral("\r\n"))) {
            const auto m = re.match(l);
            if (!m.hasMatch())
                continue;
            ++lines;
            out.insert(m.captured(1), m.captured(2));
        }
        return out;
    }

    void expectEveryEngineOnce(const QMap<QString, QString>& results, int lines) {
        EXPECT_EQ(lines, kEngines);
        ASSERT_EQ(results.size(), kEngines);
        int wrong = 0;
        for (const Engine& e : std::as_const(engines)) {
            const QString got = results.value(e.name);
            const bool ok = e.expected == kClientFailure
                                ? !got.isEmpty() && got != QLatin1String("OK")
                                : got == e.expected;
            if (!ok && ++wrong <= 5)
                ADD_FAILURE() << e.name.toStdString() << " at " << e.cgi.toStdString()
                              << ": expected " << e.expected.toStdString() << ", got "
                              << got.toStdString();
        }
        EXPECT_EQ(wrong, 0);
    }

    TargetSim sim;
    ProgramFolder pf;
    ScriptedDialogs dialogs;
    QList<Engine> engines;
};

TEST_F(SoakTest, FaultyTargetsEachGetOneReportLineWithTheirResult) {
    EngineDatabase db(pf.dir.path(), dialogs);
    openForRun(db);
    RunHost host(db);
    NameListModel subList(false);
    SubmissionRun run(pf.dir.path(), host, dialogs, subList);
    run.setWatchdogInterval(kTickMs);
    run.setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("300"))));
    bool finished = false;
    QObject::connect(&run, &SubmissionRun::runFinished, [&] { finished = true; });
    subList.add(QStringLiteral("soak"));
    run.start();
    ASSERT_TRUE(waitFor(finished));
    EXPECT_EQ(run.counters().successful + run.counters().failed, kEngines);
    EXPECT_EQ(run.inFlight(), 0);
    int lines = 0;
    const QMap<QString, QString> results = reportResults(lines);
    expectEveryEngineOnce(results, lines);
    int expectedOk = 0;
    for (const QString& r : results)
        expectedOk += r == QLatin1String("OK");
    EXPECT_EQ(run.counters().successful, expectedOk);
}

} // namespace
