// linkbeacon-cli audit: arguments against exit code, output and the report
// files it leaves.
#include "support/CliRun.h"
#include "support/LoopbackServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

TEST(AuditCli, ArgumentsExitCodesOutputAndReports) {
    lb::test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const lb::test::LoopbackPort refusing(false);
    const QString gone = QStringLiteral("http://127.0.0.1:%1/").arg(refusing.port);
    const QString demo = sim.url("/audit/");
    struct Case {
        QStringList args;
        int exitCode;
        QString lastLine;    // of stdout; empty: nothing printed there
        QStringList reports; // the files left, in the folder it ran in
    } const cases[] = {
        // clang-format off
        {{}, 2, {}, {}},
        {{"--max-pages", "0", demo}, 2, {}, {}},
        {{"--timeout", "1.5", demo}, 2, {}, {}},
        {{"ftp://127.0.0.1/"}, 2, {}, {}},
        {{"127.0.0.1/audit/"}, 2, {}, {}},
        {{gone}, 1, {}, {}},
        {{"--max-pages", "5", "--in-flight", "16", "--timeout", "20", demo}, 0,
         "audit: 5 pages, 5 issues, 1 broken links",
         {"reports/audit-127.0.0.1.csv", "reports/audit-127.0.0.1.htm"}},
        {{"--max-pages=1", "--ignore-robots", "--csv", "pages.csv", "--html", "pages.htm",
          sim.url("/audit/private/secret.html")}, 0,
         "audit: 1 pages, 17 issues, 0 broken links", {"pages.csv", "pages.htm"}},
        // clang-format on
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const lb::test::CliResult r = lb::test::runCli(dir.path(), QStringList{"audit"} + c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_EQ(r.outLines().value(r.outLines().size() - 1), c.lastLine) << what;
        // Usage errors say so in one line; a host gone says which.
        if (c.exitCode == 2)
            EXPECT_EQ(r.errLines().size(), 1) << what;
        if (c.exitCode == 1)
            EXPECT_TRUE(r.lastErrLine().contains(gone)) << r.err.constData();
        QStringList left = QDir(dir.path()).entryList({"*.*"}, QDir::Files);
        for (const QString& report : QDir(dir.filePath("reports")).entryList(QDir::Files))
            left << "reports/" + report;
        EXPECT_EQ(left, c.reports) << what;
    }
}
