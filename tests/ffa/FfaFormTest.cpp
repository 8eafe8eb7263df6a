// Form analysis of FFA pages into list records, on hand-made pages.
#include "ffa/FfaForm.h"
#include "ffa/FfaList.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(line.count(QLatin1Char('|')), 37);
    EXPECT_EQ(list.keyList().names(), QStringList{"gardenlinks"});

    // The record shows in the view rows in their own order (the other rows: FfaListModel).
    list.selectRow(0);
    EXPECT_EQ(list.viewValue(FfaList::Email), "email");
    EXPECT_EQ(list.viewValue(FfaList::Catagory), "section");
    EXPECT_EQ(list.viewValue(FfaList::CatType), "Cat1");
    list.clearView();
    EXPECT_EQ(list.viewValue(FfaList::Url), "");
    EXPECT_EQ(list.viewValue(FfaList::Method), "POST");
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
    EXPECT_EQ(analyseFfaPage(bare, doc, "http://intranet/c/links.htm"), 1);
    EXPECT_EQ(bare.keyList().names(), (QStringList{"", "1", "2"}));
    EXPECT_EQ(analyseFfaPage(bare, doc, "http://intranet/b/links.htm"), 0);
}

TEST(FfaForm, ActionsResolveAgainstThePage) {
    EXPECT_EQ(resolveFormAction("add.cgi", "http://www.a.com/ffa/links.htm"),
              "http://www.a.com/ffa/add.cgi");
    EXPECT_EQ(resolveFormAction("/cgi-bin/add.cgi", "http://www.a.com/ffa/links.htm"),
              "http://www.a.com/cgi-bin/add.cgi");
    EXPECT_EQ(resolveFormAction("add.cgi", "http://www.a.com/links.htm"),
              "http://www.a.com/add.cgi");
    EXPECT_EQ(resolveFormAction("add.cgi", "http://www.a.com"), "http://www.a.com/add.cgi");
    EXPECT_EQ(resolveFormAction("../cgi/add.cgi", "http://www.a.com/ffa/links.htm"),
              "http://www.a.com/cgi/add.cgi");
    // The port of the page stays with its server.
    EXPECT_EQ(resolveFormAction("add.cgi", "http://127.0.0.1:8642/ffa/links.htm"),
              "http://127.0.0.1:8642/ffa/add.cgi");
    EXPECT_EQ(resolveFormAction("/x/add.cgi", "http://127.0.0.1:8642/ffa/links.htm"),
              "http://127.0.0.1:8642/x/add.cgi");

    FfaList list;
    const QString page = QStringLiteral("http://www.a.com/ffa/links.htm");
    analyseFfaPage(list, ffaPage("<form METHOD=post action=http://other.net/add.pl>"), page);
    ASSERT_EQ(list.lines().count(), 1);
    EXPECT_EQ(fieldsOf(list.lines().at(0)).at(1), "http://other.net/add.pl");
    // Short actions stay as written; lower-case get gives GET.
    FfaList shortAction;
    analyseFfaPage(shortAction, ffaPage("<form method=get action=\"a.p\">"), page);
    ASSERT_EQ(shortAction.lines().count(), 1);
    EXPECT_EQ(fieldsOf(shortAction.lines().at(0)).at(1), "a.p");
    EXPECT_EQ(fieldsOf(shortAction.lines().at(0)).at(19), "GET");
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
    // A page without any closing form tag is one piece, and still analysed.
    QByteArray open = ffaPage("<form method=post action=add.cgi>");
    open.replace("</form>", "");
    EXPECT_EQ(analyseFfaPage(list, open, page), 1);
}

