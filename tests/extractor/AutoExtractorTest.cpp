// The auto extractor against local page servers: the checks before a fetch,
// the duplicate test, the early stop seen from the server, Abort and the
// idle limit, the add question, the "Auto Extractor" sheet driven in the
// main window, and linkbeacon-cli analyse and extract as a user runs them.
#include "extractor/AutoExtractor.h"
#include "engines/EngineDatabase.h"
#include "extractor/PieceServer.h"
#include "net/HttpProt.h"
#include "support/CliRun.h"
#include "support/MainWindowTest.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>

using namespace lb;
using lb::test::engineLine;
using lb::test::PieceServer;
using lb::test::ScriptedDialogs;
using R = EngineRecord;
using Kind = ScriptedDialogs::Kind;

namespace {

const QString AddQuestion = "The site meets the submission requirements.\nDo you wish to add it  ?";

QString siteLine(const QString& name, const QString& siteUrl) {
    EngineRecord r = EngineRecord::fromLine(engineLine(name));
    r[R::SiteUrl] = siteUrl;
    return r.toLine();
}

class AutoExtractorTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", {engineLine("alpha")});
        pf.writeBytes("data/catagory.hlx", "[CatType]\r\nGeneral=\r\n[General]\r\nArts=\r\n");
        pf.writeBytes("data/batch.hlx",
                      "[batchlist]\r\nbatch.example.com=\r\n[count]\r\ncount=1\r\n");
    }
    void open() {
        db = std::make_unique<EngineDatabase>(pf.dir.path(), dialogs);
        db->runStartSteps();
        extractor = std::make_unique<AutoExtractor>(*db, dialogs, http9);
    }
    QStringList values() const {
        QStringList out;
        for (const auto& [caption, value] : db->nameValueView())
            out.append(value);
        return out;
    }
    QStringList captionsShown() const {
        QStringList out;
        for (const auto& s : dialogs.shown)
            out.append(s.caption);
        return out;
    }

    net::THttpCli http9;
    std::unique_ptr<EngineDatabase> db;
    std::unique_ptr<AutoExtractor> extractor;
};

} // namespace

TEST_F(AutoExtractorTest, ChecksRefuseAddressesBeforeAnythingHappens) {
    open();
    for (const QString& bad : {"http://", "http://localhost:80/", "a.b", "http://a."}) {
        dialogs.clear();
        extractor->StartdaClick(bad);
        ASSERT_EQ(dialogs.shown.size(), 1) << bad.toStdString();
        EXPECT_EQ(dialogs.shown[0].text, "The url you have entered is invalid.");
        EXPECT_EQ(dialogs.shown[0].caption, "Url Incomplete");
        EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Exclamation);
        EXPECT_EQ(extractor->outcome(), AutoExtractor::Outcome::Refused);
    }
    dialogs.clear();
    extractor->StartdaClick("http://www.batch.example.com/submit.html");
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, "This page is already included in the batch submissions.");
    EXPECT_EQ(dialogs.shown[0].caption, "Already Exists");
    EXPECT_TRUE(extractor->startEnabled());
    EXPECT_FALSE(extractor->stopEnabled());
    EXPECT_FALSE(extractor->working());
    EXPECT_EQ(db->editor().name, "alpha"); // the editor was not touched
}

TEST_F(AutoExtractorTest, SiteAlreadyInTheDatabaseIsNotFetched) {
    PieceServer server({"<form method=post action=/a.cgi><input name=url> </form>"}, 100);
    const QString url = server.url("/dir/add.html");
    // "127" has another page, "1271" the same host and path (the port does not count).
    pf.writeEngines("data/data.hlz", {siteLine("127", "http://127.0.0.1/other.html"),
                                      siteLine("1271", "http://127.0.0.1/dir/add.html")});
    open();
    extractor->StartdaClick(url);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, "The site already exists in the database.");
    EXPECT_EQ(dialogs.shown[0].caption, "Cannot add to database");
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(extractor->outcome(), AutoExtractor::Outcome::AlreadyInDatabase);
    EXPECT_EQ(db->editor().name, "1271"); // the engine found stays shown
    EXPECT_EQ(values(), QStringList(38, QString()));
    EXPECT_TRUE(extractor->startEnabled());
    EXPECT_FALSE(extractor->stopEnabled());
}

TEST_F(AutoExtractorTest, DuplicateTestEndsAtTheFirstFreeCandidate) {
    PieceServer server({"<form method=post action=/a.cgi><input name=url> </form>"}, 100);
    // The stem occurs only inside a longer name: "1271" is free, the fetch goes on.
    pf.writeEngines("data/data.hlz", {siteLine("x127", "http://127.0.0.1/dir/add.html")});
    open();
    extractor->StartdaClick(server.url("/dir/add.html"));
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(captionsShown(), QStringList{"Add to database"});
    EXPECT_EQ(db->editor().name, "1271");
}

