// The colouring rules against hand-made texts, and linkbeacon-cli colour as a
// script runs it.
#include "source/ColourMatcher.h"
#include "support/CliRun.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using lb::test::writeFile;
using namespace lb;
using lb::test::runCli;

namespace {

TColorRule beginEnd(QStringList entries, quint8 z = 0, RgbColor def = colours::Red) {
    TColorRule r;
    r.KeyBegEndLst = std::move(entries);
    r.ZOrder = z;
    r.DefKeyColor = def;
    return r;
}

TColorRule keywords(QStringList words, bool partWord, bool keyCase = false, quint8 z = 0) {
    TColorRule r;
    r.KeyDrawingType = dtKeyShow;
    r.Keywords = std::move(words);
    r.PartWord = partWord;
    r.KeyCase = keyCase;
    r.ZOrder = z;
    return r;
}

// The runs as "start+length:colour" items, easy to compare and read in failures.
QStringList runs(const TDrawRules& rules, const QString& text) {
    QStringList out;
    for (const ColourRun& r : ColourMatcher(rules).runs(text))
        out << QStringLiteral("%1+%2:%3").arg(r.start).arg(r.length).arg(colourText(r.colour));
    return out;
}

// Entries as "begin|end|colour" (keywords: "word|colour").
QStringList entries(const QList<TokenEntry>& list) {
    QStringList out;
    for (const TokenEntry& e : list)
        out << e.begin + '|' + e.end + '|' + colourText(e.colour);
    return out;
}

} // namespace

TEST(ColourText, NamesAndHexValues) {
    RgbColor c = 0;
    ASSERT_TRUE(parseColour(" navy ", c));
    EXPECT_EQ(c, colours::Navy);
    ASSERT_TRUE(parseColour("#0000FF", c));
    EXPECT_EQ(colourText(c), "blue");
    ASSERT_TRUE(parseColour("$123456", c));
    EXPECT_EQ(colourText(c), "#123456");
    ASSERT_TRUE(parseColour("abcdef", c));
    EXPECT_EQ(colourText(c), "#ABCDEF");
    EXPECT_FALSE(parseColour("pink", c));
    EXPECT_FALSE(parseColour("#", c));
    EXPECT_FALSE(parseColour("#1234567", c));
}

TEST(ColourEntries, ParsingRulesAndLimits) {
    // A first ";" missing or in front: no entry, and no table slot taken. Tokens
    // are cut to six characters; an unknown colour text gives the default.
    EXPECT_EQ(entries(parseBeginEndList(
                  {";x", "nothing", "<META;>;purple", "\";\"", "<TEXTAREA;</TEXTAREA;pink", "<a;"},
                  colours::Red)),
              QStringList({"<META|>|purple", "\"|\"|red", "<TEXTA|</TEXT|red", "<a||red"}));
    EXPECT_EQ(entries(parseLineEndList({";;red", "//;navy", "#", ";blue"}, colours::Green)),
              QStringList({";||red", "//||navy", "#||green"}));
    QStringList words;
    for (const KeywordEntry& k :
         parseKeywordList({"  name= ; blue ", "   ", "a*b", "Value="}, false, colours::Red))
        words << k.word + '|' + colourText(k.colour);
    EXPECT_EQ(words, QStringList({"NAME=|blue", "VALUE=|red"}));
}

// Entries past the table's size are dropped; keyword colours past the
// table's size fall back to the rule's own colour.
TEST(ColourEntries, TablesStopAtTheirSize) {
    QStringList lines;
    for (int i = 0; i <= kMaxTokenEntries; ++i)
        lines << QStringLiteral("t%1;e").arg(i);
    for (int n : {kMaxTokenEntries - 1, kMaxTokenEntries, kMaxTokenEntries + 1}) {
        SCOPED_TRACE(n);
        const int kept = qMin(n, kMaxTokenEntries);
        EXPECT_EQ(parseBeginEndList(lines.mid(0, n), colours::Red).size(), kept);
        EXPECT_EQ(parseLineEndList(lines.mid(0, n), colours::Red).size(), kept);
    }
    QStringList words;
    for (int i = 1; i <= kMaxKeywordColours + 1; ++i)
        words << QStringLiteral("w%1;#%2").arg(i).arg(i, 6, 10, QLatin1Char('0'));
    words << QStringLiteral("again;#000001");
    const QList<KeywordEntry> k = parseKeywordList(words, true, colours::Red);
    ASSERT_EQ(k.size(), kMaxKeywordColours + 2);
    EXPECT_EQ(k[kMaxKeywordColours - 1].colour, RgbColor(0x40));
    EXPECT_EQ(k[kMaxKeywordColours].colour, colours::Red);
    EXPECT_EQ(k.last().colour, RgbColor(1));
}

