// linkbeacon-cli update and rar as a user runs them.
#include "update/UpdateFixture.h"

#include "engines/EngineCipher.h"
#include "support/CliRun.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

using lb::test::rarFile;
using rarwriter::RarEntry;

// One folder through every kind of call, in order: recovery first, failures
// that leave data/ as it was, installs from --host and from zkt.ini, usage errors.
TEST(UpdateCli, ArgumentsPrintedLinesAndExitCodes) {
    const QByteArray rolledBack = "update: rolled back an interrupted install\n";
    const QByteArray complete = "Status: Extracting\nUpdate Complete: Update Complete.\n Do you "
                                "wish to Load the updated database  ?\n";
    lb::test::UpdateFolder pf;
    const QString archive =
        pf.archive({rarFile("data.hlz", "New=|a|\r\n"), rarFile("un.pac", "data.hlz")});
    lb::test::TargetSim sim({"--update-archive", archive});
    ASSERT_TRUE(sim.ok());
    const QString host = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    const QByteArray received = QStringLiteral("Status: Loading\nStatus: Received %1 bytes\n")
                                    .arg(QFileInfo(archive).size())
                                    .toUtf8();
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
        QByteArray out; // "": nothing on stdout and one line on stderr
        int exitCode;
    };
    // clang-format off
    const Row rows[] = {
        {[] {}, {"--recover"}, "update: nothing to recover\n", 0},
        {leaveLeftovers, {"--recover"}, rolledBack, 0},
        {leaveLeftovers, {"--host", host}, rolledBack + received + complete, 0},
        {[&] { pf.write("zkt.ini", "[Update]\r\nHost=" + host.toUtf8() + "\r\n"); }, {},
         received + complete, 0},
        // (Options the command lacks are the command line's own tests.)
        {[] {}, {"--recover", "extra"}, "", 2},
        // The updater's messages as "caption: text", "Linkbeacon" when it has none.
        // The download file cannot even be created without a data folder.
        {[&] { QDir(pf.path("data")).removeRecursively(); }, {"--host", host},
         "Linkbeacon: Cannot create file " + pf.path("data/kestrel.hlz").toUtf8() + "\n", 1},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        row.prepare();
        const auto prepared = pf.snapshot();
        const lb::test::CliResult r =
            lb::test::runCli(pf.dir.path(), QStringList{"update"} + row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        if (row.out.isEmpty())
            EXPECT_EQ(r.err.count('\n'), 1);
        if (row.args.contains("--recover") && row.exitCode == 0)
            EXPECT_EQ(pf.snapshot(), before) << "leftovers removed, nothing else";
        else if (row.exitCode != 0)
            EXPECT_EQ(pf.snapshot(), prepared) << "nothing changed";
        else
            EXPECT_EQ(pf.read("data/data.hlz"), lb::encipherEngineText("New=|a|\r\n"));
        if (row.exitCode == 0)
            EXPECT_FALSE(QFile::exists(pf.path("data/kestrel.hlz")));
    }
}

// linkbeacon-cli rar: every event of the archive code printed in firing order
// (which entries fail is the archive code's own test).
TEST(RarCli, ArgumentsPrintedLinesAndExitCodes) {
    QTemporaryDir tmp;
    RarEntry bad = rarFile("bad.txt", "xyz");
    bad.wrongCrc = true;
    ASSERT_TRUE(rarwriter::writeRarArchive(
        tmp.filePath("u.rar").toStdString(),
        {rarFile("big", std::string(70000, 'b')), rarFile("sub\\a.txt", "hello"), bad}));
    // clang-format off
    const struct {
        QStringList args;
        int exitCode;
        QByteArray out; // "": one line on stderr
    } rows[] = {
        {{"test", "u.rar", "SUB/A.TXT"}, 0,
         "Testing: sub/a.txt\nTested: sub/a.txt OK\nResult: True\n"},
        // The folder is created when missing. Data comes in blocks of 64 KiB
        // with the running total of its entry.
        {{"extract", "u.rar", "new/dir"}, 1, "Extracting: big 70000\nData: 65536 65536\n"
         "Data: 4464 70000\nExtracted: big OK\nExtracting: sub/a.txt 5\nData: 5 5\n"
         "Extracted: sub/a.txt OK\nExtracting: bad.txt 3\nData: 3 3\nExtracted: bad.txt FAILED\n"
         "Error: 12\nResult: False\n"},
        {{"extract", "missing.rar", "out"}, 1, "Error: 15\nResult: False\n"},
        {{}, 2, ""},
        {{"list", "a.rar"}, 2, ""},
        {{"extract", "a.rar"}, 2, ""},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const auto r = lb::test::runCli(tmp.path(), QStringList{"rar"} + row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err.count('\n'), row.out.isEmpty() ? 1 : 0) << r.err.toStdString();
    }
    EXPECT_EQ(lb::test::readFile(tmp.filePath("new/dir/sub/a.txt")), "hello");
}
