#include "common/FileError.h"
#include "common/NameListModel.h"
#include "engines/EngineCipher.h"
#include "engines/EngineFile.h"
#include "engines/EngineLines.h"
#include "engines/EngineRecord.h"
#include "support/ProgramFolder.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::thrownMessage;

TEST(EngineLine, FieldsKeepTheirPlaceAndMissingOrMalformedOnesReadAsEmpty) {
    const QString example = QStringLiteral(
        "Free Links Page=||title|url|email|||FFA|name|&action=add||||||||||POST||||||||||||||||||");
    const EngineRecord r = EngineRecord::fromLine(example);
    EXPECT_EQ(r.name, "Free Links Page");
    EXPECT_EQ(r[EngineRecord::TitleVar], "title");
    EXPECT_EQ(r[EngineRecord::EmailVar], "email");
    EXPECT_EQ(r[EngineRecord::CategoryType], "FFA");
    EXPECT_EQ(r[EngineRecord::FirstNameVar], "name");
    EXPECT_EQ(r[EngineRecord::HiddenValues], "&action=add");
    EXPECT_TRUE(r.isPost());
    EXPECT_EQ(r.toLine(), example);

    // Fewer than 37 fields: the ones present keep their place; text after the last "|" is none.
    const EngineRecord shortRec = EngineRecord::fromLine(QStringLiteral("S=site|cgi|t"));
    EXPECT_EQ(shortRec[EngineRecord::SiteUrl], "site");
    EXPECT_EQ(shortRec[EngineRecord::CgiUrl], "cgi");
    EXPECT_EQ(shortRec[EngineRecord::TitleVar], "");
    EXPECT_FALSE(shortRec.isPost()); // an empty method selects Get
    const EngineRecord none = EngineRecord::fromLine(QStringLiteral("Name=some text"));
    EXPECT_EQ(none.name, "Name");
    for (const QString& f : none.fields)
        EXPECT_TRUE(f.isEmpty());
    EXPECT_EQ(EngineRecord::fromLine(QStringLiteral("just|text|")).name, "");
    EXPECT_EQ(engineLineName(QStringLiteral("a=b=c|")), "a");
}

TEST(EngineLine, OnlyExactPostSelectsPostAndTheLineWritesPostOrGet) {
    for (const auto& [method, post] : {std::pair{"POST", true}, {"post", false}, {"PUT", false}}) {
        const EngineRecord r = EngineRecord::fromLine(
            "X=" + QString(EngineRecord::Method, QLatin1Char('|')) + method + "|");
        EXPECT_EQ(r.isPost(), post) << method;
        EXPECT_TRUE(r.toLine().contains(post ? "|POST|" : "|GET|")) << method;
        EXPECT_EQ(r.toLine().count(QLatin1Char('|')), 37);
    }
}

TEST(EngineLinesList, SortsIgnoringCaseDropsEqualLinesAndFindsTheFirstOfAName) {
    EngineLines lines;
    lines.setLines({"beta=1|", "Alpha=2|", "alpha=2|", "ALPHA=1|", "gamma=|"});
    EXPECT_EQ(lines.lines(), QStringList({"ALPHA=1|", "Alpha=2|", "beta=1|", "gamma=|"}));
    EXPECT_FALSE(lines.add("BETA=1|"));
    EXPECT_TRUE(lines.add("Beta=2|"));
    EXPECT_EQ(lines.at(3), "Beta=2|");

    // Adding in bulk gives the same list as adding one by one, the present line winning.
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many.append(QStringLiteral("E%1=x|").arg(i % 150));
    many.append("alpha=2|");
    EngineLines one = lines, bulk = lines;
    for (const QString& l : many)
        one.add(l);
    bulk.addAll(many);
    EXPECT_EQ(one.lines(), bulk.lines());
    EXPECT_TRUE(bulk.lines().contains("Alpha=2|"));
    EXPECT_FALSE(bulk.lines().contains("alpha=2|"));

    lines.setLines({"ab c=1|", "ab=2|", "abc=3|", "ab=1|", "a=0|", "x=y=z|"});
    EXPECT_EQ(lines.lineOfName("AB"), "ab=1|"); // first of two in sorted order
    EXPECT_EQ(lines.lineOfName("ab c"), "ab c=1|");
    EXPECT_EQ(lines.lineOfName("A"), "a=0|");
    EXPECT_EQ(lines.lineOfName("x"), "x=y=z|");
    EXPECT_EQ(lines.indexOfName("b"), -1);
    EXPECT_EQ(lines.indexOfName(""), -1);
}

