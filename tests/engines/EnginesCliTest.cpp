// linkbeacon-cli engines check on the bundled folder against target-sim:
// arguments, printed lines and exit codes (the default database is checked
// through a proxy in ProxyCliTest).
#include "support/CliRun.h"
#include "support/DemoFolder.h"
#include "support/Files.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using lb::test::readFile;
using lb::test::runCli;

TEST(EnginesCli, ArgumentsPrintedLinesAndExitCodes) {
    lb::test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(lb::test::copyBundledFolder(dir.path(), sim.port()));
    lb::test::writeFile(dir.filePath("data/exclude.tmp"), "Unplugged Ads\r\n");

    // The check demo has an engine in each state.
    const QString demo = "data/custom/check-demo.hlx";
    const QStringList demoLines = {
        "alive Acorn Links",
        "alive Script Only Links",
        "changed Redesigned Directory",
        QStringLiteral("moved Relocated Links http://localhost:%1/demo/ffa/acorn/links.htm")
            .arg(sim.port()),
        "gone Closed Link Board 410 Gone",
        "error Members Only Index 403 Access Denied",
        "dead Lapsed Domain Links can't resolve hostname to IP address",
        "dead Unplugged Ads Connection refused (Error #10061)",
    };
    const QString counts = "engines: 2 alive, 1 changed, 1 moved, 1 gone, 1 error, 2 dead";
    struct Case {
        QStringList args;
        int exitCode;
        QStringList out; // all of stdout, line by line
    } cases[] = {
        // clang-format off
        {{"check", "--database", demo, "--speed", "1", "--timeout", "20", "--csv", "out.csv"}, 0,
         demoLines + QStringList{counts}},
        // Unplugged Ads was on the list already: two names are added.
        {{"check", "--database", demo, "--exclude"}, 0,
         demoLines + QStringList{"excluded: 2", counts}},
        {{"check", "--database", "data/custom/none.hlx", "--timeout", "86400"}, 1, {}},
        {{"check", "--timeout", "86401"}, 2, {}},
        {{"check", "--timeout", "0"}, 2, {}},
        {{"check", "--speed", "7"}, 2, {}},
        {{"list"}, 2, {}},
        {{}, 2, {}},
        // clang-format on
    };
    for (const Case& c : cases) {
        const auto r = runCli(dir.path(), QStringList{"engines"} + c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << r.err.constData();
        EXPECT_EQ(r.outLines().join('\n'), c.out.join('\n')) << what;
        if (c.exitCode != 0)
            EXPECT_EQ(r.errLines().size(), 1) << what;
    }
    EXPECT_EQ(readFile(dir.filePath("data/exclude.tmp")),
              "Unplugged Ads\r\nClosed Link Board\r\nLapsed Domain Links\r\n");
    EXPECT_EQ(readFile(dir.filePath("out.csv")),
              readFile(dir.filePath("reports/engines-check-demo.csv")));
}
