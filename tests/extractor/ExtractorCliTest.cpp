// linkbeacon-cli analyse and extract as a user runs them in a program folder.
#include "engines/ProgramFolder.h"
#include "extractor/PieceServer.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

using lb::test::engineLine;
using lb::test::PieceServer;
using lb::test::ProgramFolder;

namespace {

class ExtractorCli : public ::testing::Test {
protected:
    void SetUp() override {
        pf.writeStandardFiles();
        pf.writeEngines("data/data.hlz",
                        {engineLine("site"), engineLine("Other"), engineLine("ignored")});
        pf.writeEngines("data/engines.hlz", {engineLine("site"), engineLine("site1")});
        pf.writeBytes("data/exclude.tmp", "ignored\r\n");
        pf.writeBytes("data/catagory.hlx",
                      "[CatType]\r\nGeneral=\r\nClassic=\r\n[General]\r\nArts=\r\n");
        pf.writeBytes("data/batch.hlx",
                      "[batchlist]\r\nbatch.example.com=\r\n[count]\r\ncount=1\r\n");
    }

    lb::test::CliResult run(const QStringList& args) {
        return lb::test::runCli(pf.dir.path(), args, {60000});
    }

    ProgramFolder pf;
};

const QByteArray SevenCategories = "<select name=catagory><option>Business<option>Computers"
                                   "<option>Education<option>Entertainment<option>Government"
                                   "<option>Personal<option>Miscellaneous</select>";

const QByteArray AddPage = "<html><head><title>Add</title></head><body>\r\n"
                           "<form method=get action=/search><input name=q> </form>\r\n"
                           "<FORM METHOD=POST ACTION=\"add.cgi\">\r\n"
                           "<input type=hidden name=mode value=add>\r\n"
                           "<input name=URL size=40><input name=title>\r\n"
                           "<textarea name=description></textarea>\r\n" +
                           SevenCategories + "\r\n<input type=submit value=Add>\r\n</FORM>\r\n";

// name=field1|..|field37|: fields by position, the rest empty.
QByteArray engineLineOf(const QString& name, const QMap<int, QString>& values) {
    QStringList fields;
    for (int f = 0; f < 37; ++f)
        fields.append(values.value(f));
    return (name + "=" + fields.join(QLatin1Char('|')) + "|\n").toUtf8();
}

// The record of AddPage found at `url` with its form posting to `cgi`.
QByteArray addPageLine(const QString& name, const QString& url, const QString& cgi) {
    return engineLineOf(name, {{0, url},
                               {1, cgi},
                               {2, "title"},
                               {3, "URL"},
                               {5, "description"},
                               {6, "catagory"},
                               {7, "General"},
                               {9, "&mode=add"},
                               {19, "POST"}});
}

} // namespace

