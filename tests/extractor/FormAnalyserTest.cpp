// The submission form analyser on hand-made pages: which forms count, the
// action and method, the variable names, hidden values, category lists and
// the site name. (Pages that end anywhere: fuzz_form_analyser.)
#include "extractor/FormAnalyser.h"
#include "extractor/SiteName.h"
#include "support/CategorySets.h"

#include <gtest/gtest.h>

using namespace lb;
using R = EngineRecord;

namespace {

const QString PageUrl = QStringLiteral("http://www.site.com/dir/page.html");
const QStringList CategoryTypes = {"General", "Classic", "Big"};

EngineRecord analyse(const QByteArray& page, const QString& url = PageUrl,
                     const QStringList& engines = {}) {
    FormAnalyserInput in;
    in.pageUrl = url;
    in.engineNames = engines;
    in.categoryTypes = CategoryTypes;
    EngineRecord r;
    r.setPost(true);
    FindUrlForms(page, in, r);
    return r;
}

QByteArray form(const QByteArray& open, const QByteArray& inside = "<input name=url>") {
    return "<html><body>" + open + "\n" + inside + "\n</form></body></html>";
}

QString cgiFor(const QByteArray& action, const QString& url) {
    return analyse(form("<form method=post action=" + action + ">"), url)[R::CgiUrl];
}

QByteArray selectOf(const QStringList& options, const QByteArray& name = "catagory") {
    QByteArray s = "<select name=" + name + ">";
    for (const QString& o : options)
        s += "<option>" + o.toLatin1();
    return s + "</select>";
}

} // namespace

TEST(FormAnalyser, ActionIsResolvedAgainstThePageAddress) {
    EXPECT_EQ(cgiFor("/cgi-bin/add.cgi", PageUrl), "http://www.site.com/cgi-bin/add.cgi");
    EXPECT_EQ(cgiFor("add.cgi", PageUrl), "http://www.site.com/dir/add.cgi");
    EXPECT_EQ(cgiFor("add.cgi", "http://www.site.com"), "add.cgi");
    // A leading "." loses two characters and the rest hangs off the root.
    EXPECT_EQ(cgiFor("../x.cgi", PageUrl), "http://www.site.com/x.cgi");
    EXPECT_EQ(cgiFor("\"https://other.org/a.cgi\"", PageUrl), "https://other.org/a.cgi");
    EXPECT_EQ(cgiFor("http-add.cgi", PageUrl), "http-add.cgi"); // contains "http"
    EXPECT_EQ(cgiFor("a.p", PageUrl), "a.p");                   // three characters or fewer
    EXPECT_EQ(cgiFor("a.pl", PageUrl), "http://www.site.com/dir/a.pl");
    EXPECT_EQ(cgiFor("\"/q.cgi\" class=x", "ftp://h.net/a/b/"), "ftp://h.net/q.cgi");
    // The port of the page goes with the host, or the record would post elsewhere.
    EXPECT_EQ(cgiFor("/add.cgi", "http://127.0.0.1:8642/dir/p.htm"),
              "http://127.0.0.1:8642/add.cgi");
}

TEST(FormAnalyser, MethodComesFromTheFormTagThatHasAnAction) {
    EngineRecord r = analyse(form("<FORM METHOD=POST ACTION=/cgi-bin/add.cgi>"));
    EXPECT_TRUE(r.isPost());
    EXPECT_EQ(r[R::CgiUrl], "http://www.site.com/cgi-bin/add.cgi");

    r = analyse(form("<form method=\"get\" action=\"/find\">"));
    EXPECT_FALSE(r.isPost());

    // No METHOD attribute, or no action: cgi_url and the method stay as they were.
    for (const char* tag :
         {"<form action=/add.cgi>", "<form method=get>", "<form method=get action=\"\">"}) {
        r = analyse(form(tag));
        EXPECT_EQ(r[R::CgiUrl], "") << tag;
        EXPECT_TRUE(r.isPost()) << tag;
    }
}

// Visible inputs fill their role's row in the case the page wrote them; the
// role names themselves are FormNames' table.
TEST(FormAnalyser, VisibleInputsFillTheirRolesInTheirOwnCase) {
    const EngineRecord r = analyse(form("<form method=post action=/a.cgi>",
                                        "<input type=text name=\"Url\" size=30>"
                                        "<input name=SiteTitle><input name=E-mail>"
                                        "<INPUT NAME=Email><input name=realname>"
                                        "<input name=Tel_No><input name=address1>"
                                        "<input name=category><input name=selection>"));
    EXPECT_EQ(r[R::UrlVar], "Url");
    EXPECT_EQ(r[R::TitleVar], "SiteTitle");
    EXPECT_EQ(r[R::EmailVar], "Email");
    EXPECT_EQ(r[R::FirstNameVar], "realname");
    EXPECT_EQ(r[R::PhoneVar], "Tel_No");
    EXPECT_EQ(r[R::Address1Var], "address1");
    // Only a SELECT names the category variable.
    EXPECT_EQ(r[R::CategoryVar], "");
}

