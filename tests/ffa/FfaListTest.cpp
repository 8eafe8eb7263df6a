// Form analysis of FFA pages into list records on hand-made pages, the list
// files of the crawler, crawl profiles and their query texts.
#include "ffa/FfaList.h"
#include "common/FileError.h"
#include "engines/EngineCipher.h"
#include "ffa/CrawlProfile.h"
#include "ffa/FfaForm.h"
#include "support/CategorySets.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using lb::test::readFile;
using namespace lb;

namespace {

const QByteArray kCat1 = "<select name=\"section\"><option>Business<option>Computers"
                         "<option>Education<option>Entertainment<option>Government"
                         "<option>Personal<option>Miscellaneous</select>";

QByteArray ffaPage(const QByteArray& formTag, const QByteArray& extra = kCat1) {
    return "<html><body><h1>Free links</h1>\r\n" + formTag +
           "\r\n<input type=\"hidden\" name=\"action\" value=\"add\">\r\n"
           "<input type=text name=\"title\"><input type=text name=\"url\" value=\"http://\">\r\n"
           "<input type=text name=email>" +
           extra + "<input type=submit name=\"title\" value=\"Add\"></form></body></html>";
}

QStringList fieldsOf(const QString& line) {
    QStringList parts = line.mid(line.indexOf(QLatin1Char('=')) + 1).split(QLatin1Char('|'));
    return parts;
}

} // namespace

TEST(FfaForm, RecordLineHasEngineLayout) {
    FfaList list;
    const QString page = QStringLiteral("http://www.gardenlinks.com/ffa/links.htm");
    EXPECT_EQ(analyseFfaPage(list, ffaPage("<FORM method=post ACTION=\"add.cgi\">"), page), 1);
    ASSERT_EQ(list.lines().count(), 1);
    const QString line = list.lines().at(0);
    EXPECT_EQ(line,
              "gardenlinks=http://www.gardenlinks.com/ffa/links.htm|"
              "http://www.gardenlinks.com/ffa/add.cgi|title|url|email||section|Cat1||&action=add|"
              "|||||||||POST||||||||||||||||||");
    EXPECT_EQ(list.keyList().names(), QStringList{"gardenlinks"});
}

TEST(FfaForm, NamesComeFromTheHostAndPagesAreTakenOnce) {
    FfaList list;
    const QByteArray doc = ffaPage("<form method=\"POST\" action=\"/cgi-bin/add.pl\">");
    EXPECT_EQ(analyseFfaPage(list, doc, "http://www.label.com/links.htm"), 1);
    EXPECT_EQ(analyseFfaPage(list, doc, "http://www.label.com/more/links.htm"), 1);
    // The same page again: found by its Site_Url, nothing added.
    EXPECT_EQ(analyseFfaPage(list, doc, "http://WWW.LABEL.COM/links.htm"), 0);
    EXPECT_EQ(analyseFfaPage(list, doc, "http://www.label.com/third/links.htm"), 1);
    EXPECT_EQ(list.keyList().names(), (QStringList{"label", "label1", "label2"}));

    // A host without a dot: the first name is empty, then numbers.
    FfaList bare;
    EXPECT_EQ(analyseFfaPage(bare, doc, "http://intranet/a/links.htm"), 1);
    EXPECT_EQ(analyseFfaPage(bare, doc, "http://intranet/b/links.htm"), 1);
    EXPECT_EQ(bare.keyList().names(), (QStringList{"", "1"}));
}

TEST(FfaForm, ActionsResolveAgainstThePage) {
    // The port of the page stays with its server.
    const QString ported = QStringLiteral("http://127.0.0.1:8642/ffa/links.htm");
    EXPECT_EQ(resolveFormAction("add.cgi", ported), "http://127.0.0.1:8642/ffa/add.cgi");
    EXPECT_EQ(resolveFormAction("/x/add.cgi", ported), "http://127.0.0.1:8642/x/add.cgi");
    EXPECT_EQ(resolveFormAction("../cgi/add.cgi", ported), "http://127.0.0.1:8642/cgi/add.cgi");
    EXPECT_EQ(resolveFormAction("add.cgi", "http://www.a.com"), "http://www.a.com/add.cgi");

    FfaList list;
    const QString page = QStringLiteral("http://www.a.com/ffa/links.htm");
    analyseFfaPage(list, ffaPage("<form METHOD=post action=http://other.net/add.pl>"), page);
    ASSERT_EQ(list.lines().count(), 1);
    EXPECT_EQ(fieldsOf(list.lines().at(0)).at(1), "http://other.net/add.pl");
    // Actions of three characters or fewer stay as written; lower-case get gives GET.
    FfaList shortAction;
    analyseFfaPage(shortAction, ffaPage("<form method=get action=\"a.p\">"), page);
    ASSERT_EQ(shortAction.lines().count(), 1);
    EXPECT_EQ(fieldsOf(shortAction.lines().at(0)).at(1), "a.p");
    EXPECT_EQ(fieldsOf(shortAction.lines().at(0)).at(19), "GET");
    FfaList four;
    analyseFfaPage(four, ffaPage("<form method=post action=\"a.pl\">"), page);
    ASSERT_EQ(four.lines().count(), 1);
    EXPECT_EQ(fieldsOf(four.lines().at(0)).at(1), "http://www.a.com/ffa/a.pl");
}