TEST_F(ExtractorCli, AnalysePrintsTheRecordAsOneEngineLine) {
    pf.writeBytes("page.html", AddPage);
    const lb::test::CliResult r =
        run({"analyse", "page.html", "--page-url", "http://www.site.com/dir/add.html"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.err, "");
    // "site" is taken in the engine list, "ignored" is left out of it.
    EXPECT_EQ(r.out, addPageLine("site1", "http://www.site.com/dir/add.html",
                                 "http://www.site.com/dir/add.cgi"));

    // Options go before or after the file; --database engines numbers against its names.
    const lb::test::CliResult e = run({"analyse", "--database", "engines", "--page-url",
                                       "http://site.com:8080/dir/add.html", "page.html"});
    EXPECT_EQ(e.exitCode, 0);
    EXPECT_TRUE(e.out.startsWith("site2=http://site.com:8080/dir/add.html|"
                                 "http://site.com:8080/dir/add.cgi|title|URL|"))
        << e.out.constData();

    // Without a page address the name is empty and a relative action stays as it is.
    const lb::test::CliResult bare = run({"analyse", "page.html"});
    EXPECT_EQ(bare.exitCode, 0);
    EXPECT_TRUE(bare.out.startsWith("=|add.cgi|title|URL|")) << bare.out.constData();
    EXPECT_EQ(bare.out.count('\n'), 1);
}

TEST_F(ExtractorCli, AnalyseOfAPageWithoutUrlFieldGivesTheClearedEditor) {
    QByteArray page = "<form method=get action=/s><input name=q></form>";
    page += '\0';
    page += "\xff\xfe binary";
    pf.writeBytes("page.html", page);
    const lb::test::CliResult r =
        run({"analyse", "page.html", "--page-url", "http://www.site.com/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, engineLineOf("", {{19, "POST"}}));
}

TEST_F(ExtractorCli, AnalyseRefusesBadArgumentsAndUnreadableFiles) {
    pf.writeBytes("page.html", AddPage);
    for (const QStringList& args :
         {QStringList{"analyse"}, QStringList{"analyse", "page.html", "--page-url"},
          QStringList{"analyse", "page.html", "--bogus"},
          QStringList{"analyse", "page.html", "other.html"},
          QStringList{"analyse", "page.html", "--database", "nosuch.hlx"}}) {
        const lb::test::CliResult r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    }
    const lb::test::CliResult missing = run({"analyse", "missing.html"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.count('\n'), 1);
    const lb::test::CliResult folder = run({"analyse", "data"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err.count('\n'), 1);
}

TEST_F(ExtractorCli, ExtractPrintsTheRecordAndTheListRows) {
    PieceServer server({AddPage}, 100);
    const QString url = server.url("/dir/add.html");
    const lb::test::CliResult r = run({"extract", url});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.err, "Add to database: The site meets the submission requirements.\n"
                     "Do you wish to add it  ?\n");
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 40) << r.out.constData(); // record, 38 rows, final line end
    const QString cgi = server.url("/dir/add.cgi");
    EXPECT_EQ(lines.at(0) + "\n", addPageLine("127", url, cgi));
    QStringList expected = {"Site_Name\t127", "Site_Url\t" + url, "Cgi_Url\t" + cgi};
    for (const char* empty : {"Name", "Last Name", "Email", "Company", "Address1", "Address2",
                              "Country", "City", "State", "Zip", "Phone", "Fax"})
        expected << QLatin1String(empty) + QLatin1Char('\t');
    expected += QStringList{"URL\tURL",           "Title\ttitle",      "Description\tdescription",
                            "Catagory\tcatagory", "Cat_Type\tGeneral", "Method\tPOST",
                            "Hidden\t&mode=add"};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(QString::fromUtf8(lines.at(i + 1)), expected.at(i)) << i;
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(QString::fromUtf8(lines.at(23 + k)), QStringLiteral("Keyword%1\t").arg(k + 1));
    EXPECT_TRUE(server.request().contains("User-Agent: Mozilla/3.0 (compatible)\r\n"));
    // Nothing was written: the engine file is as it was.
    EXPECT_EQ(pf.readEngines("data/data.hlz").size(), 3);
}

TEST_F(ExtractorCli, ExtractStopsEarlyWithMessagesOnStderr) {
    lb::test::CliResult r = run({"extract", "http://"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Url Incomplete: The url you have entered is invalid.\n");

    r = run({"extract", "http://batch.example.com/add.html"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Already Exists: This page is already included in the batch submissions.\n");

    // A page without URL field: the editor is cleared, the rows stay empty.
    PieceServer server({"<html><form method=get action=/s><input name=q></form></html>"}, 100);
    r = run({"extract", server.url("/search.html")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Requirements not met.: Site did not meet the submission requirements.\n");
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 40);
    EXPECT_EQ(lines.at(0) + "\n", engineLineOf("", {{19, "POST"}}));
    EXPECT_EQ(lines.at(21), "Method\t"); // no action: the method row stays empty

    for (const QStringList& args : {QStringList{"extract"}, QStringList{"extract", "a", "b"},
                                    QStringList{"extract", "--database"},
                                    QStringList{"extract", "http://x.com/", "--database", "zz"}}) {
        r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1);
    }
}

TEST_F(ExtractorCli, ExtractFindsTheSiteAlreadyInTheDatabase) {
    PieceServer server({AddPage}, 100);
    const QString url = server.url("/dir/add.html");
    // Engines named after the stem: "127" differs in path, "1271" is the same page.
    QStringList lines = {engineLine("127"), engineLine("1271")};
    lines[0].replace("=|", "=http://127.0.0.1/other.html|");
    lines[1].replace("=|", "=http://127.0.0.1/dir/add.html|");
    pf.writeEngines("data/data.hlz", lines);
    const lb::test::CliResult r = run({"extract", url});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cannot add to database: The site already exists in the database.\n");
    EXPECT_EQ(server.connections(), 0);
}
