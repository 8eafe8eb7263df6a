// linkbeacon-cli audit: arguments against exit code and output, and the
// report files it leaves.
#include "support/CliRun.h"
#include "support/LoopbackServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using lb::test::TargetSim;

TEST(AuditCli, ArgumentsExitCodesAndOutput) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    const lb::test::LoopbackPort refusing(false);
    const QString gone = QStringLiteral("http://127.0.0.1:%1/").arg(refusing.port);
    const QString demo = sim.url("/audit/");
    struct Case {
        QStringList args;
        int exitCode;
        QString lastLine; // of stdout; empty: nothing printed there
    } const cases[] = {
        {{}, 2, {}},
        {{demo, demo}, 2, {}},
        {{"--bogus", demo}, 2, {}},
        {{demo, "--max-pages"}, 2, {}},
        {{"--max-pages", "0", demo}, 2, {}},
        {{"--in-flight", "-1", demo}, 2, {}},
        {{"--timeout", "1.5", demo}, 2, {}},
        {{"--max-pages", "x", demo}, 2, {}},
        {{"ftp://127.0.0.1/"}, 2, {}},
        {{"127.0.0.1/audit/"}, 2, {}},
        {{gone}, 1, {}},
        {{"--max-pages", "5", "--in-flight", "16", "--timeout", "20", demo},
         0,
         QStringLiteral("audit: 5 pages, 5 issues, 1 broken links")},
        {{"--max-pages=1", "--ignore-robots", sim.url("/audit/private/secret.html")},
         0,
         QStringLiteral("audit: 1 pages, 17 issues, 0 broken links")},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const lb::test::CliResult r = lb::test::runCli(dir.path(), QStringList{"audit"} + c.args);
        const QString what = c.args.join(' ');
        EXPECT_EQ(r.exitCode, c.exitCode) << what.toStdString();
        if (c.lastLine.isEmpty()) {
            EXPECT_TRUE(r.out.isEmpty()) << what.toStdString();
            // Usage errors say so in one line; a host gone says which.
            if (c.exitCode == 2)
                EXPECT_EQ(r.errLines().size(), 1) << what.toStdString();
            else
                EXPECT_TRUE(r.lastErrLine().contains(gone)) << r.err.constData();
            EXPECT_FALSE(QFile::exists(dir.filePath("reports")));
        } else {
            ASSERT_FALSE(r.outLines().isEmpty());
            EXPECT_EQ(r.outLines().last(), c.lastLine) << r.out.constData() << what.toStdString();
            EXPECT_TRUE(QFile::exists(dir.filePath("reports/audit-127.0.0.1.csv")));
            EXPECT_TRUE(QFile::exists(dir.filePath("reports/audit-127.0.0.1.htm")));
        }
    }
}

TEST(AuditCli, ReportsGoWhereTheyAreToldInTheirFormats) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    const lb::test::CliResult r = lb::test::runCli(
        dir.path(), {"audit", "--max-pages", "3", "--csv", "pages.csv", sim.url("/audit/")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_FALSE(QFile::exists(dir.filePath("reports/audit-127.0.0.1.csv")));
    QFile csv(dir.filePath("pages.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray data = csv.readAll();
    ASSERT_TRUE(data.startsWith("\xEF\xBB\xBF"
                                "URL,Status,"));
    const QList<QByteArray> rows = data.mid(3).split('\n');
    ASSERT_EQ(rows.size(), 5); // header, three pages, nothing after the last CR LF
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(rows.at(i).endsWith('\r'));
    EXPECT_TRUE(rows.at(1).startsWith(sim.url("/audit/").toUtf8() + ",200,"));
    QFile html(dir.filePath("reports/audit-127.0.0.1.htm"));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    EXPECT_TRUE(html.readAll().contains("Garden Audit Demo"));
}
