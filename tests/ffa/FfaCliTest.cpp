// linkbeacon-cli ffa as a user runs it, in a program folder of its own.
#include "engines/EngineCipher.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

using lb::test::readFile;
using lb::test::TargetSim;
using lb::test::writeFile;

namespace {

struct CliRun {
    int exitCode;
    QStringList out, err;
};

CliRun ffa(const QString& folder, const QStringList& args) {
    const auto r = lb::test::runCli(folder, QStringList{"ffa"} + args, {120000});
    return {r.exitCode, r.outLines(), r.errLines()};
}

const QRegularExpression kLastLine(
    "^Links to Crawl: (\\d+)  Crawled: (\\d+)  Engine Queries: (\\d+)  Quries left: (\\d+)  "
    "String Count: (\\d+)  Current String: (\\d+)  Links Saved: (\\d+)  Rejected: (\\d+)$");

} // namespace

// Calls that never crawl: usage errors (one line, nothing made) and lists
// that cannot be made or read. A new "x.hlx" never overwrites an "x.chc".
// (Unknown options and missing values: the command table's own tests.)
TEST(FfaCli, ArgumentsThatCrawlNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        QStringList args;
        int exitCode;
        QString lastErr; // empty: any single line
    };
    const Row rows[] = {
        {{}, 2, ""},
        {{"a.hlx", "b.hlx"}, 2, ""},
        {{"--timeout", "ten", "a.hlx"}, 2, ""},
        {{"--start", "-1", "a.hlx"}, 2, ""},
        {{"--max-kb", "2k", "a.hlx"}, 2, ""},
        {{"no/such/folder/list.hlx"},
         1,
         "Unable to write to " + dir.filePath("no/such/folder/list.chc")},
        {{"folder.chc"}, 1, "Cannot open file " + dir.filePath("folder.chc")},
        {{"kept.hlx"}, 1, ""},
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.chc"));
    writeFile(dir.filePath("kept.chc"), "precious");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const CliRun r = ffa(dir.path(), row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_TRUE(r.out.isEmpty());
        ASSERT_FALSE(r.err.isEmpty());
        if (row.exitCode == 2)
            EXPECT_EQ(r.err.size(), 1);
        if (!row.lastErr.isEmpty())
            EXPECT_EQ(r.err.last(), row.lastErr);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList({"folder.chc", "kept.chc"}));
    EXPECT_EQ(readFile(dir.filePath("kept.chc")), "precious");
}

TEST(FfaCli, CrawlSavesTheListAndReportsCounters) {
    TargetSim sim({"--ffa-pages", "3"});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The search base comes from zkt.ini when no option names it.
    writeFile(dir.filePath("zkt.ini"),
              "[Crawler]\r\nSearchBase=" + sim.url("/altavista").toUtf8() + "\r\n");

    CliRun r = ffa(dir.path(), {"--main", "garden", "--and1", "free", "--and2", "links", "--and3",
                                "ffa", "--timeout", "5", "Garden.HLX"});
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    ASSERT_GE(r.out.size(), 4);
    EXPECT_EQ(r.out.first(), "Crawler Status: Search string count for this profile is: 1 strings");
    EXPECT_TRUE(r.out.contains("Engine Status: Contacting: " + sim.url("/altavista") +
                               "/cgi-bin/query?pg=aq&text=yes&q=(garden)+and+(free)+and+(links)+"
                               "and+(ffa)&r=ffa&stq=0"));
    EXPECT_EQ(r.out.at(r.out.size() - 2),
              "Crawling Url: All Done crawling please try another custom search");
    const QRegularExpressionMatch m = kLastLine.match(r.out.last());
    ASSERT_TRUE(m.hasMatch()) << r.out.last().toStdString();
    EXPECT_EQ(m.captured(3), "2");
    const int saved = m.captured(7).toInt();
    EXPECT_EQ(saved, 9); // six demo forms and three generated pages

    // Saved enciphered under the ".chc" name, CR LF after every line.
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("Garden.HLX")));
    const QByteArray plain = lb::decipherEngineText(readFile(dir.filePath("Garden.chc")));
    EXPECT_EQ(plain.count("\r\n"), saved);
    EXPECT_TRUE(plain.contains("=" + sim.url("/ffa/garden/links.htm").toUtf8() + "|"));
}
