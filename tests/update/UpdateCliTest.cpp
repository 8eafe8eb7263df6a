// linkbeacon-cli update and rar as a user runs them.
#include "update/UpdateFixture.h"

#include "engines/EngineCipher.h"
#include "support/CliRun.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

using lb::test::RarEntry;
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
    lb::test::TargetSim sim({"--update-archive", archive});
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
    lb::test::TargetSim sim({"--update-archive", corrupt});
    lb::test::TargetSim none({"--update-archive", pf.path("nothing")});
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

TEST(UpdateCli, RecoversFirstAndRefusesUnsignedArchivesWhenAKeyFileExists) {
    const QByteArray rolledBack = "update: rolled back an interrupted install\n";
    lb::test::UpdateFolder pf;
    const QString archive =
        pf.archive({rarFile("data.hlz", "New=|a|\r\n"), rarFile("un.pac", "data.hlz")});
    lb::test::TargetSim sim({"--update-archive", archive});
    ASSERT_TRUE(sim.ok());
    const QString host = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    const QByteArray received =
        QStringLiteral("Status: Received %1 bytes\n").arg(QFileInfo(archive).size()).toUtf8();
    // What an install that died before its journal leaves behind.
    auto leaveLeftovers = [&] {
        QDir(pf.path("data")).mkpath(".update-AbC123/sub");
        pf.write("data/.update-AbC123/sub/data.hlz", "staged");
        pf.write("data/kestrel.hlz", "part of a download");
        pf.write("data/un.pac", "data.hlz");
    };
    const auto before = pf.snapshot();

    struct Row {
        std::function<void()> prepare;
        QStringList args;
        QByteArray out;
        int exitCode;
    };
    const Row rows[] = {
        {[] {}, {"--recover"}, "update: nothing to recover\n", 0},
        {leaveLeftovers, {"--recover"}, rolledBack, 0},
        {leaveLeftovers, {"--recover", "--host", "127.0.0.1:1"}, rolledBack, 0},
        {[&] { pf.write("data/update.pub", "# no key yet\n"); },
         {"--host", host},
         "Status: Loading\n" + received +
             "Linkbeacon: The update is not signed by a trusted key; nothing was installed.\n",
         1},
        {[&] {
             leaveLeftovers();
             QFile::remove(pf.path("data/update.pub"));
         },
         {"--host", host},
         rolledBack + "Status: Loading\n" + received +
             "Status: Extracting\nUpdate Complete: Update Complete.\n Do you wish to Load the "
             "updated database  ?\n",
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        row.prepare();
        const auto prepared = pf.snapshot();
        const lb::test::CliResult r = cli(pf.dir.path(), row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        if (row.args.contains("--recover"))
            EXPECT_EQ(pf.snapshot(), before) << "leftovers removed, nothing else";
        else if (row.exitCode == 1)
            EXPECT_EQ(pf.snapshot(), prepared) << "data/ unchanged";
    }
    EXPECT_EQ(pf.read("data/data.hlz"), lb::encipherEngineText("New=|a|\r\n"));

    const lb::test::CliResult r = cli(pf.dir.path(), {"--recover", "extra"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
}

TEST(RarCli, PrintsEveryEventInFiringOrderAndTheResult) {
    QTemporaryDir tmp;
    RarEntry bad = rarFile("bad.txt", "xyz");
    bad.wrongCrc = true;
    const RarEntry dir = rarFile("sub", {}, RarEntry::Kind::Directory);
    ASSERT_TRUE(lb::test::writeRarArchive(
        tmp.filePath("u.rar").toStdString(),
        {dir, rarFile("sub\\a.txt", "hello"), bad, rarFile("..\\evil", "e")}));

    auto t = lb::test::runCli(tmp.path(), {"rar", "test", "u.rar"});
    EXPECT_EQ(t.exitCode, 1);
    EXPECT_EQ(t.out, "Testing: sub\nTested: sub OK\nTesting: sub/a.txt\nTested: sub/a.txt OK\n"
                     "Testing: bad.txt\nTested: bad.txt FAILED\nError: 12\n"
                     "Testing: ../evil\nTested: ../evil OK\nResult: False\n");

    auto x = lb::test::runCli(tmp.path(), {"rar", "extract", "u.rar", "new/dir"});
    EXPECT_EQ(x.exitCode, 1);
    EXPECT_EQ(x.out, "Extracting: sub 0\nExtracted: sub OK\n"
                     "Extracting: sub/a.txt 5\nData: 5 5\nExtracted: sub/a.txt OK\n"
                     "Extracting: bad.txt 3\nData: 3 3\nExtracted: bad.txt FAILED\nError: 12\n"
                     "Extracting: ../evil 1\nExtracted: ../evil FAILED\nError: 16\n"
                     "Result: False\n");
    QFile a(tmp.filePath("new/dir/sub/a.txt"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly)) << "the folder is created when missing";
    EXPECT_EQ(a.readAll(), "hello");
    EXPECT_FALSE(QFile::exists(tmp.filePath("new/evil")));

    auto one = lb::test::runCli(tmp.path(), {"rar", "extract", "u.rar", "only", "SUB/A.TXT"});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out,
              "Extracting: sub/a.txt 5\nData: 5 5\nExtracted: sub/a.txt OK\nResult: True\n");
    auto good = lb::test::runCli(tmp.path(), {"rar", "test", "u.rar", "sub/a.txt"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out, "Testing: sub/a.txt\nTested: sub/a.txt OK\nResult: True\n");
}

TEST(RarCli, OpeningErrorsAndBadArguments) {
    QTemporaryDir tmp;
    QFile text(tmp.filePath("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not an archive");
    text.close();

    const QList<QPair<QStringList, QByteArray>> failing = {
        {{"rar", "test", ""}, "Error: 13\nResult: False\n"},
        {{"rar", "test", "notes.txt"}, "Error: 13\nResult: False\n"},
        {{"rar", "extract", "missing.rar", "out"}, "Error: 15\nResult: False\n"},
    };
    for (const auto& [args, out] : failing) {
        auto r = lb::test::runCli(tmp.path(), args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, out) << args.join(' ').toStdString();
    }

    const QList<QStringList> bad = {{"rar"},
                                    {"rar", "list", "a.rar"},
                                    {"rar", "test"},
                                    {"rar", "extract", "a.rar"},
                                    {"rar", "test", "--verbose", "a.rar"}};
    for (const QStringList& args : bad) {
        auto r = lb::test::runCli(tmp.path(), args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
}
