#include "support/CliRun.h"
#include "update/UpdateFixture.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using lb::test::RarEntry;
using lb::test::rarFile;

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