TEST(FfaForm, PiecesWithoutUrlActionOrCategoryAddNothing) {
    const QString page = QStringLiteral("http://www.a.com/links.htm");
    FfaList list;
    // No URL field: not analysed at all.
    EXPECT_EQ(
        analyseFfaPage(
            list, "<form method=post action=add.cgi><input name=title>" + kCat1 + "</form>", page),
        0);
    // No action.
    EXPECT_EQ(analyseFfaPage(list, ffaPage("<form method=post>"), page), 0);
    // No category field.
    EXPECT_EQ(analyseFfaPage(list, ffaPage("<form method=post action=add.cgi>", ""), page), 0);
    // Category field whose options match no set and hold no fallback word.
    EXPECT_EQ(analyseFfaPage(list,
                             ffaPage("<form method=post action=add.cgi>",
                                     "<select name=section><option>Pets<option>Cars</select>"),
                             page),
              0);
    EXPECT_TRUE(list.lines().isEmpty());
    // A page without any closing form tag is one piece, and a tag left open at
    // its end runs to the end: still analysed.
    QByteArray open = ffaPage("<form method=post action=add.cgi>");
    open.replace("</form>", "<input type=hidden name=\"late");
    EXPECT_EQ(analyseFfaPage(list, open, page), 1);
}

// The category set the options offer, the largest first; without one, the
// first of Business, Miscellaneous, Other travels in Hidden.
TEST(FfaForm, CategorySetsAndFallbacks) {
    const QStringList cat1 = lb::test::categoryNames(SmallestCategorySet);
    const QStringList cat2 = lb::test::categoryNames(MiddleCategorySet);
    const QStringList cat3 = lb::test::categoryNames(LargestCategorySet);
    // Options by value, as plain text with a count behind, or plain.
    const auto select = [](const QByteArray& name, const QStringList& options, int form) {
        QByteArray out = "<select name=" + name + ">";
        for (const QString& o : options)
            out += form == 0   ? "<option value=\"" + o.toLatin1() + "\">"
                   : form == 1 ? "<option> " + o.toLatin1() + "&nbsp;(12)\r\n"
                               : "<option>" + o.toLatin1();
        return out + "</select>";
    };
    const struct {
        QByteArray select;
        QString variable, type, hidden;
    } rows[] = {
        {select("\"Catagory\"", cat1 + QStringList{"Health", "Cooking"}, 0), "Catagory", "Cat1",
         ""},
        {select("selection", cat2, 1), "selection", "Cat2", ""},
        {select("section", cat3, 0), "section", "Cat3", ""},
        {select("section", cat3 + QStringList{"Web Stuff"}, 2), "section", "Cat3", ""},
        {select("SECTION", {"Business", "Pets"}, 2), "", "", "&SECTION=Business"},
        {select("section", {"Cars", "Other"}, 2), "", "", "&section=Other"},
        {select("section", {"Other", "Miscellaneous", "Business"}, 2), "", "", "&section=Business"},
        {select("section", {"Other", "Miscellaneous"}, 2), "", "", "&section=Miscellaneous"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.select.toStdString());
        FfaList list;
        analyseFfaPage(list, ffaPage("<form method=post action=add.cgi>", row.select),
                       "http://www.a.com/links.htm");
        ASSERT_EQ(list.lines().count(), 1);
        const QStringList f = fieldsOf(list.lines().at(0));
        EXPECT_EQ(f.at(6), row.variable);
        EXPECT_EQ(f.at(7), row.type);
        EXPECT_EQ(f.at(9), row.hidden.isEmpty() ? "&action=add" : row.hidden);
    }
}