TEST(NameList, SortedListsInsertInPlaceAndFindIgnoringCase) {
    NameListModel sorted(true);
    sorted.setNames({"delta", "Bravo", "alpha"});
    EXPECT_EQ(sorted.names(), QStringList({"alpha", "Bravo", "delta"}));
    EXPECT_EQ(sorted.add("charlie"), 2);
    EXPECT_EQ(sorted.add("BRAVO"), 2); // after its equal
    EXPECT_EQ(sorted.indexOf("bravo"), 1);
    EXPECT_EQ(sorted.indexOf("echo"), -1);
    NameListModel plain(false);
    plain.setNames({"b", "a"});
    EXPECT_EQ(plain.add("c"), 2);
    EXPECT_EQ(plain.indexOf("A"), 1);

    // Ranges reaching past the end remove nothing.
    const struct {
        int row, n;
        QStringList left;
    } removals[] = {
        {1, 3, {"b", "a", "c"}}, {-1, 1, {"b", "a", "c"}}, {3, 1, {"b", "a", "c"}}, {1, 2, {"b"}}};
    for (const auto& r : removals) {
        plain.setNames({"b", "a", "c"});
        plain.removeRange(r.row, r.n);
        EXPECT_EQ(plain.names(), r.left) << r.row << "+" << r.n;
    }
}

// Line ends and the zero byte are the line splitter's; empty lines are dropped here.
TEST(EngineFiles, LoadAndSaveCrLfTextEncipheredOrPlainAndNameTheFileThatFailed) {
    ProgramFolder pf;
    pf.writeBytes("plain.hlx", "b=1|\r\n\r\na=2|\n");
    EngineLines lines;
    loadPlainEngineFile(pf.path("plain.hlx"), lines);
    EXPECT_EQ(lines.lines(), QStringList({"a=2|", "b=1|"}));
    pf.writeBytes("enc.hlz", encipherEngineText("z=1|\r\ny=2|\r\n"));
    QStringList fileOrder;
    LoadEngineFile(pf.path("enc.hlz"), fileOrder);
    EXPECT_EQ(fileOrder, QStringList({"z=1|", "y=2|"}));
    LoadEngineFile(pf.path("enc.hlz"), lines);
    EXPECT_EQ(lines.lines(), QStringList({"y=2|", "z=1|"}));

    SaveEngineFile(lines, pf.path("out.chc"));
    EXPECT_EQ(pf.readBytes("out.chc"), encipherEngineText("y=2|\r\nz=1|\r\n"));
    savePlainEngineFile(lines, pf.path("out.hlx"));
    EXPECT_EQ(pf.readBytes("out.hlx"), QByteArray("y=2|\r\nz=1|\r\n"));

    const QString missing = pf.path("data/none.hlz");
    EXPECT_EQ(thrownMessage<FileError>([&] { LoadEngineFile(missing, lines); }),
              "Cannot open file " + missing);
    EXPECT_EQ(lines.lines(), QStringList({"y=2|", "z=1|"})); // kept
    const QString bad = pf.path("no/such/folder/out.chc");
    EXPECT_EQ(thrownMessage<FileError>([&] { SaveEngineFile(lines, bad); }),
              "Unable to write to " + bad);
}
