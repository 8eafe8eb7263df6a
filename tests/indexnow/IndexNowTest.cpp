// IndexNow: the JSON of a post, how URLs become posts, the command line
// against target-sim's endpoint, the submitter's time-out, and the dialog
// opened from "Step3 Submit": settings, the key file and a submission of
// "Sessions to submit".
#include "indexnow/IndexNow.h"
#include "common/IniFile.h"
#include "indexnow/ui/TIndexNow.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/MainWindowTest.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using lb::test::TargetSim;
using lb::test::writeFile;

namespace {

const QString kKey = QStringLiteral("a1b2c3d4-e5f6");

void writeSession(const QString& dir, const QString& name, const QString& url) {
    QDir().mkpath(dir + "/data/session");
    lb::IniFile(dir + "/data/session/" + name + ".hlx").writeString(name, "url", url);
}

} // namespace

TEST(IndexNowBody, EscapesOnlyWhatJsonNeeds) {
    const QString odd =
        QStringLiteral("http://h/\"q\"\\x\b\f\n\r\t") + QChar(1) + QChar(0x1f) + " /é/€?a=1&b=<2>";
    EXPECT_EQ(
        lb::indexNowBody("h", kKey, QString(), {odd, "http://h/"}),
        QByteArray(
            "{\"host\":\"h\",\"key\":\"a1b2c3d4-e5f6\",\"urlList\":[\"http://h/\\\"q\\\"\\\\x"
            "\\b\\f\\n\\r\\t\\u0001\\u001f /\xc3\xa9/\xe2\x82\xac?a=1&b=<2>\",\"http://h/\"]}"));
    EXPECT_EQ(
        lb::indexNowBody("h", kKey, "http://h/k.txt", {"u"}),
        QByteArray("{\"host\":\"h\",\"key\":\"a1b2c3d4-e5f6\",\"keyLocation\":\"http://h/k.txt\","
                   "\"urlList\":[\"u\"]}"));
}

TEST(IndexNowKeys, LengthAndAlphabet) {
    EXPECT_FALSE(lb::isValidIndexNowKey("abcdefg"));
    EXPECT_TRUE(lb::isValidIndexNowKey("abcdefgh"));
    EXPECT_TRUE(lb::isValidIndexNowKey(QString(128, QLatin1Char('Z'))));
    EXPECT_FALSE(lb::isValidIndexNowKey(QString(129, QLatin1Char('Z'))));
    EXPECT_FALSE(lb::isValidIndexNowKey("abcd_efgh"));
    EXPECT_FALSE(lb::isValidIndexNowKey("abcdéfgh"));
}

TEST(IndexNowPlan, GroupsByHostInOrderAndChunksPerEndpoint) {
    QStringList urls{"HTTP://Example.COM:8080/a", "http://other.org/x",
                     "http://user:pw@example.com/b", "http://other.org/x"};
    const auto posts = lb::planIndexNowPosts({"E1", "E2"}, urls);
    ASSERT_EQ(posts.size(), 4);
    EXPECT_EQ(posts[0].endpoint, "E1");
    EXPECT_EQ(posts[0].host, "example.com");
    EXPECT_EQ(posts[0].urls, QStringList({urls[0], urls[2]}));
    EXPECT_EQ(posts[1].host, "other.org");
    EXPECT_EQ(posts[1].urls, QStringList({urls[1], urls[3]})); // duplicates kept
    EXPECT_EQ(posts[2].endpoint, "E2");

    QStringList many;
    for (int i = 0; i < 20001; ++i)
        many.append(QStringLiteral("http://h/%1").arg(i));
    const auto chunks = lb::planIndexNowPosts({"E"}, many);
    ASSERT_EQ(chunks.size(), 3);
    EXPECT_EQ(chunks[0].urls.size(), 10000);
    EXPECT_EQ(chunks[1].urls.first(), "http://h/10000");
    EXPECT_EQ(chunks[2].urls, QStringList{"http://h/20000"});
}