// A bar inside a name or a value would shift every later field: it is
// written as %7C; blanks become "+", line breaks go.
TEST(FfaForm, RecordLinesEscapeBarsAndBlanks) {
    FfaList list;
    list.clearView();
    list.setViewValue(FfaList::SiteName, QStringLiteral("a|b c"));
    list.setViewValue(FfaList::SiteUrl, QStringLiteral("http://x/|y"));
    list.setViewValue(FfaList::Title, QStringLiteral("t\r\nu v"));
    ASSERT_TRUE(list.storeView());
    const QString line = list.lines().at(0);
    EXPECT_TRUE(line.startsWith("a%7Cb+c=http://x/%7Cy|")) << line.toStdString();
    EXPECT_TRUE(line.contains("|tu+v|")) << line.toStdString();
    EXPECT_EQ(line.count(QLatin1Char('|')), 37);
}

TEST(FfaForm, FieldNamesValuesAndBlanks) {
    const QString page = QStringLiteral("http://www.a.com/links.htm");
    FfaList list;
    const QByteArray doc =
        "<form method=post action=add.cgi>"
        "<input type=\"hidden\" name=\"my list\" value=\"free links here\">"
        "<input type=hidden name=\"broken value=x y>"
        "<input type=hidden name=\"bar\" value=\"a|b\">"
        "<input type=text name=\"URL\"><input type=text NAME=\"realname first\">"
        "<input name=EMAIL_ADDR><input type=\"submit\" name=\"description\" value=\"Go\">"
        "<textarea name=\"Description\" rows=3></textarea><textarea name=keywordsx></textarea>"
        "<input name=tel><input name=country>" +
        kCat1 + "</form>";
    ASSERT_EQ(analyseFfaPage(list, doc, page), 1);
    const QStringList f = fieldsOf(list.lines().at(0));
    // Title empty: the submit button is not stored; Email by prefix; the text
    // area by its whole name; blanks kept as "+"; a bar in a value cannot shift
    // the fields that follow it.
    EXPECT_EQ(f.mid(2, 8),
              QStringList({"", "URL", "EMAIL_ADDR", "Description", "section", "Cat1",
                           "realname+first", "&my+list=free+links+here&broken=x&bar=a%7Cb"}));
    EXPECT_EQ(f.size(), 38);
    EXPECT_EQ(f.at(17), "tel");
    EXPECT_EQ(f.at(20), ""); // Keyword1: "keywordsx" is no whole-name match
    EXPECT_EQ(f.at(36), "country");
}

TEST(FfaForm, SeveralFormsOnOnePageGiveOneRecord) {
    const QString page = QStringLiteral("http://www.a.com/links.htm");
    FfaList list;
    const QByteArray doc = "<form method=get action=/search.cgi><input name=words></form>" +
                           ffaPage("<form method=post action=/add1.cgi>") +
                           ffaPage("<form method=post action=/add2.cgi>");
    EXPECT_EQ(analyseFfaPage(list, doc, page), 1);
    ASSERT_EQ(list.lines().count(), 1);
    EXPECT_EQ(fieldsOf(list.lines().at(0)).at(1), "http://www.a.com/add1.cgi");
}

TEST(FfaListFiles, RoundTripPlainAndEnciphered) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList lines = {"b=http://b/|x|", "a=http://a/|y|", "caf\u00e9=z|"};
    const QString plain = dir.filePath("list.hlx");
    const QString ciphered = dir.filePath("list.CHC");
    saveFfaListFile(lines, plain);
    saveFfaListFile(lines, ciphered);
    EXPECT_EQ(readFile(plain), "b=http://b/|x|\r\na=http://a/|y|\r\ncaf\xc3\xa9=z|\r\n");
    EXPECT_EQ(decipherEngineText(readFile(ciphered)), readFile(plain));
    EXPECT_NE(readFile(ciphered), readFile(plain));
    EXPECT_EQ(loadFfaListFile(plain), lines);
    EXPECT_EQ(loadFfaListFile(ciphered), lines);

    EXPECT_THROW(loadFfaListFile(dir.filePath("missing.chc")), FileError);
    EXPECT_THROW(saveFfaListFile(lines, dir.filePath("no/such/folder/x.hlx")), FileError);
    // A failed save leaves the old file as it was.
    EXPECT_EQ(loadFfaListFile(plain), lines);
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
    EXPECT_EQ(list.viewValue(FfaList::CgiUrl), "http://z/add");
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
    QStringList texts;
    for (int k = 0; k <= 7; ++k)
        texts << o.queryText(k);
    EXPECT_EQ(
        texts,
        QStringList({"", "(a0)+and+(b0)+and+(c0)+and+(d0)", "(a0)+and+(b0)+and+(c0)+and+(d1)",
                     "(a0)+and+(b0)+and+(c0)+and+(d2)", "(a1)+and+(b0)+and+(c0)+and+(d0)",
                     "(a1)+and+(b0)+and+(c0)+and+(d1)", "(a1)+and+(b0)+and+(c0)+and+(d2)", ""}));
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
