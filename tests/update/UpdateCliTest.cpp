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

// One folder through every kind of call, in order: recovery first, failures
// that leave data/ as it was, installs from --host and from zkt.ini, usage errors.
TEST(UpdateCli, ArgumentsPrintedLinesAndExitCodes) {
    const QByteArray rolledBack = "update: rolled back an interrupted install\n";
    const QByteArray complete = "Status: Extracting\nUpdate Complete: Update Complete.\n Do you "
                                "wish to Load the updated database  ?\n";
    lb::test::UpdateFolder pf;
    const QString archive =
        pf.archive({rarFile("data.hlz", "New=|a|\r\n"), rarFile("un.pac", "data.hlz")});
    lb::test::RarEntry bad = rarFile("data.hlz", "x");
    bad.wrongCrc = true;
    const QString corrupt = pf.archive({bad, rarFile("un.pac", "data.hlz")});
    lb::test::TargetSim sim({"--update-archive", archive});
    lb::test::TargetSim corruptSim({"--update-archive", corrupt});
    lb::test::TargetSim none({"--update-archive", pf.path("nothing")});
    ASSERT_TRUE(sim.ok() && corruptSim.ok() && none.ok());
    auto hostOf = [](const lb::test::TargetSim& s) {
        return QStringLiteral("127.0.0.1:%1").arg(s.port());
    };
    auto received = [](const QString& file) {
        return QStringLiteral("Status: Loading\nStatus: Received %1 bytes\n")
            .arg(QFileInfo(file).size())
            .toUtf8();
    };
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
    const Row rows[] = {
        {[] {}, {"--recover"}, "update: nothing to recover\n", 0},
        {leaveLeftovers, {"--recover"}, rolledBack, 0},
        {leaveLeftovers, {"--recover", "--host", "127.0.0.1:1"}, rolledBack, 0},
        {[] {},
         {"--host", hostOf(corruptSim)},
         received(corrupt) + "Status: Extracting\nLinkbeacon: Archive is corrupted\n",
         1},
        {[] {},
         {"--host", hostOf(none)},
         "Status: Loading\nStatus: Failed : 404 Not Found\nNo Update: No Update Available at "
         "this time... Please try again later.\n",
         1},
        {[&] { pf.write("data/update.pub", "# no key yet\n"); },
         {"--host", hostOf(sim)},
         received(archive) +
             "Linkbeacon: The update is not signed by a trusted key; nothing was installed.\n",
         1},
        {[&] {
             leaveLeftovers();
             QFile::remove(pf.path("data/update.pub"));
         },
         {"--host", hostOf(sim)},
         rolledBack + received(archive) + complete,
         0},
        {[&] { pf.write("zkt.ini", "[Update]\r\nHost=" + hostOf(sim).toUtf8() + "\r\n"); },
         {},
         received(archive) + complete,
         0},
        {[] {}, {"--host"}, "", 2},
        {[] {}, {"--port", "1"}, "", 2},
        {[] {}, {"extra"}, "", 2},
        {[] {}, {"--recover", "extra"}, "", 2},
        // The download file cannot even be created without a data folder.
        {[&] { QDir(pf.path("data")).removeRecursively(); },
         {"--host", hostOf(corruptSim)},
         "Linkbeacon: Cannot create file " + pf.path("data/kestrel.hlz").toUtf8() + "\n",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        row.prepare();
        const auto prepared = pf.snapshot();
        const lb::test::CliResult r = cli(pf.dir.path(), row.args);
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
