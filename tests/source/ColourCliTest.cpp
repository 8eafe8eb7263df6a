// linkbeacon-cli colour as a script runs it.
#include "support/CliRun.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using lb::test::runCli;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(ColourCli, SourceRulesByDefaultWithCodePointOffsets) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // U+1F600 takes two UTF-16 units but counts as one character; CR LF count as two.
    writeFile(dir.filePath("page.htm"),
              "\xF0\x9F\x98\x80<form action=x>\r\n<OPTION>\xC3\xA9</OPTION>");
    auto r = runCli(dir.path(), {"colour", "page.htm"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1 6 red\n7 7 blue\n14 2 red\n18 8 blue\n27 9 blue\n");
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_EQ(runCli(dir.path(), {"colour", "--rules", "source", "page.htm"}).out, r.out);

    // Bytes that are not UTF-8 are read as Latin-1, one character each.
    writeFile(dir.filePath("latin.htm"), "\xE9\xE9<meta x>");
    r = runCli(dir.path(), {"colour", "--rules", "meta", "latin.htm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "2 8 purple\n");
}

TEST(ColourCli, RulesFileInCollectionOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath("rules.txt"), "[Rule]\r\n"
                                         "KeyDrawingType=dtBeginLineEnd\r\n"
                                         "KeyLineEndLst=//;#102030\r\n"
                                         "ZOrder=2\r\n"
                                         "[Rule]\n"
                                         "KeyDrawingType=dtKeyShow\n"
                                         "Keywords=int\n"
                                         "Keywords=x=y;navy\n"
                                         "DefKeyColor=lime\n"
                                         "[Rule]\n"
                                         "KeyBegEndLst=(;)\n"
                                         "DefKeyColor=no such colour\n");
    writeFile(dir.filePath("code.txt"), "int a; // int x=y\nprint x=y (z)");
    const auto r = runCli(dir.path(), {"colour", "--rules-file", "rules.txt", "code.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "0 3 lime\n7 10 #102030\n24 3 navy\n28 3 red\n");
}

TEST(ColourCli, BadArgumentsAndMissingFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath("a.txt"), "x");
    writeFile(dir.filePath("bad.txt"), "[Rule]\nColour=red\n");
    for (const QStringList& args :
         {QStringList{"colour"}, QStringList{"colour", "--rules", "other", "a.txt"},
          QStringList{"colour", "--rules", "meta", "--rules-file", "bad.txt", "a.txt"},
          QStringList{"colour", "--rules-file", "bad.txt", "a.txt"},
          QStringList{"colour", "a.txt", "a.txt"}, QStringList{"colour", "--rules"}}) {
        const auto r = runCli(dir.path(), args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    const auto r = runCli(dir.path(), {"colour", "missing.htm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cannot open file missing.htm\n");
}
