// The HEAD block and its injection into documents, and linkbeacon-cli meta as
// a script runs it in a real program folder.
#include "meta/MetaTags.h"
#include "common/IniFile.h"
#include "common/ProxySettings.h"
#include "meta/MetaCreator.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QDir>
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

// The online document comes through the proxy when there is one; an answer
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
        ProxySettings p;
        p.behindProxy = true;
        p.host = QStringLiteral("127.0.0.1");
        p.port = QString::number(proxy.port());
        creator.applyProxy(p);
        QStringList got;
        bool fetched = false;
        QObject::connect(&creator, &MetaCreator::documentFetched, [&](const QStringList& lines) {
            got = lines;
            fetched = true;
        });
        creator.fetchDocument(QStringLiteral("http://site.invalid/page.htm"));
        ASSERT_TRUE(lb::test::runUntil([&] { return !creator.fetching(); }));
        EXPECT_TRUE(proxy.request(0).startsWith("GET http://site.invalid/page.htm HTTP/1.0\r\n"));
        EXPECT_EQ(fetched, c.fetched);
        EXPECT_EQ(got, c.fetched ? QStringList{"<HTML><HEAD></HEAD>"} : QStringList());
        EXPECT_EQ(creator.infoLabel().startsWith("Status: Failed : 400"), !c.fetched);
    }
}