TEST(ColourMatcher, BeginEndSpans) {
    // A comment across three lines is one run; case matters for begin tokens.
    const TDrawRules meta = {beginEnd({"<!--;-->;teal", "<META;>;purple", "<meta;>;purple"})};
    EXPECT_EQ(runs(meta, "a<!-- x\r\ny\nz -->b"), QStringList{"1+15:teal"});
    EXPECT_EQ(runs(meta, "<META a><meta b><Meta c>"), QStringList({"0+16:purple"}));
    // An unclosed span ends the search: nothing after it is coloured.
    EXPECT_EQ(runs(meta, "<META a> <!-- open <META b>"), QStringList{"0+8:purple"});
    // The end token is searched from the character after the begin's first one.
    EXPECT_EQ(runs({beginEnd({"<!--;-->"})}, "<!-->x"), QStringList{"0+5:red"});
    // A begin token longer than six characters matches on its first six.
    EXPECT_EQ(runs({beginEnd({"<HTML LANG;>;navy"})}, "<HTML xyz>"), QStringList{"0+10:navy"});
    // Equal begin positions: the earlier entry decides the end token.
    EXPECT_EQ(runs({beginEnd({"<a;!;blue", "<ab;>;green"})}, "<ab>c!"), QStringList{"0+6:blue"});
    EXPECT_EQ(runs({beginEnd({"<ab;>;green", "<a;!;blue"})}, "<ab>c!"), QStringList{"0+4:green"});
    // The earliest begin wins whatever its entry's place.
    EXPECT_EQ(runs({beginEnd({"<b;>;blue", "<a;>;green"})}, "x<a><b>"),
              QStringList({"1+3:green", "4+3:blue"}));
    // Overlap inside one rule: the later match wins.
    EXPECT_EQ(runs({beginEnd({"a;bc;blue", "c;d;green"})}, "abcd"),
              QStringList({"0+2:blue", "2+2:green"}));
}

TEST(ColourMatcher, LineEndSpans) {
    TColorRule r;
    r.KeyDrawingType = dtBeginLineEnd;
    r.KeyLineEndLst = {"//;navy", ";;teal"};
    EXPECT_EQ(runs({r}, "x // one\r\ny; two\nz"), QStringList({"2+6:navy", "11+5:teal"}));
    EXPECT_EQ(runs({r}, "//a // b\n"), QStringList({"0+8:navy"}));
    r.Enabled = false;
    EXPECT_TRUE(runs({r}, "// off").isEmpty());
}

TEST(ColourMatcher, KeywordsCaseAndWholeWords) {
    // Part words: inside "username=" too; whole words: not after a letter.
    EXPECT_EQ(runs({keywords({"name=;blue"}, true)}, "username=x NAME=y"),
              QStringList({"4+5:blue", "11+5:blue"}));
    EXPECT_EQ(runs({keywords({"name=;blue"}, false)}, "username=x NAME= y @name= 1name=."),
              QStringList({"11+5:blue", "27+5:blue"}));
    // With case kept only the exact spelling matches.
    EXPECT_EQ(runs({keywords({"Head"}, true, true)}, "head Head HEAD"), QStringList{"5+4:red"});
    // Upper-casing is ASCII only: offsets never move, other letters are not folded.
    EXPECT_EQ(runs({keywords({"straße"}, true)}, "ßSTRASSE STRAßE straße"),
              QStringList({"9+6:red", "16+6:red"}));
    // Overlapping occurrences: every one is a match; the later one wins the overlap.
    EXPECT_EQ(runs({keywords({"aa;blue", "ab;green"}, true)}, "aaab"),
              QStringList({"0+2:blue", "2+2:green"}));
    // At one start the earlier keyword wins where both cover.
    EXPECT_EQ(runs({keywords({"ab;blue", "abcd;green"}, true)}, "abcd"),
              QStringList({"0+2:blue", "2+2:green"}));
    EXPECT_TRUE(runs({keywords({}, true)}, "anything").isEmpty());
}

