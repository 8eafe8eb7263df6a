// The auto extractor against local page servers: the checks before a fetch,
// the duplicate test, the early stop seen from the server, Abort and the
// idle limit, the add question, the "Auto Extractor" sheet driven in the
// main window, and linkbeacon-cli analyse and extract as a user runs them.
#include "extractor/AutoExtractor.h"
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "support/CliRun.h"
#include "support/MainWindowTest.h"
#include "support/RawServer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QTreeWidget>

using namespace lb;
using lb::test::engineLine;
using lb::test::RawServer;
using lb::test::ScriptedDialogs;
using R = EngineRecord;

namespace {

const QString AddQuestion = "The site meets the submission requirements.\nDo you wish to add it  ?";
const QString NotMet = "Requirements not met.: Site did not meet the submission requirements.";

QByteArray htmlAnswer(const QByteArray& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body;
}

// A server answering one page.
struct PageServer : RawServer {
    explicit PageServer(const QByteArray& body) { addAnswer(htmlAnswer(body)); }
};

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
    // The messages shown, as "caption: text".
    QStringList shown() const {
        QStringList out;
        for (const auto& s : dialogs.shown)
            out.append(s.caption + ": " + s.text);
        return out;
    }

    net::THttpCli http9;
    std::unique_ptr<EngineDatabase> db;
    std::unique_ptr<AutoExtractor> extractor;
};

} // namespace

// Addresses shorter than ten characters or without a dot, and pages of the
// batch list, are refused before anything is fetched or cleared.
TEST_F(AutoExtractorTest, ChecksRefuseAddressesBeforeAnythingHappens) {
    pf.writeBytes("data/batch.hlx", "[batchlist]\r\nbatch.example.com=\r\nx.y=\r\n[count]\r\n"
                                    "count=2\r\n");
    open();
    const QString invalid = "Url Incomplete: The url you have entered is invalid.";
    const QString batch = "Already Exists: This page is already included in the batch submissions.";
    const struct {
        QString address, message;
    } rows[] = {
        {"http://", invalid},
        {"http://localhost:80/", invalid},
        {"a.b", invalid},
        {"http://a.", invalid}, // nine characters
        {"http://x.y", batch},  // ten: past the length check
        {"http://www.batch.example.com/submit.html", batch},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address.toStdString());
        dialogs.clear();
        extractor->StartdaClick(row.address);
        EXPECT_EQ(shown(), QStringList{row.message});
        EXPECT_EQ(extractor->outcome(), AutoExtractor::Outcome::Refused);
    }
    EXPECT_TRUE(extractor->startEnabled());
    EXPECT_FALSE(extractor->stopEnabled());
    EXPECT_EQ(db->editor().name, "alpha"); // the editor was not touched
}

// A site whose host and path (not port) are in the database is not fetched;
// the duplicate test ends at the first free name candidate.
TEST_F(AutoExtractorTest, SiteAlreadyInTheDatabaseIsNotFetched) {
    PageServer server("<form method=post action=/a.cgi><input name=url> </form>");
    const QString url = server.url("/dir/add.html");
    // "127" has another page, "1271" the same host and path.
    pf.writeEngines("data/data.hlz", {siteLine("127", "http://127.0.0.1/other.html"),
                                      siteLine("1271", "http://127.0.0.1/dir/add.html")});
    open();
    extractor->StartdaClick(url);
    EXPECT_EQ(shown(),
              QStringList{"Cannot add to database: The site already exists in the database."});
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(extractor->outcome(), AutoExtractor::Outcome::AlreadyInDatabase);
    EXPECT_EQ(db->editor().name, "1271"); // the engine found stays shown
    EXPECT_EQ(values(), QStringList(38, QString()));

    // The stem only inside a longer name: "1271" is free, the fetch goes on.
    pf.writeEngines("data/data.hlz", {siteLine("x127", "http://127.0.0.1/dir/add.html")});
    open();
    dialogs.clear();
    extractor->StartdaClick(url);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(shown(), QStringList{"Add to database: " + AddQuestion});
    EXPECT_EQ(db->editor().name, "1271");
}