// linkbeacon-cli indexnow: one folder, the calls in order. err: the start
// of the one line on stderr ("" for none).
TEST(IndexNowCli, ArgumentsPrintedLinesAndExitCodes) {
    QTemporaryDir root;
    TargetSim sim({"--root", root.path()});
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    const QString e = sim.url("/indexnow");
    const QString busy = sim.url("/indexnow/busy");
    const QString u = "http://site.example/";
    const QString keyFile = dir.filePath("site/root/") + kKey + ".txt";
    const QString usage = "linkbeacon-cli";
    auto writeSessions = [&] {
        writeSession(dir.path(), "One", "http://a.example/1");
        writeSession(dir.path(), "Two", "http://b.example/2");
        writeSession(dir.path(), "Empty", QString());
        lb::IniFile ini(dir.filePath("zkt.ini"));
        ini.writeString("IndexNow", "Key", kKey);
        ini.writeString("IndexNow", "Endpoints", " ,  " + e + " , ");
    };
    const struct Row {
        QStringList args;
        int exitCode;
        QString out, err;
        std::function<void()> before = [] {};
    } rows[] = {
        // clang-format off
        // The key file holds the key: 200; another key: 403 with its line.
        {{"--key", kKey, "--endpoint", e, "--url", u}, 0, e + " site.example: 200 OK\n", "",
         [&] { writeFile(root.filePath(kKey + ".txt"), kKey.toUtf8()); }},
        {{"--key", kKey, "--key-location", "http://site.example/keys/k.txt", "--endpoint", e,
          "--url", u}, 1, e + " site.example: 403 Forbidden\nForbidden: key not valid\n", "",
         [&] { writeFile(root.filePath("keys/k.txt"), "somebody-elses-key"); }},
        // A busy endpoint and one closing without a status line (code 0, no
        // phrase): every post made, each reported.
        {{"--key", kKey, "--endpoint", busy, "--endpoint", sim.url("/close"), "--url", u}, 1,
         busy + " site.example: 429 Too Many Requests\nToo Many Requests\n" + sim.url("/close") +
         " site.example: 0\n", ""},
        {{"--endpoint", e, "--url", u}, 2, "", usage}, // no key
        {{"--key", "short", "--endpoint", e, "--url", u}, 2, "", usage},
        {{"--key", kKey, "--endpoint", e, "--url", "http:///x"}, 2, "", usage},
        {{"--key", kKey, "--write-key", dir.filePath("site/root")}, 0, keyFile + "\n", ""},
        // A file where the folder should be.
        {{"--key", kKey, "--write-key", dir.filePath("blocked")}, 1, "", "Unable to write to ",
         [&] { writeFile(dir.filePath("blocked"), "x"); }},
        // Sessions of the program folder and the settings of zkt.ini.
        {{"One", "Missing", "Empty", "Two", "One"}, 0,
         e + " a.example: 200 OK\n" + e + " b.example: 200 OK\n", "", writeSessions},
        // clang-format on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        row.before();
        const qsizetype posted = sim.requests().size();
        const auto r = lb::test::runCli(dir.path(), QStringList{"indexnow"} + row.args, {60000});
        const QString err = QString::fromUtf8(r.err);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(QString::fromUtf8(r.out), row.out);
        EXPECT_TRUE(row.err.isEmpty() ? err.isEmpty()
                                      : err.startsWith(row.err) && err.count('\n') == 1)
            << qPrintable(err);
        if (row.exitCode == 2)
            EXPECT_EQ(sim.requests().size(), posted);
    }
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 6);
    EXPECT_TRUE(
        log[4]["body"].toString().endsWith("[\"http://a.example/1\",\"http://a.example/1\"]}"));
    EXPECT_EQ(lb::test::readFile(keyFile), kKey.toUtf8());
}

// Behind a proxy every post goes to the proxy, naming the endpoint in full,
// with the proxy's credentials; the bytes of a post.
TEST(IndexNowSubmitter, BehindAProxyPostsGoThroughIt) {
    lb::test::RawServer proxy;
    proxy.addAnswer("HTTP/1.0 202 Accepted\r\n\r\n");
    lb::IndexNowSubmitter submitter;
    submitter.proxy.behindProxy = true;
    submitter.proxy.host = QStringLiteral("127.0.0.1");
    submitter.proxy.port = QString::number(proxy.port());
    submitter.proxy.userName = QStringLiteral("ann");
    submitter.proxy.password = QStringLiteral("pw");
    bool finished = false, accepted = false;
    QObject::connect(&submitter, &lb::IndexNowSubmitter::finished, [&](bool ok) {
        finished = true;
        accepted = ok;
    });
    submitter.start(
        lb::planIndexNowPosts({"http://search.invalid/indexnow"}, {"http://site.example/"}), kKey,
        QString());
    ASSERT_TRUE(lb::test::runUntil([&] { return finished; }));
    EXPECT_TRUE(accepted);
    const QByteArray request = proxy.request(0);
    EXPECT_TRUE(request.startsWith("POST http://search.invalid/indexnow HTTP/1.0\r\n"));
    EXPECT_TRUE(request.contains("\r\nContent-Type: application/json; charset=utf-8\r\n"));
    EXPECT_TRUE(
        request.contains("\r\nProxy-Authorization: Basic " + QByteArray("ann:pw").toBase64()));
    EXPECT_FALSE(request.contains("Referer"));
    EXPECT_TRUE(request.endsWith(
        "\r\n\r\n" + lb::indexNowBody("site.example", kKey, QString(), {"http://site.example/"})));
}