TEST_F(AutoExtractorTest, DownloadStopsOnceAFormWithAUrlFieldHasClosed) {
    // The URL field comes in the first piece, the end of its form in the second.
    PieceServer server({"<html><FORM METHOD=POST ACTION=\"/add.cgi\"><input name=\"url\">",
                        " <input name=title> </form>\n",
                        "<form method=get action=/late.cgi><input name=url> </form>",
                        "<p>the rest of a long page</p>"},
                       100);
    server.setWaitAfter(1, 5000); // room to hang up before the third piece
    open();
    extractor->StartdaClick(server.url("/add.html"));
    ASSERT_TRUE(server.waitUntilServed());
    EXPECT_TRUE(server.closedEarly());
    EXPECT_EQ(server.piecesSent(), 2);
    EXPECT_TRUE(extractor->UrlFieldSeen());
    EXPECT_EQ(db->editor()[R::CgiUrl], server.url("/add.cgi"));
    EXPECT_TRUE(db->editor().isPost());
    EXPECT_EQ(db->editor()[R::TitleVar], "title");
    EXPECT_TRUE(server.request().startsWith("GET /add.html HTTP/1.0\r\n"));
    EXPECT_TRUE(server.request().contains("\r\nUser-Agent: Mozilla/3.0 (compatible)\r\n"));
}

TEST_F(AutoExtractorTest, FormThatNeverClosesIsDownloadedInFull) {
    PieceServer server({"<form method=post action=/add.cgi><input name=url>", "<input name=email>",
                        "<p>end of page"},
                       100);
    open();
    extractor->StartdaClick(server.url("/add.html"));
    ASSERT_TRUE(server.waitUntilServed());
    EXPECT_FALSE(server.closedEarly());
    EXPECT_EQ(server.piecesSent(), 3);
    EXPECT_EQ(db->editor()[R::UrlVar], "url");
    EXPECT_EQ(db->editor()[R::EmailVar], "email");
}

TEST_F(AutoExtractorTest, EndlessPageIsCutOffInsteadOfFillingTheMemory) {
    const QByteArray filler(4 * 1024 * 1024, 'x');
    PieceServer server(QList<QByteArray>(12, filler), 50);
    open();
    extractor->StartdaClick(server.url("/endless.html"));
    ASSERT_TRUE(server.waitUntilServed());
    EXPECT_TRUE(server.closedEarly());
    EXPECT_LT(server.piecesSent(), 12);
    EXPECT_EQ(captionsShown(), QStringList{"Requirements not met."});
    EXPECT_TRUE(extractor->startEnabled());
}

TEST_F(AutoExtractorTest, StalledServerIsGivenUpAndWhatArrivedIsAnalysed) {
    PieceServer server({"<form method=get action=/add.cgi><input name=url> "}, 100, true);
    open();
    extractor->setIdleTimeout(300);
    extractor->StartdaClick(server.url("/add.html"));
    EXPECT_EQ(db->editor()[R::UrlVar], "url");
    EXPECT_FALSE(db->editor().isPost());
    EXPECT_EQ(captionsShown(), QStringList{"Add to database"});
    EXPECT_EQ(values().at(20), "GET");
    EXPECT_TRUE(extractor->startEnabled());
    EXPECT_FALSE(extractor->working());
}

TEST_F(AutoExtractorTest, CategoryVariableWithoutTypeIsShownButNotOffered) {
    PieceServer server({"<form method=post action=/add.cgi><input name=url>"
                        "<select name=catagory><option>Cars<option>Boats</select> </form>"},
                       100);
    open();
    extractor->StartdaClick(server.url("/add.html"));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(values().at(18), "catagory");
    EXPECT_EQ(values().at(15), "url");
    EXPECT_EQ(extractor->outcome(), AutoExtractor::Outcome::Finished);
    EXPECT_EQ(db->keyList().names(), QStringList{"alpha"});
}

TEST_F(AutoExtractorTest, FailedFetchEndsWithRequirementsNotMet) {
    const lb::test::LoopbackPort refused(false); // bound, not listening
    open();
    extractor->StartdaClick(QStringLiteral("http://127.0.0.1:%1/add.html").arg(refused.port));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, "Site did not meet the submission requirements.");
    EXPECT_EQ(dialogs.shown[0].caption, "Requirements not met.");
    EXPECT_EQ(db->editor().name, "");
    EXPECT_EQ(values(), QStringList(38, QString())); // the method row too: no action
}

TEST_F(AutoExtractorTest, YesAddsTheRecordToTheEngineList) {
    PieceServer server({"<form method=post action=add.cgi><input type=hidden name=k value=v>"
                        "<input name=url><textarea name=description></textarea> </form>"},
                       100);
    open();
    dialogs.answers = {true};
    extractor->StartdaClick(server.url("/dir/add.html"));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, Kind::Ask);
    EXPECT_EQ(dialogs.shown[0].text, AddQuestion);
    EXPECT_EQ(db->keyList().names(), QStringList({"127", "alpha"}));
    EXPECT_EQ(db->keyList().at(db->keyListRow()), "127");
    const EngineRecord added = EngineRecord::fromLine(db->engineLines().lineOfName("127"));
    EXPECT_EQ(added[R::CgiUrl], server.url("/dir/add.cgi"));
    EXPECT_EQ(added[R::HiddenValues], "&k=v");
    EXPECT_EQ(added[R::DescriptionVar], "description");
    EXPECT_TRUE(added.isPost());
    // A second extraction of the same page finds it in the database.
    dialogs.clear();
    extractor->StartdaClick(server.url("/dir/add.html"));
    EXPECT_EQ(captionsShown(), QStringList{"Cannot add to database"});
}