TEST(FormAnalyser, InputNamesArePrefixTestsAndSubmitButtonsNameNothing) {
    // QUERY_STRING matches the rows Q and QUERY, and the later input wins.
    EngineRecord r =
        analyse(form("<form method=get action=/s>", "<input name=url><input name=QUERY_STRING>"));
    EXPECT_EQ(r[R::UrlVar], "QUERY_STRING");
    // A submit button named url fills nothing.
    r = analyse(form("<form method=get action=/s>", "<input type=submit name=url value=Go>"));
    EXPECT_EQ(r[R::UrlVar], "");
    // A hidden input is not a visible one, whatever its name.
    r = analyse(form("<form method=get action=/s>",
                     "<input name=url><input type=hidden name=title value=t>"));
    EXPECT_EQ(r[R::TitleVar], "");
    EXPECT_EQ(r[R::HiddenValues], "&title=t");
}

TEST(FormAnalyser, HiddenValuesAccumulateAcrossTheTagsOfAForm) {
    EngineRecord r = analyse(form("<form method=post action=/a.cgi>",
                                  "<input type=hidden name=a value=1>"
                                  "<INPUT TYPE=\"HIDDEN\" NAME=\"b\" VALUE=\"2\">"
                                  "<input name=url>"
                                  "<input type=hidden name=empty value=\"\">"
                                  "<input type=hidden name=novalue>"));
    EXPECT_EQ(r[R::HiddenValues], "&a=1&b=2&empty=");
}

TEST(FormAnalyser, TextAreasMatchTheRoleNamesExactly) {
    const EngineRecord r = analyse(form("<form method=post action=/a.cgi>",
                                        "<input name=url><TEXTAREA NAME=\"Keywords\"></TEXTAREA>"
                                        "<textarea name=descriptions></textarea>"));
    EXPECT_EQ(r[R::Key1Var], "Keywords");
    EXPECT_EQ(r[R::DescriptionVar], "");
}

TEST(FormAnalyser, CategorySelectAndItsOptionsChooseTheCategoryType) {
    const QStringList seven = lb::test::categoryNames(SmallestCategorySet);
    const QStringList ten = lb::test::categoryNames(MiddleCategorySet);
    const QStringList thirty = lb::test::categoryNames(LargestCategorySet);
    EngineRecord r = analyse(
        form("<form method=post action=/a.cgi>", "<input name=url>" + selectOf(seven, "Section")));
    EXPECT_EQ(r[R::CategoryVar], "Section");
    EXPECT_EQ(r[R::CategoryType], "General");

    r = analyse(form("<form method=post action=/a.cgi>", "<input name=url>" + selectOf(ten)));
    EXPECT_EQ(r[R::CategoryType], "Classic");

    r = analyse(form("<form method=post action=/a.cgi>", "<input name=url>" + selectOf(thirty)));
    EXPECT_EQ(r[R::CategoryType], "Big");
    // Options holding every name of all three lists: the largest list wins.
    r = analyse(form("<form method=post action=/a.cgi>",
                     "<input name=url>" + selectOf(thirty + QStringList{"Web Stuff"})));
    EXPECT_EQ(r[R::CategoryType], "Big");

    // A SELECT whose name is no category row names nothing; the options still count.
    r = analyse(
        form("<form method=post action=/a.cgi>", "<input name=url>" + selectOf(seven, "category")));
    EXPECT_EQ(r[R::CategoryVar], "");
    EXPECT_EQ(r[R::CategoryType], "General");

    // The tests are case-sensitive: "business" is not "Business".
    QStringList lower = seven;
    lower[0] = "business";
    r = analyse(form("<form method=post action=/a.cgi>", "<input name=url>" + selectOf(lower)));
    EXPECT_EQ(r[R::CategoryType], "");
}