// The download ends once a form with a URL field has closed: the server
// holds the rest back until the client hangs up, and a later form would win.
// A form that never closes is read to the end of the page.
TEST_F(AutoExtractorTest, DownloadStopsOnceAFormWithAUrlFieldHasClosed) {
    RawServer server;
    server.addScript(
        {{RawServer::Step::Send,
          htmlAnswer("<html><FORM METHOD=POST ACTION=\"/add.cgi\"><input name=\"url\">"
                     " <input name=title> </form>\n"),
          0},
         {RawServer::Step::HoldUntilClosed, {}, 0},
         {RawServer::Step::Send,
          "<form method=get action=/late.cgi><input name=url> </form><p>rest</p>", 0}});
    open();
    extractor->StartdaClick(server.url("/add.html"));
    EXPECT_EQ(db->editor()[R::CgiUrl], server.url("/add.cgi"));

    server.addScript({{RawServer::Step::Send,
                       htmlAnswer("<form method=post action=/add.cgi><input name=url>"), 0},
                      {RawServer::Step::Pause, {}, 100},
                      {RawServer::Step::Send, "<input name=email><p>end of page", 0}});
    extractor->StartdaClick(server.url("/add.html"));
    EXPECT_EQ(db->editor()[R::EmailVar], "email");
}

TEST_F(AutoExtractorTest, EndlessPageIsCutOffInsteadOfFillingTheMemory) {
    const QByteArray filler(4 * 1024 * 1024, 'x');
    RawServer server;
    server.addScript(RawServer::Script(12, {RawServer::Step::Send, filler, 0}));
    open();
    extractor->StartdaClick(server.url("/endless.html"));
    EXPECT_LT(http9.ReceivedCount(), 12 * filler.size()); // cut at the page limit
    EXPECT_EQ(shown(), QStringList{NotMet});
    EXPECT_TRUE(extractor->startEnabled());
}

TEST_F(AutoExtractorTest, StalledServerIsGivenUpAndWhatArrivedIsAnalysed) {
    RawServer server;
    server.addScript({{RawServer::Step::Send,
                       htmlAnswer("<form method=get action=/add.cgi><input name=url> "), 0},
                      {RawServer::Step::HoldUntilClosed, {}, 0}});
    open();
    extractor->setIdleTimeout(300);
    extractor->StartdaClick(server.url("/add.html"));
    EXPECT_EQ(db->editor()[R::UrlVar], "url");
    EXPECT_EQ(shown(), QStringList{"Add to database: " + AddQuestion});
    EXPECT_EQ(values().at(20), "GET");
    EXPECT_FALSE(extractor->working());
}

// --- the sheet in the main window ---

TEST_F(AutoExtractorTest, TheSheetsGetFillsTheListAndYesAddsTheEngine) {
    PageServer server("<form method=post action=/cgi-bin/add.cgi><input name=url>"
                      "<input name=title><input name=email><select name=catagory>"
                      "<option>Business<option>Computers<option>Education"
                      "<option>Entertainment<option>Government<option>Personal"
                      "<option>Miscellaneous</select> </form>");
    MainWindowTest::open().show();
    dialogs.answers = {true};
    child<QLineEdit>("Edit1")->setText(server.url("/add.html"));
    child<QPushButton>("Startda")->click();

    EXPECT_EQ(dialogs.texts(), QStringList{AddQuestion});
    auto* list = child<QTreeWidget>("ListView1");
    ASSERT_EQ(list->topLevelItemCount(), 38);
    EXPECT_EQ(list->topLevelItem(2)->text(1), server.url("/cgi-bin/add.cgi"));
    EXPECT_EQ(list->topLevelItem(19)->text(1), "General");
    // The category type chosen from the options shows its categories.
    EXPECT_EQ(child<QComboBox>("Cat_Type")->currentText(), "General");
    EXPECT_EQ(child<QPlainTextEdit>("Cat_List")->toPlainText(), "Arts");
    EXPECT_EQ(names("KeyList"), QStringList({"127", "alpha"}));
    EXPECT_EQ(child<QListView>("KeyList")->currentIndex().data().toString(), "127");
    EXPECT_EQ(child<QLineEdit>("Url_Name")->text(), "url");
    EXPECT_TRUE(child<QPushButton>("Startda")->isEnabled());
}

// --- the command line ---

namespace {

const QByteArray AddPage = "<html><head><title>Add</title></head><body>\r\n"
                           "<form method=get action=/search><input name=q> </form>\r\n"
                           "<FORM METHOD=POST ACTION=\"add.cgi\">\r\n"
                           "<input type=hidden name=mode value=add>\r\n"
                           "<input name=URL size=40><input name=title>\r\n"
                           "<textarea name=description></textarea>\r\n"
                           "<select name=catagory><option>Business<option>Computers"
                           "<option>Education<option>Entertainment<option>Government"
                           "<option>Personal<option>Miscellaneous</select>"
                           "\r\n<input type=submit value=Add>\r\n</FORM>\r\n";

// The engine line of AddPage found at `url` with its form posting to `cgi`.
QByteArray addPageLine(const QString& name, const QString& url, const QString& cgi) {
    QStringList f(37);
    f[0] = url;
    f[1] = cgi;
    f[2] = "title";
    f[3] = "URL";
    f[5] = "description";
    f[6] = "catagory";
    f[7] = "General";
    f[9] = "&mode=add";
    f[19] = "POST";
    return (name + "=" + f.join(QLatin1Char('|')) + "|\n").toUtf8();
}

} // namespace