TEST(ColourMatcher, PriorityBetweenRules) {
    const TColorRule quotes = beginEnd({"\";\""}, 1, colours::Green);
    const TColorRule tags = beginEnd({"<a;>"}, 0);
    // Higher ZOrder wins whatever the order; equal ZOrder: the later rule.
    EXPECT_EQ(runs({quotes, tags}, "<a href=\"x\">"),
              QStringList({"0+8:red", "8+3:green", "11+1:red"}));
    EXPECT_EQ(runs({tags, quotes}, "<a href=\"x\">"),
              QStringList({"0+8:red", "8+3:green", "11+1:red"}));
    const TColorRule quotes0 = beginEnd({"\";\""}, 0, colours::Green);
    EXPECT_EQ(runs({quotes0, tags}, "<a href=\"x\">"), QStringList({"0+12:red"}));
    // Adjacent matches of one colour form one run; a gap splits it.
    EXPECT_EQ(runs({beginEnd({"<;>"})}, "<a><b> <c>"), QStringList({"0+6:red", "7+3:red"}));
}

// Keywords inside and at the end of others, and begin tokens sharing a
// start: every occurrence is found, whatever overlaps it.
TEST(ColourMatcher, NestedAndOverlappingTokens) {
    const struct {
        TColorRule rule;
        QString text;
        QStringList runs;
    } rows[] = {
        {keywords({"he;blue", "she;green", "his;teal", "hers;navy"}, true),
         "ushers",
         {"1+1:green", "2+2:blue", "4+2:navy"}},
        {keywords({"abab;blue", "bab;green", "ab;teal"}, true),
         "ababab",
         {"0+1:blue", "1+1:green", "2+1:blue", "3+1:green", "4+2:teal"}},
        {beginEnd({"<ab;>;blue"}), "<a<ab>", {"2+4:blue"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(runs({row.rule}, row.text), row.runs) << row.text.toStdString();
}

// linkbeacon-cli colour: the runs as "start length colour" lines, offsets in
// characters (U+1F600 is one, CR LF two; bytes that are not UTF-8 are
// Latin-1), the rules chosen by name or read from a file in collection order.
// (Unknown options and missing values: the command table's own tests.)
TEST(ColourCli, ArgumentsToRunsAndExitCodes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath("page.htm"),
              "\xF0\x9F\x98\x80<form action=x>\r\n<OPTION>\xC3\xA9</OPTION>");
    writeFile(dir.filePath("latin.htm"), "\xE9\xE9<meta x>");
    writeFile(
        dir.filePath("rules.txt"),
        "[Rule]\r\nKeyDrawingType=dtBeginLineEnd\r\nKeyLineEndLst=//;#102030\r\nZOrder=2\r\n"
        "[Rule]\nKeyDrawingType=dtKeyShow\nKeywords=int\nKeywords=x=y;navy\nDefKeyColor=lime\n"
        "[Rule]\nKeyBegEndLst=(;)\nDefKeyColor=no such colour\n");
    writeFile(dir.filePath("code.txt"), "int a; // int x=y\nprint x=y (z)");
    writeFile(dir.filePath("bad.txt"), "[Rule]\nColour=red\n");
    const QByteArray source = "1 6 red\n7 7 blue\n14 2 red\n18 8 blue\n27 9 blue\n";
    const QByteArray oneLine = "<one line>";
    const struct {
        QStringList args;
        int exitCode;
        QByteArray out, err;
    } rows[] = {
        {{"page.htm"}, 0, source, ""},
        {{"--rules", "meta", "latin.htm"}, 0, "2 8 purple\n", ""},
        {{"--rules-file", "rules.txt", "code.txt"},
         0,
         "0 3 lime\n7 10 #102030\n24 3 navy\n28 3 red\n",
         ""},
        {{}, 2, "", oneLine},
        {{"--rules", "other", "page.htm"}, 2, "", oneLine},
        {{"--rules", "meta", "--rules-file", "rules.txt", "page.htm"}, 2, "", oneLine},
        {{"--rules-file", "bad.txt", "page.htm"}, 2, "", oneLine},
        {{"missing.htm"}, 1, "", "Cannot open file missing.htm\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const auto r = runCli(dir.path(), QStringList{"colour"} + row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        if (row.err == oneLine)
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        else
            EXPECT_EQ(r.err, row.err);
    }
}
