// The HEAD block, its injection into documents, the online fetch, and
// linkbeacon-cli meta as a script runs it in a real program folder.
#include "meta/MetaTags.h"
#include "meta/MetaCreator.h"
#include "support/CliRun.h"
#include "support/CrawlProxy.h"
#include "support/Files.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using lb::test::readFile;
using lb::test::writeFile;
using namespace lb;
using lb::test::runCli;

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
    // clang-format off
    EXPECT_EQ(buildMetaBlock(sampleFields(), all), QStringList({
        "<HTML LANG=en-GB>", "<HEAD>", "<TITLE>Garden & Tools</TITLE>",
        "<META NAME=\"Keywords\" CONTENT=\"garden, tools\">",
        "<META NAME=\"Description\" CONTENT=\"Spades \"and\" forks\">",
        "<META NAME=\"Author\" CONTENT=\"Ann Smith\">",
        "<META NAME=\"Copyright\" CONTENT=\"Garden Ltd\">",
        "<META NAME=\"Creator\" CONTENT=\"Editor\">", "<META NAME=\"Publisher\" CONTENT=\"Pub\">",
        "<META NAME=\"Distribution\" CONTENT=\"Global\">",
        "<META NAME=\"Rating\" CONTENT=\"General\">", "<META NAME=\"Robots\" CONTENT=\"All\">",
        "<META NAME=\"Revisit-After\" CONTENT=\"7 Days\">",
        "<META HTTP-EQUIV=\"Expires\" CONTENT=\"Mon, 1 Jan 2000 01:00:00 GMT\">",
        "<META HTTP-EQUIV=\"Content-type\" CONTENT=\"text/html; charset=UTF-8\">",
        "<LINK REV=made href=\"mailto:ann@example.org\">", "</HEAD>",
        "<!--first-->", "<!---->", "<!--third-->"}));
    // clang-format on
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
    for (const char* text : {"<html>\n<head>\n<title>x</title>\n", // no head end
                             "</head><html>\n<body>"}) {           // head end only before it
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

// The online document comes through the proxy, with its user, when there is one; an answer
// of 400 or more leaves the document alone and shows in the status.
TEST(MetaFetch, ThroughTheProxyAndOnlyBelowStatus400) {
    const struct {
        QByteArray status;
        bool fetched;
    } cases[] = {{"200 OK", true}, {"399 Odd", true}, {"400 Bad Request", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        QTemporaryDir dir;
        lb::test::RawServer proxy;
        proxy.addAnswer("HTTP/1.0 " + c.status + "\r\n\r\n<HTML><HEAD></HEAD>");
        lb::test::ScriptedDialogs dialogs;
        MetaCreator creator(dir.path(), dialogs);
        creator.applyProxy(lb::test::crawlProxy(proxy.port()));
        QStringList got;
        bool fetched = false;
        QObject::connect(&creator, &MetaCreator::documentFetched, [&](const QStringList& lines) {
            got = lines;
            fetched = true;
        });
        creator.fetchDocument(QStringLiteral("http://site.invalid/page.htm"));
        ASSERT_TRUE(lb::test::runUntil([&] { return !creator.fetching(); }));
        EXPECT_TRUE(proxy.request(0).startsWith("GET http://site.invalid/page.htm HTTP/1.0\r\n"));
        EXPECT_TRUE(proxy.request(0).contains(lb::test::kCrawlProxyAuthorization));
        EXPECT_EQ(fetched, c.fetched);
        EXPECT_EQ(got, c.fetched ? QStringList{"<HTML><HEAD></HEAD>"} : QStringList());
        EXPECT_EQ(creator.infoLabel().startsWith("Status: Failed : 400"), !c.fetched);
    }
}

namespace {

// One call of linkbeacon-cli meta in the shared folder: exit code, stdout,
// stderr ("<one line>": any single line), and optionally a file that then
// holds the given bytes ("!" in front: the file does not exist).
struct MetaStep {
    QStringList args;
    int exitCode = 0;
    QByteArray out, err;
    QString file;
    QByteArray fileHas;
};

const QByteArray kOneLine = "<one line>";
const QByteArray kModify =
    "Modify Session Tag Name: Tag name already exists.\nDo you wish to modify it  ?\n";
const QByteArray kReserved = "Invalid Tag Name: Sorry that name is being used by this program\n";

} // namespace

// The meta command in one folder, step by step: tag sets saved, listed,
// loaded and deleted, sessions imported, documents injected, and every
// refusal with its text. Unsafe names never reach a file outside data/meta.
// (Unknown options and missing values: the command table's own tests.)
TEST(MetaCli, StepsInOneFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray shop = "[Shop]\r\nurl=http://shop/\r\ntitle=Shop\r\nemail=a@b\r\n"
                      "description=D\r\nname=Ann\r\nlast=Lee\r\ncompany=Co\r\n";
    for (int i = 1; i <= 16; ++i)
        shop += "key" + QByteArray::number(i) + "=" + (i <= 2 ? "k" + QByteArray::number(i) : "") +
                "\r\n";
    writeFile(dir.filePath("data/session/Shop.hlx"), shop);
    writeFile(dir.filePath("data/session/Thin.hlx"), "[Thin]\r\ntitle=Only\r\n");
    writeFile(dir.filePath("data/outside.tag"), "[..]\r\ntitle=secret\r\n");
    writeFile(dir.filePath("in.htm"), "<html><head><title>x</title></head>\n<body>\xC3\xA9</body>\n"
                                      "</html>");
    writeFile(dir.filePath("nohead.htm"), "<html><body></body></html>");
    writeFile(dir.filePath("keep.htm"), "untouched");
    const QString garden = "data/meta/Garden.tag";
    const QByteArray noHead = "You must have a missing or incorrect <head> or </head> Tag.\n";
    const MetaStep steps[] = {
        // clang-format off
        {{"build", "--use", "owner,keywords", "--keywords", "a, b", "--owner", "me@x", "--title",
          "  T  ", "--comment", "c1", "--description", "unused"}, 0,
         "<HEAD>\r\n<TITLE>  T  </TITLE>\r\n<META NAME=\"Keywords\" CONTENT=\"a, b\">\r\n"
         "<LINK REV=made href=\"mailto:me@x\">\r\n</HEAD>\r\n<!--c1-->\r\n"},
        {{}, 2, "", kOneLine},
        {{"insert", "only.htm"}, 2, "", kOneLine},
        {{"frobnicate"}, 2, "", kOneLine},
        {{"save", "Garden", "--title", "G", "--comment", "one", "--comment", "two", "--comment",
          "three", "--use", "all"}, 0, "", "", garden,
         "robots=\r\ncomment0=one\r\ncomment1=two\r\ncomment2=three\r\ncomcount=2\r\n"},
        {{"save", "Bare", "--keywords", "k"}, 0, "", "", "data/meta/Bare.tag", "comcount=-1\r\n"},
        {{"list"}, 0, "Garden\nBare\n"},
        // A set gives back its fields and comments; --comment replaces them.
        {{"build", "--set", "Garden"}, 0,
         "<HEAD>\r\n<TITLE>G</TITLE>\r\n</HEAD>\r\n<!--one-->\r\n<!--two-->\r\n<!--three-->\r\n"},
        {{"build", "--comment", "x", "--set", "Bare", "--use", "keywords"}, 0,
         "<HEAD>\r\n<TITLE></TITLE>\r\n<META NAME=\"Keywords\" CONTENT=\"k\">\r\n</HEAD>\r\n"
         "<!--x-->\r\n"},
        // An existing name asks first: No writes nothing, --yes rewrites.
        {{"save", "Garden", "--title", "changed"}, 1, "", kModify, garden, "title=G\r\n"},
        {{"save", "Garden", "--title", "changed", "--yes"}, 0, "", kModify, garden,
         "title=changed\r\n"},
        {{"save", "list"}, 1, "", kReserved},
        {{"save", ""}, 1, "", "No Tag Name: You have no Tag to save.\n"},
        {{"save", "../evil"}, 1, "", kReserved, "data/evil.tag", "!"},
        {{"build", "--set", "../outside"}, 1, "", kReserved},
        {{"build", "--session", "../../x"}, 1, "", kReserved},
        {{"delete", "../outside"}, 1, "", kReserved, "data/outside.tag", "title=secret"},
        {{"build", "--set", "Missing"}, 1, "", kOneLine},
        {{"delete", "Nope"}, 1, "", "No Item: You have not selected an item to Delete\n"},
        {{"delete", "Garden"}, 0, "", "", garden, "!"},
        {{"list"}, 0, "Bare\n"},
        // The last delete empties the list; the count stays as it was.
        {{"delete", "Bare"}, 0, "", "", "data/meta/meta.hlx", "Count=0\r\n"},
        {{"list"}, 0, ""},
        // A session fills what it has; keys it lacks keep the set's, options override both.
        {{"build", "--session", "Shop", "--use", "keywords,description,author,copyright"}, 0,
         "<HEAD>\r\n<TITLE>Shop</TITLE>\r\n"
         "<META NAME=\"Keywords\" CONTENT=\"k1, k2, , , , , , , , , , , , , , \">\r\n"
         "<META NAME=\"Description\" CONTENT=\"D\">\r\n"
         "<META NAME=\"Author\" CONTENT=\"Ann Lee\">\r\n"
         "<META NAME=\"Copyright\" CONTENT=\"Co\">\r\n</HEAD>\r\n"},
        {{"save", "Base", "--author", "Set Author", "--title", "Set Title", "--description",
          "Set D"}},
        {{"build", "--description", "Mine", "--session", "Thin", "--set", "Base", "--use",
          "author,description"}, 0,
         "<HEAD>\r\n<TITLE>Only</TITLE>\r\n<META NAME=\"Description\" CONTENT=\"Mine\">\r\n"
         "<META NAME=\"Author\" CONTENT=\"Set Author\">\r\n</HEAD>\r\n"},
        {{"build", "--session", "Shop", "--use", "owner"}, 0,
         "<HEAD>\r\n<TITLE>Shop</TITLE>\r\n<LINK REV=made href=\"mailto:a@b\">\r\n</HEAD>\r\n"},
        {{"build", "--session", "Absent"}, 1, "", kOneLine},
        {{"insert", "--title", "New", "in.htm", "out.htm", "--use", "language", "--language", "de"},
         0, "", "", "out.htm",
         "<HTML LANG=de>\r\n<HEAD>\r\n<TITLE>New</TITLE>\r\n</HEAD>\r\n<body>\xC3\xA9</body>\r\n"
         "</html>\r\n"},
        {{"insert", "in.htm", "out2.htm"}, 0, "", "", "out2.htm", "<HTML>\r\n<HEAD>\r\n<TITLE></"},
        {{"insert", "nohead.htm", "keep.htm"}, 1, "", noHead, "keep.htm", "untouched"},
        {{"insert", "nohead.htm", "new.htm"}, 1, "", noHead, "new.htm", "!"},
        {{"insert", "missing.htm", "new.htm"}, 1, "", "Cannot open file missing.htm\n"},
        // clang-format on
    };
    for (const MetaStep& step : steps) {
        SCOPED_TRACE(step.args.join(' ').toStdString());
        const auto r = runCli(dir.path(), QStringList{"meta"} + step.args);
        EXPECT_EQ(r.exitCode, step.exitCode);
        EXPECT_EQ(r.out, step.out);
        if (step.err == kOneLine)
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        else
            EXPECT_EQ(r.err, step.err);
        if (step.fileHas == "!")
            EXPECT_FALSE(QFile::exists(dir.filePath(step.file)));
        else if (!step.file.isEmpty())
            EXPECT_TRUE(readFile(dir.filePath(step.file)).contains(step.fileHas))
                << readFile(dir.filePath(step.file)).toStdString();
    }
}