// linkbeacon-cli analyse and extract: arguments to exit code, stdout and
// stderr ("<one line>": any single line). analyse numbers the name against
// the chosen list, leaving out the excluded; extract writes nothing.
// (Unknown options and missing values: the command table's own tests.)
TEST(ExtractorCli, ArgumentsToRecordsAndExitCodes) {
    lb::test::ProgramFolder pf;
    pf.writeStandardFiles();
    pf.writeEngines("data/data.hlz",
                    {engineLine("site"), engineLine("Other"), engineLine("ignored")});
    pf.writeEngines("data/engines.hlz", {engineLine("site"), engineLine("site1")});
    pf.writeBytes("data/exclude.tmp", "ignored\r\n");
    pf.writeBytes("data/catagory.hlx",
                  "[CatType]\r\nGeneral=\r\nClassic=\r\n[General]\r\nArts=\r\n");
    pf.writeBytes("page.html", AddPage);
    PageServer server(AddPage);
    PageServer noUrl("<html><form method=get action=/s><input name=q></form></html>");
    const QString url = server.url("/dir/add.html");
    const QString cgi = server.url("/dir/add.cgi");
    // After the record, the 38 rows of the engine editor as the window shows them.
    const auto rows = [](const QStringList& values) {
        QStringList captions = {"Site_Name", "Site_Url", "Cgi_Url",     "Name",     "Last Name",
                                "Email",     "Company",  "Address1",    "Address2", "Country",
                                "City",      "State",    "Zip",         "Phone",    "Fax",
                                "URL",       "Title",    "Description", "Catagory", "Cat_Type",
                                "Method",    "Hidden"};
        for (int k = 1; k <= 16; ++k)
            captions << QStringLiteral("Keyword%1").arg(k);
        QByteArray out;
        for (int i = 0; i < captions.size(); ++i)
            out += (captions.at(i) + "\t" + values.value(i) + "\n").toUtf8();
        return out;
    };
    const QStringList found = {"127",      url,       cgi,    "",         "",      "",
                               "",         "",        "",     "",         "",      "",
                               "",         "",        "",     "URL",      "title", "description",
                               "catagory", "General", "POST", "&mode=add"};
    const QByteArray oneLine = "<one line>";
    const QByteArray site = "http://www.site.com/dir/", port = "http://site.com:8080/dir/";
    const struct {
        QStringList args;
        int exitCode;
        QByteArray out, err;
    } table[] = {
        // clang-format off
        {{"analyse", "page.html", "--page-url", site + "add.html"}, 0,
         addPageLine("site1", site + "add.html", site + "add.cgi"), ""},
        {{"analyse", "--database", "engines", "--page-url", port + "add.html", "page.html"}, 0,
         addPageLine("site2", port + "add.html", port + "add.cgi"), ""},
        // Without a page address the name is empty and a relative action stays as it is.
        {{"analyse", "page.html"}, 0, addPageLine("", "", "add.cgi"), ""},
        {{"extract", url}, 0, addPageLine("127", url, cgi) + rows(found),
         "Add to database: " + AddQuestion.toUtf8() + "\n"},
        // No action: the editor is cleared, the method row stays empty.
        {{"extract", noUrl.url("/search.html")}, 1,
         "=" + QByteArray(19, '|') + "POST" + QByteArray(18, '|') + "\n" + rows({}),
         NotMet.toUtf8() + "\n"},
        {{"analyse"}, 2, "", oneLine},
        {{"analyse", "page.html", "other.html"}, 2, "", oneLine},
        {{"analyse", "page.html", "--database", "nosuch.hlx"}, 2, "", oneLine},
        {{"analyse", "missing.html"}, 1, "", oneLine},
        {{"analyse", "data"}, 1, "", oneLine},
        {{"extract"}, 2, "", oneLine},
        {{"extract", "a", "b"}, 2, "", oneLine},
        {{"extract", "http://x.com/", "--database", "zz"}, 2, "", oneLine},
        {{"extract", "http://"}, 1, "", "Url Incomplete: The url you have entered is invalid.\n"},
        // clang-format on
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const lb::test::CliResult r = lb::test::runCli(pf.dir.path(), row.args, {60000});
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        if (row.err == oneLine)
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        else
            EXPECT_EQ(r.err, row.err);
    }
    EXPECT_TRUE(server.request(0).contains("User-Agent: Mozilla/3.0 (compatible)\r\n"));
    EXPECT_EQ(pf.readEngines("data/data.hlz").size(), 3);
}
