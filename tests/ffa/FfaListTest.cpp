// List files of the crawler, crawl profiles and their query texts.
#include "ffa/FfaList.h"
#include "common/FileError.h"
#include "engines/EngineCipher.h"
#include "ffa/CrawlProfile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using namespace lb;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(FfaListFiles, RoundTripPlainAndEnciphered) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList lines = {"b=http://b/|x|", "a=http://a/|y|", "caf\u00e9=z|"};
    const QString plain = dir.filePath("list.hlx");
    const QString ciphered = dir.filePath("list.CHC");
    saveFfaListFile(lines, plain);
    saveFfaListFile(lines, ciphered);
    EXPECT_EQ(readBytes(plain), "b=http://b/|x|\r\na=http://a/|y|\r\ncaf\xc3\xa9=z|\r\n");
    EXPECT_EQ(decipherEngineText(readBytes(ciphered)), readBytes(plain));
    EXPECT_NE(readBytes(ciphered), readBytes(plain));
    EXPECT_EQ(loadFfaListFile(plain), lines);
    EXPECT_EQ(loadFfaListFile(ciphered), lines);

    // An empty list is an empty file.
    saveFfaListFile({}, dir.filePath("empty.chc"));
    EXPECT_EQ(QFileInfo(dir.filePath("empty.chc")).size(), 0);
    EXPECT_TRUE(loadFfaListFile(dir.filePath("empty.chc")).isEmpty());

    EXPECT_THROW(loadFfaListFile(dir.filePath("missing.chc")), FileError);
    EXPECT_THROW(saveFfaListFile(lines, dir.filePath("no/such/folder/x.hlx")), FileError);
    // A failed save leaves the old file as it was.
    EXPECT_EQ(loadFfaListFile(plain), lines);
}

TEST(FfaListFiles, NewNamesAndCipherChoice) {
    EXPECT_EQ(newListName("/x/custom.hlx"), "/x/custom.chc");
    EXPECT_EQ(newListName("/x/custom.HLX"), "/x/custom.chc");
    EXPECT_EQ(newListName("/x/custom.txt"), "/x/custom.txt");
    EXPECT_EQ(newListName("/x/hlx"), "/x/hlx");
    EXPECT_TRUE(isCipheredListName("a.Chc"));
    EXPECT_FALSE(isCipheredListName("a.chc.txt"));
}

TEST(FfaListModel, OpenedListsShowRecordsAndKeepLinesUnique) {
    FfaList list;
    const QString zeta = "zeta=http://z/|http://z/add|t|u|e|d|c|Cat1|n|&h=1|" + QString(9, '|') +
                         "GET|" + QString(15, '|') + "k16|land|";
    ASSERT_EQ(zeta.count(QLatin1Char('|')), 37);
    list.setLines({zeta, "alpha=http://a/|", "", "ALPHA=http://a/|"});
    // Sorted ignoring case; a line equal to another ignoring case is dropped.
    EXPECT_EQ(list.lines().count(), 2);
    EXPECT_EQ(list.keyList().names(), (QStringList{"alpha", "zeta"}));
    list.selectRow(1);
    EXPECT_EQ(list.viewValue(FfaList::SiteName), "zeta");
    EXPECT_EQ(list.viewValue(FfaList::CgiUrl), "http://z/add");
    EXPECT_EQ(list.viewValue(FfaList::Title), "t");
    EXPECT_EQ(list.viewValue(FfaList::Url), "u");
    EXPECT_EQ(list.viewValue(FfaList::Name), "n");
    EXPECT_EQ(list.viewValue(FfaList::Hidden), "&h=1");
    EXPECT_EQ(list.viewValue(FfaList::Method), "GET");
    EXPECT_EQ(list.viewValue(FfaList::Keyword1 + 15), "k16");
    EXPECT_EQ(list.viewValue(FfaList::Country), "land");
    // Built back, the shown record is the same line.
    EXPECT_EQ(list.buildLine(), list.lines().at(1));
    // A short line leaves the missing fields empty.
    list.selectRow(0);
    EXPECT_EQ(list.viewValue(FfaList::SiteUrl), "http://a/");
    EXPECT_EQ(list.viewValue(FfaList::Method), "");
}

TEST(CrawlerProfile, CombinationsRunMainListOutermost) {
    CrawlProfile o;
    o.terms1 = {"a0", "a1"};
    o.terms2 = {"b0"};
    o.bonus1 = {"c0"};
    o.bonus2 = {"d0", "d1", "d2"};
    ASSERT_EQ(o.combinationCount(), 6);
    const QStringList expected = {
        "(a0)+and+(b0)+and+(c0)+and+(d0)", "(a0)+and+(b0)+and+(c0)+and+(d1)",
        "(a0)+and+(b0)+and+(c0)+and+(d2)", "(a1)+and+(b0)+and+(c0)+and+(d0)",
        "(a1)+and+(b0)+and+(c0)+and+(d1)", "(a1)+and+(b0)+and+(c0)+and+(d2)"};
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(o.queryText(k), expected.at(k - 1)) << k;
    EXPECT_EQ(o.queryText(0), "");
    EXPECT_EQ(o.queryText(7), "");
    // Lines are used as typed.
    o.terms1 = {"free or \"link page\""};
    EXPECT_EQ(o.queryText(1), "(free or \"link page\")+and+(b0)+and+(c0)+and+(d0)");
    o.bonus1.clear();
    EXPECT_EQ(o.combinationCount(), 0);
    EXPECT_EQ(o.queryText(1), "");
}

TEST(CrawlerProfile, LimitsTypedAsText) {
    qint64 v = -1;
    EXPECT_TRUE(thousandsOf("200", v));
    EXPECT_EQ(v, 200000);
    EXPECT_TRUE(thousandsOf("", v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(thousandsOf("12k", v));
    EXPECT_FALSE(thousandsOf("99999999999999999", v));
}