TEST(IndexNowSubmitter, AbortsAPostThatNeverEndsAndGoesOn) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    lb::IndexNowSubmitter submitter;
    submitter.postTimeoutSeconds = 1;
    QList<int> codes;
    bool finished = false, accepted = true;
    QObject::connect(
        &submitter, &lb::IndexNowSubmitter::posted,
        [&](const lb::IndexNowPost&, int code, const QString&) { codes.append(code); });
    QObject::connect(&submitter, &lb::IndexNowSubmitter::finished, [&](bool ok) {
        finished = true;
        accepted = ok;
    });
    submitter.start(
        lb::planIndexNowPosts({sim.url("/hang"), sim.url("/indexnow")}, {"http://site.example/"}),
        kKey, QString());
    ASSERT_TRUE(lb::test::runUntil([&] { return finished; }, 20000));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(codes, QList<int>({404, 202}));
}

using namespace lb;

namespace {

const QString kDemoKey = QStringLiteral("linkbeacon-demo-key");

class IndexNowWindowTest : public lb::test::MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        MainWindowTest::SetUp();
        pf.writeEngines("data/data.hlz", {lb::test::engineLine("Engine")});
        pf.writeBytes("data/session/session.hlx",
                      "[Session]\r\nCount=3\r\n[List]\r\n0=Shop\r\n1=Blog\r\n2=Bare\r\n");
        pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n");
        pf.writeBytes("data/session/Blog.hlx", "[Blog]\r\nurl=http://Blog.example.org/new\r\n");
        pf.writeBytes("data/session/Bare.hlx", "[Bare]\r\ntitle=no address\r\n");
        pf.writeBytes("zkt.ini",
                      ("[IndexNow]\r\nEndpoints=" + sim.url("/indexnow") + "\r\n").toUtf8());
        open();
    }
    TIndexNow* openDialog() {
        child<QPushButton>("SubIndexNow")->click();
        return child<TIndexNow>("IndexNow");
    }

    TargetSim sim;
};

} // namespace

TEST_F(IndexNowWindowTest, SubmitsTheSessionsToSubmitAndReportsEachPost) {
    using lb::test::named;
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(named<QLineEdit>(d, "IndexEndpoints")->text(), sim.url("/indexnow"));
    // Nothing to submit yet, then a bad key: each explained, nothing sent.
    const qsizetype before = dialogs.shown.size();
    named<QLineEdit>(d, "IndexKey")->setText(kDemoKey);
    named<QPushButton>(d, "IndexSubmit")->click();
    for (int row = 0; row < 3; ++row)
        lb::test::queueSession(*w, row);
    named<QLineEdit>(d, "IndexKey")->setText("short");
    named<QPushButton>(d, "IndexSubmit")->click();
    ASSERT_EQ(dialogs.shown.size(), before + 2);
    EXPECT_TRUE(dialogs.shown[before].text.contains("Sessions to submit"));
    EXPECT_EQ(dialogs.shown.last().caption, "IndexNow");
    EXPECT_TRUE(sim.requests().isEmpty());

    named<QLineEdit>(d, "IndexKey")->setText(kDemoKey);
    named<QPushButton>(d, "IndexSubmit")->click();
    auto* stop = named<QPushButton>(d, "IndexStop");
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_TRUE(lb::test::runUntil([&] { return !stop->isEnabled(); }));

    // One post per host; the session without an address is left out.
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1]["body"].toString().contains("\"host\":\"blog.example.org\""));
    const QString memo = child<QPlainTextEdit>("Memo3")->toPlainText();
    EXPECT_EQ(memo.count("IndexNow 127.0.0.1 Status: 202 Accepted"), 2) << qPrintable(memo);

    // The report names the sessions and the result of every post.
    const QString report = QString::fromUtf8(pf.readBytes("reports/IndexNow.htm"));
    EXPECT_TRUE(report.contains("Shop: </b>http://shop.example.com/"));
    EXPECT_FALSE(report.contains("Bare"));
    EXPECT_EQ(report.count(": IndexNow 127.0.0.1 Status: 202 Accepted"), 2) << qPrintable(report);
    EXPECT_EQ(lb::IniFile(pf.path("zkt.ini")).readString("IndexNow", "Key"), kDemoKey);
}