TEST(MetaCli, BuildPrintsTheBlockWithCrLf) {
    QTemporaryDir dir;
    const auto r = runCli(dir.path(), {"meta", "build", "--use", "owner,keywords", "--keywords",
                                       "a, b", "--owner", "me@x", "--title", "  T  ", "--comment",
                                       "c1", "--description", "unused"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "<HEAD>\r\n<TITLE>  T  </TITLE>\r\n<META NAME=\"Keywords\" CONTENT=\"a, "
                     "b\">\r\n<LINK REV=made href=\"mailto:me@x\">\r\n</HEAD>\r\n<!--c1-->\r\n");
    EXPECT_TRUE(r.err.isEmpty());
    for (const QStringList& bad :
         {QStringList{"meta"}, QStringList{"meta", "build", "--use", "title"},
          QStringList{"meta", "build", "--bogus", "x"}, QStringList{"meta", "build", "--title"},
          QStringList{"meta", "insert", "only.htm"}, QStringList{"meta", "list", "x"},
          QStringList{"meta", "frobnicate"}}) {
        const auto b = runCli(dir.path(), bad);
        EXPECT_EQ(b.exitCode, 2) << bad.join(' ').toStdString();
        EXPECT_EQ(b.err.count('\n'), 1) << b.err.toStdString();
    }
}

TEST(MetaCli, SaveListLoadAndDeleteTagSets) {
    QTemporaryDir dir;
    const QString tags = dir.filePath("data/meta/");
    auto r = runCli(dir.path(), {"meta", "save", "Garden", "--title", "G", "--comment", "one",
                                 "--comment", "two", "--comment", "three", "--use", "all"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray tag = readFile(tags + "Garden.tag");
    EXPECT_TRUE(tag.startsWith("[Garden]\r\nurl=\r\ntitle=G\r\nauthor=\r\ndescription=\r\n"
                               "copyright=\r\ncreator=\r\npublisher=\r\ndistribution=\r\n"
                               "rating=\r\nrevisit=\r\nday=\r\ndate=\r\nmonth=\r\nyear=\r\n"
                               "charset=\r\nkey1=\r\nowner=\r\nlanguage=\r\nrobots=\r\n"
                               "comment0=one\r\ncomment1=two\r\ncomment2=three\r\ncomcount=2\r\n"))
        << tag.toStdString();
    ASSERT_EQ(runCli(dir.path(), {"meta", "save", "Bare", "--keywords", "k"}).exitCode, 0);
    EXPECT_EQ(lb::IniFile(tags + "Bare.tag").readString("Bare", "comcount"), "-1");
    EXPECT_EQ(runCli(dir.path(), {"meta", "list"}).out, "Garden\nBare\n");

    // Loading a set gives back its fields and its three comments; --comment replaces them.
    r = runCli(dir.path(), {"meta", "build", "--set", "Garden"});
    EXPECT_EQ(r.out, "<HEAD>\r\n<TITLE>G</TITLE>\r\n</HEAD>\r\n<!--one-->\r\n<!--two-->\r\n"
                     "<!--three-->\r\n");
    r = runCli(dir.path(),
               {"meta", "build", "--comment", "x", "--set", "Bare", "--use", "keywords"});
    EXPECT_EQ(r.out, "<HEAD>\r\n<TITLE></TITLE>\r\n<META NAME=\"Keywords\" CONTENT=\"k\">\r\n"
                     "</HEAD>\r\n<!--x-->\r\n");

    // An existing name asks first: No writes nothing, --yes rewrites.
    r = runCli(dir.path(), {"meta", "save", "Garden", "--title", "changed"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Modify Session Tag Name: Tag name already exists.\nDo you wish to modify "
                     "it  ?\n");
    EXPECT_EQ(readFile(tags + "Garden.tag"), tag);
    r = runCli(dir.path(), {"meta", "save", "Garden", "--title", "changed", "--yes"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(lb::IniFile(tags + "Garden.tag").readString("Garden", "title"), "changed");
    EXPECT_EQ(runCli(dir.path(), {"meta", "list"}).out, "Garden\nBare\n");

    // Reserved, empty and unsafe names.
    for (const char* name : {"list", "Session"}) {
        r = runCli(dir.path(), {"meta", "save", name});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "Invalid Tag Name: Sorry that name is being used by this program\n");
    }
    r = runCli(dir.path(), {"meta", "save", ""});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "No Tag Name: You have no Tag to save.\n");
    writeFile(dir.filePath("data/outside.tag"), "[..]\r\ntitle=secret\r\n");
    for (const QStringList& args :
         {QStringList{"meta", "save", "../evil"}, QStringList{"meta", "save", "a\\b"},
          QStringList{"meta", "build", "--set", "../outside"}, QStringList{"meta", "delete", ".."},
          QStringList{"meta", "build", "--session", "../../x"},
          QStringList{"meta", "delete", "../outside"}}) {
        r = runCli(dir.path(), args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, "Invalid Tag Name: Sorry that name is being used by this program\n");
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("data/outside.tag")));
    EXPECT_FALSE(QFile::exists(dir.filePath("data/evil.tag")));

    r = runCli(dir.path(), {"meta", "build", "--set", "Missing"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_TRUE(r.out.isEmpty());

    r = runCli(dir.path(), {"meta", "delete", "Nope"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "No Item: You have not selected an item to Delete\n");
    EXPECT_EQ(runCli(dir.path(), {"meta", "delete", "Garden"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(tags + "Garden.tag"));
    EXPECT_EQ(runCli(dir.path(), {"meta", "list"}).out, "Bare\n");
    EXPECT_EQ(runCli(dir.path(), {"meta", "delete", "Bare"}).exitCode, 0);
    EXPECT_EQ(runCli(dir.path(), {"meta", "list"}).out, "");
    // The last delete empties the list; the count stays as it was.
    EXPECT_EQ(lb::IniFile(tags + "meta.hlx").readString("Session", "Count"), "0");
}

TEST(MetaCli, SessionImportFillsWhatTheSessionHas) {
    QTemporaryDir dir;
    QByteArray session = "[Shop]\r\nurl=http://shop/\r\ntitle=Shop\r\nemail=a@b\r\n"
                         "description=D\r\nname=Ann\r\nlast=Lee\r\ncompany=Co\r\n";
    for (int i = 1; i <= 16; ++i)
        session += "key" + QByteArray::number(i) + "=" +
                   (i <= 2 ? "k" + QByteArray::number(i) : "") + "\r\n";
    writeFile(dir.filePath("data/session/Shop.hlx"), session);
    writeFile(dir.filePath("data/session/Thin.hlx"), "[Thin]\r\ntitle=Only\r\n");
    auto r = runCli(dir.path(), {"meta", "build", "--session", "Shop", "--use", "all"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    EXPECT_EQ(lines[2], "<TITLE>Shop</TITLE>\r");
    EXPECT_EQ(lines[3],
              "<META NAME=\"Keywords\" CONTENT=\"k1, k2, , , , , , , , , , , , , , \">\r");
    EXPECT_EQ(lines[4], "<META NAME=\"Description\" CONTENT=\"D\">\r");
    EXPECT_EQ(lines[5], "<META NAME=\"Author\" CONTENT=\"Ann Lee\">\r");
    EXPECT_EQ(lines[6], "<META NAME=\"Copyright\" CONTENT=\"Co\">\r");
    EXPECT_TRUE(r.out.contains("mailto:a@b"));

    // Keys the session lacks keep what the tag set gave; fields given override both.
    ASSERT_EQ(runCli(dir.path(), {"meta", "save", "Base", "--author", "Set Author", "--title",
                                  "Set Title", "--description", "Set D"})
                  .exitCode,
              0);
    r = runCli(dir.path(), {"meta", "build", "--description", "Mine", "--session", "Thin", "--set",
                            "Base", "--use", "author,description"});
    EXPECT_EQ(r.out, "<HEAD>\r\n<TITLE>Only</TITLE>\r\n<META NAME=\"Description\" "
                     "CONTENT=\"Mine\">\r\n<META NAME=\"Author\" CONTENT=\"Set Author\">\r\n"
                     "</HEAD>\r\n");
    r = runCli(dir.path(), {"meta", "build", "--session", "Absent"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count('\n'), 1);
}

TEST(MetaCli, InsertWritesTheInjectedDocument) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in.htm"), "<html><head><title>x</title></head>\n<body>\xC3\xA9</body>\n"
                                      "</html>");
    auto r = runCli(dir.path(), {"meta", "insert", "--title", "New", "in.htm", "out.htm", "--use",
                                 "language", "--language", "de"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(readFile(dir.filePath("out.htm")),
              "<HTML LANG=de>\r\n<HEAD>\r\n<TITLE>New</TITLE>\r\n"
              "</HEAD>\r\n<body>\xC3\xA9</body>\r\n</html>\r\n");
    r = runCli(dir.path(), {"meta", "insert", "in.htm", "out2.htm"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(
        readFile(dir.filePath("out2.htm")).startsWith("<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>"));

    writeFile(dir.filePath("nohead.htm"), "<html><body></body></html>");
    writeFile(dir.filePath("keep.htm"), "untouched");
    r = runCli(dir.path(), {"meta", "insert", "nohead.htm", "keep.htm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "You must have a missing or incorrect <head> or </head> Tag.\n");
    EXPECT_EQ(readFile(dir.filePath("keep.htm")), "untouched");
    r = runCli(dir.path(), {"meta", "insert", "nohead.htm", "new.htm"});
    EXPECT_FALSE(QFile::exists(dir.filePath("new.htm")));
    r = runCli(dir.path(), {"meta", "insert", "missing.htm", "new.htm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cannot open file missing.htm\n");
}