TEST(FormAnalyser, OnlySegmentsWithAUrlFieldAreAnalysedAndLaterOnesWin) {
    const QByteArray page = "<form method=get action=/search><input name=q> </form>\n"
                            "<form method=get action=/other><input name=title> </form>\n"
                            "<FORM METHOD=POST ACTION=/add.cgi>"
                            "<input type=hidden name=a value=1>"
                            "<input name=NewURL><input name=title> </FORM>\n"
                            "<form method=get action=/last><input name=\"url\">"
                            "<input type=hidden name=b value=2> </form>";
    const EngineRecord r = analyse(page);
    // Neither of the first two forms has a URL field (q is not url).
    EXPECT_EQ(r[R::CgiUrl], "http://www.site.com/last");
    EXPECT_FALSE(r.isPost());
    EXPECT_EQ(r[R::UrlVar], "url");
    EXPECT_EQ(r[R::TitleVar], "title");
    EXPECT_EQ(r[R::HiddenValues], "&a=1&b=2");
}

TEST(FormAnalyser, TheCharacterBeforeTheFormEndIsDropped) {
    // The ">" of the URL input goes with the dropped character: that tag is
    // unfinished and the tag pass ends before it.
    EngineRecord r = analyse("<form method=post action=/a.cgi><input name=url></form>");
    EXPECT_EQ(r[R::CgiUrl], "http://www.site.com/a.cgi");
    EXPECT_EQ(r[R::UrlVar], "");
    r = analyse("<form method=post action=/a.cgi><input name=url> </form>");
    EXPECT_EQ(r[R::UrlVar], "url");
}

TEST(FormAnalyser, LineBreaksAndZeroBytesAreDeletedNotBlanked) {
    QByteArray page = "<form method=post action=/a.cgi>\r\n<input type=text\r\nname=title>"
                      "<input name=url><input na";
    page += '\0';
    page += "me=email> </form>";
    const EngineRecord r = analyse(page);
    // "type=text" and "name=title" run together, and the zero byte vanishes.
    EXPECT_EQ(r[R::TitleVar], "title");
    EXPECT_EQ(r[R::EmailVar], "email");
}

TEST(FormAnalyser, SisterNetworkHostsAreSwappedBeforeResolving) {
    FormAnalyserInput in;
    in.pageUrl = "http://www.ffa-one.net/add.html";
    in.hostPairs = {{"ffa-one.net", "ffa-two.net"}};
    EngineRecord r;
    FindUrlForms(form("<form method=post action=/cgi/add.cgi>"), in, r);
    EXPECT_EQ(r[R::CgiUrl], "http://www.ffa-two.net/cgi/add.cgi");
    EXPECT_EQ(r.name, "ffa-one"); // the site keeps its own name and address
    in.pageUrl = "http://ffa-two.net/add.html";
    FindUrlForms(form("<form method=post action=/cgi/add.cgi>"), in, r);
    EXPECT_EQ(r[R::CgiUrl], "http://ffa-one.net/cgi/add.cgi");
}

TEST(FormAnalyser, BarsNeverReachTheEngineLine) {
    const EngineRecord r = analyse(form("<form method=post action=\"/a|b.cgi\">",
                                        "<input name=\"url|x\"><input type=hidden "
                                        "name=\"h|\" value=\"1|2\">"));
    EXPECT_EQ(r[R::UrlVar], "urlx");
    EXPECT_EQ(r[R::CgiUrl], "http://www.site.com/ab.cgi");
    EXPECT_EQ(r[R::HiddenValues], "&h=12");
}

TEST(FormAnalyser, SiteNameIsTheFirstFreeNumberedStem) {
    const QByteArray page = form("<form method=post action=/a.cgi>");
    EXPECT_EQ(analyse(page).name, "site");
    EXPECT_EQ(analyse(page, PageUrl, {"Site", "site1", "other"}).name, "site2");
    EXPECT_EQ(analyse(page, "").name, "");
    EXPECT_EQ(analyse(page).fields[R::SiteUrl], PageUrl);
}

TEST(SiteName, StemAndCandidates) {
    EXPECT_EQ(siteStem("www.abc.com"), "abc");
    EXPECT_EQ(siteStem("ftp.www.abc.com"), "www"); // the first four characters go
    EXPECT_EQ(siteStem("a|b=c.com"), "abc");

    const SiteNameCandidates c({"abc", "ABC1", "xabc2y", "abc4"}, "abc");
    EXPECT_EQ(c.taken(), QStringList({"abc", "abc1", "abc2"}));
    EXPECT_EQ(c.firstFree(), "abc3");
    EXPECT_EQ(SiteNameCandidates({"other"}, "abc").firstFree(), "abc");
    // "abc0" never stands for a candidate, "abc12" covers abc1 and abc12.
    const SiteNameCandidates digits({"abc0", "abc12"}, "abc");
    EXPECT_EQ(digits.firstFree(), "abc2");
}
