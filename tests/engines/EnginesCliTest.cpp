// linkbeacon-cli engines check: arguments, printed lines and exit codes, on
// a folder of its own and on the bundled demo folder against target-sim.
#include "engines/EngineRecord.h"
#include "engines/ProgramFolder.h"
#include "support/CliRun.h"
#include "support/DemoFolder.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>

using namespace lb;
using lb::test::checkedEngine;
using lb::test::ProgramFolder;
using lb::test::runCli;

TEST(EnginesCli, ArgumentsPrintedLinesAndExitCodes) {
    ProgramFolder pf;
    QDir(pf.dir.path()).mkpath("pages");
    pf.writeBytes("pages/links.htm", "<form method=POST action=add.cgi><input name=url></form>");
    lb::test::TargetSim sim({QStringLiteral("--root"), pf.path("pages")});
    ASSERT_TRUE(sim.ok());
    const QString cgi = sim.url("/files/add.cgi");
    pf.writeBytes(
        "data/custom/mine.hlx",
        (QStringList{checkedEngine("Alive Links", sim.url("/files/links.htm"), cgi).toLine(),
                     checkedEngine("Gone Links", sim.url("/status/404/Not%20Found"), cgi).toLine(),
                     checkedEngine("Dead Links", "http://lapsed.invalid/", cgi).toLine()}
             .join("\r\n"))
            .toUtf8());
    pf.writeEngines("data/data.hlz",
                    {checkedEngine("Data Links", sim.url("/files/links.htm"), cgi).toLine()});
    pf.writeBytes("data/exclude.tmp", "Dead Links\r\n");
    const QString mine = pf.path("data/custom/mine.hlx");
    const QStringList mineLines = {"alive Alive Links", "gone Gone Links 404 Not Found",
                                   "dead Dead Links can't resolve hostname to IP address"};
    const QString counts =
        QStringLiteral("engines: 1 alive, 0 changed, 0 moved, 1 gone, 0 error, 1 dead");

    struct Case {
        QStringList args;
        int exitCode;
        QStringList out; // all of stdout, line by line
    } cases[] = {
        {{"check"},
         0,
         {"alive Data Links", "engines: 1 alive, 0 changed, 0 moved, 0 gone, 0 error, 0 dead"}},
        {{"check", "--database", mine, "--speed", "1", "--timeout", "20", "--csv",
          pf.path("out.csv")},
         0,
         mineLines + QStringList{counts}},
        // Dead Links was on the list already: one name is added, once.
        {{"check", "--database", mine, "--exclude"},
         0,
         mineLines + QStringList{"excluded: 1", counts}},
        {{"check", "--database", mine, "--exclude"},
         0,
         mineLines + QStringList{"excluded: 0", counts}},
        {{"check", "--database", pf.path("data/custom/none.hlx")}, 1, {}},
        {{"check", "--speed", "7"}, 2, {}},
        {{"check", "--timeout", "soon"}, 2, {}},
        {{"check", "--csv"}, 2, {}},
        {{"check", "--verbose"}, 2, {}},
        {{"check", "extra"}, 2, {}},
        {{"list"}, 2, {}},
        {{}, 2, {}},
    };
    for (const Case& c : cases) {
        const auto r = runCli(pf.dir.path(), QStringList{"engines"} + c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.err.constData();
        EXPECT_EQ(r.outLines().join('\n'), c.out.join('\n')) << what;
        if (c.exitCode != 0)
            EXPECT_EQ(r.errLines().size(), 1) << what;
    }
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), "Dead Links\r\nGone Links\r\n");
    EXPECT_EQ(pf.readBytes("out.csv"), pf.readBytes("reports/engines-mine.csv"));
    EXPECT_TRUE(pf.readBytes("out.csv").contains("\r\nGone Links,gone,404,404 Not Found\r\n"));
    EXPECT_TRUE(pf.exists("reports/engines-data.htm"));
}

TEST(EnginesCli, TheDemoFolderChecksAliveAndItsCheckDemoShowsEveryState) {
    lb::test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(lb::test::copyBundledFolder(dir.path(), sim.port()));

    const auto data = runCli(dir.path(), {"engines", "check", "--speed", "300"});
    EXPECT_EQ(data.exitCode, 0) << data.err.constData();
    const QStringList lines = data.outLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), "engines: 30 alive, 0 changed, 0 moved, 0 gone, 0 error, 0 dead")
        << data.out.constData();

    const auto demo =
        runCli(dir.path(), {"engines", "check", "--database", "data/custom/check-demo.hlx"});
    EXPECT_EQ(demo.exitCode, 0) << demo.err.constData();
    EXPECT_EQ(
        demo.outLines(),
        (QStringList{
            "alive Acorn Links",
            "alive Script Only Links",
            "changed Redesigned Directory",
            QStringLiteral("moved Relocated Links http://localhost:%1/demo/ffa/acorn/links.htm")
                .arg(sim.port()),
            "gone Closed Link Board 410 Gone",
            "error Members Only Index 403 Access Denied",
            "dead Lapsed Domain Links can't resolve hostname to IP address",
            "dead Unplugged Ads Connection refused (Error #10061)",
            "engines: 2 alive, 1 changed, 1 moved, 1 gone, 1 error, 2 dead",
        }));
}