TEST(FfaForm, CategorySetsAndFallbacks) {
    const QString page = QStringLiteral("http://www.a.com/links.htm");
    auto catOf = [&](const QByteArray& select) {
        FfaList list;
        analyseFfaPage(list, ffaPage("<form method=post action=add.cgi>", select), page);
        return list.lines().isEmpty() ? QStringList() : fieldsOf(list.lines().at(0));
    };
    // Cat1's seven names plus others, but not all of Cat2.
    QStringList f = catOf("<select name=\"Catagory\"><option value=\"Business\">"
                          "<option value=Computers><option value=Education>"
                          "<option value=Entertainment><option value=Government>"
                          "<option value=Personal><option value=Miscellaneous>"
                          "<option value=Health><option value=Cooking></select>");
    ASSERT_FALSE(f.isEmpty());
    EXPECT_EQ(f.at(6), "Catagory");
    EXPECT_EQ(f.at(7), "Cat1");

    QByteArray cat2 = "<select name=selection>";
    for (const char* c : {"Business", "Computers", "Education", "Entertainment", "Government",
                          "Personal", "Health", "Recreation", "Web Stuff", "Miscellaneous"})
        cat2 += QByteArray("<option> ") + c + "&nbsp;(12)\r\n";
    cat2 += "</select>";
    f = catOf(cat2);
    ASSERT_FALSE(f.isEmpty());
    EXPECT_EQ(f.at(7), "Cat2");

    QByteArray cat3 = "<select name=section>";
    for (const char* c :
         {"Automotive", "Business",      "Communications", "Community",     "Computers",
          "Consumer",   "Education",     "Employment",     "Entertainment", "Finance",
          "Government", "Health",        "Internet",       "Manufacturing", "Media",
          "Medical",    "Miscellaneous", "News",           "Opportunities", "Personal",
          "Politics",   "Publishing",    "Recreation",     "Reference",     "Religion",
          "Sci-Tech",   "Services",      "Transportation", "Travel",        "Web_Stuff"})
        cat3 += QByteArray("<option value=\"") + c + "\">" + c;
    cat3 += "</select>";
    f = catOf(cat3);
    ASSERT_FALSE(f.isEmpty());
    EXPECT_EQ(f.at(7), "Cat3");

    // "Business" alone in a field named SECTION: the category travels in Hidden.
    f = catOf("<select name=SECTION><option>Business<option>Pets</select>");
    ASSERT_FALSE(f.isEmpty());
    EXPECT_EQ(f.at(6), "");
    EXPECT_EQ(f.at(7), "");
    EXPECT_EQ(f.at(9), "&SECTION=Business");
    f = catOf("<select name=section><option>Cars<option>Other</select>");
    ASSERT_FALSE(f.isEmpty());
    EXPECT_EQ(f.at(9), "&section=Other");
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
        "<input name=zipcode><input name=tel><input name=country><input name=city>"
        "<input name=state><input name=fax><input name=address>" +
        kCat1 + "</form>";
    ASSERT_EQ(analyseFfaPage(list, doc, page), 1);
    const QStringList f = fieldsOf(list.lines().at(0));
    EXPECT_EQ(f.at(2), "");               // Title: the submit button is not stored
    EXPECT_EQ(f.at(3), "URL");            // URL
    EXPECT_EQ(f.at(4), "EMAIL_ADDR");     // Email, by prefix
    EXPECT_EQ(f.at(5), "Description");    // text area, whole-name match
    EXPECT_EQ(f.at(8), "realname+first"); // Name: blanks kept as "+"
    // A bar in a value cannot shift the fields that follow it.
    EXPECT_EQ(f.at(9), "&my+list=free+links+here&broken=x&bar=a%7Cb");
    EXPECT_EQ(list.lines().at(0).count(QLatin1Char('|')), 37);
    EXPECT_EQ(f.at(12), "address");
    EXPECT_EQ(f.at(14), "city");
    EXPECT_EQ(f.at(15), "state");
    EXPECT_EQ(f.at(16), "zipcode");
    EXPECT_EQ(f.at(17), "tel");
    EXPECT_EQ(f.at(18), "fax");
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

TEST(FfaForm, HostileMarkupNeverStopsTheAnalysis) {
    FfaList list;
    const QString page = QStringLiteral("http://www.a.com/links.htm");
    EXPECT_EQ(analyseFfaPage(list, QByteArray(), page), 0);
    EXPECT_EQ(analyseFfaPage(list, "</FOR</FOR</form", page), 0);
    EXPECT_EQ(analyseFfaPage(list, "<<<<name=url>>>><input name=\"url", page), 0);
    EXPECT_EQ(analyseFfaPage(list, QByteArray("name=url\0<form method=post action=", 34), page), 0);
    // Unclosed tag at the very end: the tag runs to the end of the piece.
    QByteArray doc = ffaPage("<form method=post action=add.cgi>");
    doc += "<input type=hidden name=\"late";
    EXPECT_EQ(analyseFfaPage(list, doc, page), 1);
    int calls = 0;
    qint64 last = -1, length = 0;
    FfaList counted;
    analyseFfaPage(counted, ffaPage("<form method=post action=add.cgi>"), page,
                   [&](qint64 pos, qint64 len) {
                       ++calls;
                       EXPECT_GE(pos, last);
                       EXPECT_LE(pos, len);
                       last = pos;
                       length = len;
                   });
    EXPECT_GT(calls, 5);
    EXPECT_EQ(last, length);
}