// --- the sheet in the main window ---

namespace {

class ExtractorSheetTest : public AutoExtractorTest {
protected:
    void openWindow() { MainWindowTest::open().show(); }
    QStringList rowTexts(int column) {
        QStringList out;
        auto* list = child<QTreeWidget>("ListView1");
        for (int i = 0; list && i < list->topLevelItemCount(); ++i)
            out.append(list->topLevelItem(i)->text(column));
        return out;
    }
};

} // namespace

TEST_F(ExtractorSheetTest, GetFillsTheListAndYesAddsTheEngine) {
    PieceServer server({"<form method=post action=/cgi-bin/add.cgi><input name=url>"
                        "<input name=title><input name=email><select name=catagory>"
                        "<option>Business<option>Computers<option>Education"
                        "<option>Entertainment<option>Government<option>Personal"
                        "<option>Miscellaneous</select> </form>"},
                       100);
    openWindow();
    auto* edit = child<QLineEdit>("Edit1");
    auto* get = child<QPushButton>("Startda");
    ASSERT_TRUE(edit && get);
    EXPECT_EQ(edit->text(), "http://");
    EXPECT_FALSE(child<QPushButton>("Stopda")->isEnabled());
    EXPECT_TRUE(child<QLabel>("Panel10")->styleSheet().contains("red"));
    ASSERT_EQ(rowTexts(0).size(), 38);

    dialogs.answers = {true};
    edit->setText(server.url("/add.html"));
    get->click();

    EXPECT_EQ(dialogs.texts(), QStringList{AddQuestion});
    const QStringList shown = rowTexts(1);
    EXPECT_EQ(shown.at(0), "127");
    EXPECT_EQ(shown.at(2), server.url("/cgi-bin/add.cgi"));
    EXPECT_EQ(shown.at(19), "General");
    EXPECT_EQ(shown.at(20), "POST");
    // The category type chosen from the options shows its categories.
    EXPECT_EQ(child<QComboBox>("Cat_Type")->currentText(), "General");
    EXPECT_EQ(child<QPlainTextEdit>("Cat_List")->toPlainText(), "Arts");
    auto* keyList = child<QListView>("KeyList");
    EXPECT_EQ(names("KeyList"), QStringList({"127", "alpha"}));
    EXPECT_EQ(keyList->currentIndex().data().toString(), "127");
    EXPECT_EQ(child<QLineEdit>("Site_Name")->text(), "127");
    EXPECT_EQ(child<QLineEdit>("Url_Name")->text(), "url");
    EXPECT_TRUE(get->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Stopda")->isEnabled());
    EXPECT_TRUE(child<QLabel>("Panel10")->styleSheet().contains("red"));
}

// --- the command line ---

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

    lb::test::ProgramFolder pf;
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

// Calls refused before or at the checks: exit code and stderr (an empty
// text: any single line); nothing on stdout.
TEST_F(ExtractorCli, RefusedCallsSayWhyOnStderr) {
    pf.writeBytes("page.html", AddPage);
    struct Row {
        QStringList args;
        int exitCode;
        QByteArray err;
    };
    const Row rows[] = {
        {{"analyse"}, 2, ""},
        {{"analyse", "page.html", "--page-url"}, 2, ""},
        {{"analyse", "page.html", "--bogus"}, 2, ""},
        {{"analyse", "page.html", "other.html"}, 2, ""},
        {{"analyse", "page.html", "--database", "nosuch.hlx"}, 2, ""},
        {{"analyse", "missing.html"}, 1, ""},
        {{"analyse", "data"}, 1, ""},
        {{"extract"}, 2, ""},
        {{"extract", "a", "b"}, 2, ""},
        {{"extract", "--database"}, 2, ""},
        {{"extract", "http://x.com/", "--database", "zz"}, 2, ""},
        {{"extract", "http://"}, 1, "Url Incomplete: The url you have entered is invalid.\n"},
        {{"extract", "http://batch.example.com/add.html"},
         1,
         "Already Exists: This page is already included in the batch submissions.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const lb::test::CliResult r = run(row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, "");
        if (row.err.isEmpty())
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        else
            EXPECT_EQ(r.err, row.err);
    }
}

TEST_F(ExtractorCli, APageWithoutAUrlFieldPrintsEmptyRows) {
    // The editor is cleared, the rows stay empty.
    PieceServer server({"<html><form method=get action=/s><input name=q></form></html>"}, 100);
    const lb::test::CliResult r = run({"extract", server.url("/search.html")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Requirements not met.: Site did not meet the submission requirements.\n");
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 40);
    EXPECT_EQ(lines.at(0) + "\n", engineLineOf("", {{19, "POST"}}));
    EXPECT_EQ(lines.at(21), "Method\t"); // no action: the method row stays empty
}
