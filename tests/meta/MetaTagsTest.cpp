// The HEAD block and its injection into documents.
#include "meta/MetaTags.h"

#include <gtest/gtest.h>

using namespace lb;

namespace {

MetaFields sampleFields() {
    MetaFields f;
    f.title = "Garden & Tools";
    f.description = "Spades \"and\" forks";
    f.keywords = "garden, tools";
    f.author = "Ann Smith";
    f.creator = "Editor";
    f.copyright = "Garden Ltd";
    f.publisher = "Pub";
    f.owner = "ann@example.org";
    f.revisit = "7 Days";
    f.distribution = "Global";
    f.rating = "General";
    f.robots = "All";
    f.charset = "UTF-8";
    f.language = "en-GB";
    f.day = "Mon";
    f.date = "1";
    f.month = "Jan";
    f.year = "2000";
    f.comments = {"first", "", "third"};
    return f;
}

} // namespace

TEST(MetaBlock, EveryTagInItsPlaceWithValuesAsTyped) {
    MetaChecks all;
    for (const QString& n : MetaChecks::names())
        *all.byName(n) = true;
    EXPECT_EQ(
        buildMetaBlock(sampleFields(), all),
        QStringList({"<HTML LANG=en-GB>",
                     "<HEAD>",
                     "<TITLE>Garden & Tools</TITLE>",
                     "<META NAME=\"Keywords\" CONTENT=\"garden, tools\">",
                     "<META NAME=\"Description\" CONTENT=\"Spades \"and\" forks\">",
                     "<META NAME=\"Author\" CONTENT=\"Ann Smith\">",
                     "<META NAME=\"Copyright\" CONTENT=\"Garden Ltd\">",
                     "<META NAME=\"Creator\" CONTENT=\"Editor\">",
                     "<META NAME=\"Publisher\" CONTENT=\"Pub\">",
                     "<META NAME=\"Distribution\" CONTENT=\"Global\">",
                     "<META NAME=\"Rating\" CONTENT=\"General\">",
                     "<META NAME=\"Robots\" CONTENT=\"All\">",
                     "<META NAME=\"Revisit-After\" CONTENT=\"7 Days\">",
                     "<META HTTP-EQUIV=\"Expires\" CONTENT=\"Mon, 1 Jan 2000 01:00:00 GMT\">",
                     "<META HTTP-EQUIV=\"Content-type\" CONTENT=\"text/html; charset=UTF-8\">",
                     "<LINK REV=made href=\"mailto:ann@example.org\">",
                     "</HEAD>",
                     "<!--first-->",
                     "<!---->",
                     "<!--third-->"}));
}

TEST(MetaBlock, OnlyTheChosenTags) {
    MetaFields f;
    f.title = "T";
    f.day = "Sun";
    f.date = "31";
    f.month = "Dec";
    f.year = "2010";
    MetaChecks c;
    c.expires = true;
    EXPECT_EQ(
        buildMetaBlock(f, c),
        QStringList({"<HEAD>", "<TITLE>T</TITLE>",
                     "<META HTTP-EQUIV=\"Expires\" CONTENT=\"Sun, 31 Dec 2010 01:00:00 GMT\">",
                     "</HEAD>"}));
    EXPECT_EQ(buildMetaBlock(MetaFields(), MetaChecks()),
              QStringList({"<HEAD>", "<TITLE></TITLE>", "</HEAD>"}));
    MetaChecks unknown;
    EXPECT_EQ(unknown.byName("title"), nullptr);
}

TEST(MetaInjection, ReplacesFromHtmlToHeadEnd) {
    const QStringList block = {"<HEAD>", "<TITLE>New</TITLE>", "</HEAD>"};
    // Start tag, head and head end on one line, lower case, text around them kept.
    QStringList doc =
        documentLines("<!doctype x><html><head><title>Old</title></head><body>\n</html>");
    ASSERT_TRUE(injectIntoLines(doc, injectionLines(block, false)));
    EXPECT_EQ(doc, QStringList({"<!doctype x><HTML>", "<HEAD>", "<TITLE>New</TITLE>",
                                "</HEAD><body>", "</html>"}));

    // An existing META block over several lines with CR LF, the language tag chosen.
    doc = documentLines("pre\r\n<HTML lang=fr>\r\n<HEAD>\r\n<META NAME=\"a\" CONTENT=\"b\">\r\n"
                        "</head>\r\n<body></body>\r\n</HTML>\r\n");
    ASSERT_TRUE(injectIntoLines(
        doc, injectionLines(QStringList{"<HTML LANG=en>", "<HEAD>", "</HEAD>"}, true)));
    EXPECT_EQ(doc, QStringList(
                       {"pre", "<HTML LANG=en>", "<HEAD>", "</HEAD>", "<body></body>", "</HTML>"}));
    EXPECT_EQ(documentBytes(doc),
              "pre\r\n<HTML LANG=en>\r\n<HEAD>\r\n</HEAD>\r\n<body></body>\r\n</HTML>\r\n");

    // Lone CR and LF line ends read the same way; the last line end adds no line.
    EXPECT_EQ(documentLines("a\rb\nc\r\n\r\nd\n"), QStringList({"a", "b", "c", "", "d"}));
}

TEST(MetaInjection, NoPairLeavesTheDocumentAlone) {
    const QStringList repl = injectionLines({"<HEAD>", "</HEAD>"}, false);
    for (const char* text : {"<head></head><body></body>",         // no <HTML at all
                             "<html>\n<head>\n<title>x</title>\n", // no head end
                             "</head><html>\n<body>",              // head end only before it
                             ""}) {
        QStringList doc = documentLines(text);
        const QStringList before = doc;
        EXPECT_FALSE(injectIntoLines(doc, repl)) << text;
        EXPECT_EQ(doc, before);
    }
    // A head end before the start tag on its line is skipped for one after it.
    QStringList doc = documentLines("</HEAD><HTML><HEAD></HEAD>x");
    ASSERT_TRUE(injectIntoLines(doc, repl));
    EXPECT_EQ(doc, QStringList({"</HEAD><HTML>", "<HEAD>", "</HEAD>x"}));
}
