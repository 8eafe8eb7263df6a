// A submission run of 2,000 engines at speed 300 against one target-sim, a
// fifth of them faulty: every engine is counted once and gets exactly one
// report line with its own name and its result, and the silent targets are
// ended by the watchdog. Built with the sanitizers this also checks that
// nothing leaks over the run.
#include "submit/SpeedSteps.h"
#include "support/RunHost.h"

#include <gtest/gtest.h>
#include <QMap>
#include <QRegularExpression>

using namespace lb;
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
    // A path of target-sim with its result, or (no result) a whole URL
    // that fails in the client.
    static const std::pair<const char*, const char*> normal[] = {
        {nullptr, nullptr}, // the faulty one, below
        {"/status/302/Found", "OK"},
        {"/status/200/OK", "OK"},
        {"/status/404/Not%20Found", "Not Found"},
        {"/status/200/Ok", "Ok"}};
    static const std::pair<const char*, const char*> faulty[] = {
        {"/hang", "Request_Timeout"}, // one in ten; else refused
        {"/close", nullptr},
        {"/close-in-header", nullptr},
        {"/bad-status", nullptr},
        {"/long-header/9000", nullptr},
        {"/trickle/2", "OK"},
        {"/bytes/2000000", "OK"},
        {"/loop", "OK"},
        {"http://127.0.0.1:1/refused", nullptr},
        {"http://soak-%1.invalid/submit", nullptr}};
    QList<Engine> out;
    for (int i = 0; i < kEngines; ++i) {
        auto [path, expected] = i % 5 ? normal[i % 5] : faulty[(i / 5) % 10];
        if (i % 5 == 0 && (i / 5) % 10 == 0 && (i / 50) % 10 != 0)
            std::tie(path, expected) = faulty[8];
        const QString p = QString::fromLatin1(path).replace("%1", QString::number(i));
        out.append({QStringLiteral("Engine %1").arg(i, 5, 10, QLatin1Char('0')),
                    p.startsWith('/') ? sim.url(p) : p,
                    expected ? QString::fromLatin1(expected) : kClientFailure});
    }
    return out;
}

class SoakTest : public lb::test::RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        pf.writeBytes("data/session/soak.hlx",
                      "[soak]\r\nurl=http://www.example.com/\r\ntitle=Widgets\r\n");
        engines = soakEngines(sim);
        QStringList lines;
        for (const Engine& e : std::as_const(engines))
            lines.append(lb::test::engineLine(e.name, e.cgi));
        pf.writeEngines("data/data.hlz", lines);
    }

    QList<Engine> engines;
};

TEST_F(SoakTest, FaultyTargetsEachGetOneReportLineWithTheirResult) {
    open();
    run->setWatchdogInterval(kTickMs);
    run->setSpeedIndex(int(speedSteps().indexOf(QStringLiteral("300"))));
    subList.add(QStringLiteral("soak"));
    ASSERT_TRUE(runToEnd(240000));
    EXPECT_EQ(run->counters().successful + run->counters().failed, kEngines);
    EXPECT_EQ(run->inFlight(), 0);

    // Engine name -> result of every engine line of the written report.
    static const QRegularExpression re(QStringLiteral("^<br>.*: (Engine \\d+) Status: (.*)$"));
    QMap<QString, QString> results;
    int lines = 0, successful = 0, wrong = 0;
    for (const QString& l : QString::fromLatin1(pf.readBytes("reports/soak.htm")).split("\r\n")) {
        const auto m = re.match(l);
        if (!m.hasMatch())
            continue;
        ++lines;
        successful += m.captured(2) == QLatin1String("OK");
        results.insert(m.captured(1), m.captured(2));
    }
    EXPECT_EQ(lines, kEngines);
    ASSERT_EQ(results.size(), kEngines);
    EXPECT_EQ(run->counters().successful, successful);
    for (const Engine& e : std::as_const(engines)) {
        const QString got = results.value(e.name);
        const bool ok = e.expected == kClientFailure ? !got.isEmpty() && got != QLatin1String("OK")
                                                     : got == e.expected;
        if (!ok && ++wrong <= 5)
            ADD_FAILURE() << e.name.toStdString() << " at " << e.cgi.toStdString() << ": expected "
                          << e.expected.toStdString() << ", got " << got.toStdString();
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace
