#include "update/UpdateFixture.h"

#include "engines/EngineCipher.h"
#include "support/CliRun.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>

using lb::test::rarFile;

namespace {

lb::test::CliResult cli(const QString& dir, const QStringList& args) {
    return lb::test::runCli(dir, QStringList{"update"} + args);
}

} // namespace

TEST(UpdateCli, PrintsStatusesAndMessagesAndInstallsFromTheConfiguredHost) {
    lb::test::UpdateFolder pf;
    const QString archive =
        pf.archive({rarFile("data.hlz", "New=|a|\r\n"), rarFile("un.pac", "data.hlz")});
    lb::test::TargetSim sim({QStringLiteral("--update-archive"), archive});
    ASSERT_TRUE(sim.ok());
    pf.write("zkt.ini",
             QStringLiteral("[Update]\r\nHost=127.0.0.1:%1\r\n").arg(sim.port()).toUtf8());
    const lb::test::CliResult r = cli(pf.dir.path(), {});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              QStringLiteral("Status: Loading\nStatus: Received %1 bytes\nStatus: Extracting\n"
                             "Update Complete: Update Complete.\n Do you wish to Load the "
                             "updated database  ?\n")
                  .arg(QFileInfo(archive).size())
                  .toUtf8());
    EXPECT_EQ(pf.read("data/data.hlz"), lb::encipherEngineText("New=|a|\r\n"));
    EXPECT_FALSE(QFile::exists(pf.path("data/kestrel.hlz")));
}

TEST(UpdateCli, FailuresPrintTheirMessageAndExitOne) {
    lb::test::UpdateFolder pf;
    lb::test::RarEntry bad = rarFile("data.hlz", "x");
    bad.wrongCrc = true;
    const QString corrupt = pf.archive({bad, rarFile("un.pac", "data.hlz")});
    lb::test::TargetSim sim({QStringLiteral("--update-archive"), corrupt});
    lb::test::TargetSim none({QStringLiteral("--update-archive"), pf.path("nothing")});
    ASSERT_TRUE(sim.ok() && none.ok());

    lb::test::CliResult r =
        cli(pf.dir.path(), {"--host", QStringLiteral("127.0.0.1:%1").arg(sim.port())});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.endsWith("Status: Extracting\nLinkbeacon: Archive is corrupted\n"))
        << r.out.toStdString();

    r = cli(pf.dir.path(), {"--host", QStringLiteral("127.0.0.1:%1").arg(none.port())});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Status: Loading\nStatus: Failed : 404 Not Found\nNo Update: No Update "
                     "Available at this time... Please try again later.\n");
    EXPECT_EQ(pf.read("data/data.hlz"), "old data");

    // The download file cannot even be created without a data folder.
    QDir(pf.path("data")).removeRecursively();
    r = cli(pf.dir.path(), {"--host", QStringLiteral("127.0.0.1:%1").arg(sim.port())});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              "Linkbeacon: Cannot create file " + pf.path("data/kestrel.hlz").toUtf8() + "\n");

    for (const QStringList& args : QList<QStringList>{{"--host"}, {"--port", "1"}, {"extra"}}) {
        r = cli(pf.dir.path(), args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count('\n'), 1);
    }
}
