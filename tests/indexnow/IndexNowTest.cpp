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
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

using lb::test::TargetSim;
using lb::test::writeFile;

namespace {

const QString kKey = QStringLiteral("a1b2c3d4-e5f6");

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

CliRun indexnow(const QString& dir, const QStringList& args) {
    const auto r = lb::test::runCli(dir, QStringList{"indexnow"} + args, {60000});
    return {r.exitCode, QString::fromUtf8(r.out), QString::fromUtf8(r.err)};
}

void writeSession(const QString& dir, const QString& name, const QString& url) {
    QDir().mkpath(dir + "/data/session");
    lb::IniFile(dir + "/data/session/" + name + ".hlx").writeString(name, "url", url);
}

} // namespace

TEST(IndexNowBody, EscapesOnlyWhatJsonNeeds) {
    const QString odd =
        QStringLiteral("http://h/\"q\"\\x\b\f\n\r\t") + QChar(1) + QChar(0x1f) + "/é/€?a=1&b=<2>";
    EXPECT_EQ(
        lb::indexNowBody("h", kKey, QString(), {odd, "http://h/"}),
        QByteArray(
            "{\"host\":\"h\",\"key\":\"a1b2c3d4-e5f6\",\"urlList\":[\"http://h/\\\"q\\\"\\\\x"
            "\\b\\f\\n\\r\\t\\u0001\\u001f/\xc3\xa9/\xe2\x82\xac?a=1&b=<2>\",\"http://h/\"]}"));
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
    EXPECT_EQ(posts[3].urls, posts[1].urls);

    QStringList many;
    for (int i = 0; i < 20001; ++i)
        many.append(QStringLiteral("http://h/%1").arg(i));
    const auto chunks = lb::planIndexNowPosts({"E"}, many);
    ASSERT_EQ(chunks.size(), 3);
    EXPECT_EQ(chunks[0].urls.size(), 10000);
    EXPECT_EQ(chunks[1].urls.first(), "http://h/10000");
    EXPECT_EQ(chunks[2].urls, QStringList{"http://h/20000"});
}

TEST(IndexNowCli, AnswersOfTheEndpointAndTheBytesSent) {
    QTemporaryDir root;
    TargetSim sim({"--root", root.path()});
    ASSERT_TRUE(sim.ok());
    const QString endpoint = sim.url("/indexnow");
    QTemporaryDir dir;

    // No key file on the host yet: accepted, validation pending.
    CliRun r = indexnow(dir.path(), {"--key", kKey, "--endpoint", endpoint, "--url",
                                     "http://Site.example/a b", "--url", "http://site.example/é"});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, endpoint + " site.example: 202 Accepted\n");
    auto log = sim.requests();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0]["method"].toString(), "POST");
    EXPECT_EQ(log[0]["version"].toString(), "HTTP/1.0");
    // target-sim logs non-ASCII bytes as \u00XX, so é arrives as its two UTF-8 bytes.
    EXPECT_EQ(
        log[0]["body"].toString(),
        QStringLiteral("{\"host\":\"site.example\",\"key\":\"a1b2c3d4-e5f6\",\"urlList\":"
                       "[\"http://Site.example/a b\",\"http://site.example/\u00c3\u00a9\"]}"));
    bool contentType = false, referer = false;
    for (const auto& h : log[0]["headers"].toArray()) {
        const QString name = h.toArray().at(0).toString();
        if (name.compare("Content-Type", Qt::CaseInsensitive) == 0)
            contentType = h.toArray().at(1).toString() == "application/json; charset=utf-8";
        referer |= name.compare("Referer", Qt::CaseInsensitive) == 0;
    }
    EXPECT_TRUE(contentType);
    EXPECT_FALSE(referer);

    // The key file holds the key: 200; another key: 403 with its line.
    writeFile(root.filePath(kKey + ".txt"), kKey.toUtf8());
    r = indexnow(dir.path(),
                 {"--key", kKey, "--endpoint", endpoint, "--url", "http://site.example/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, endpoint + " site.example: 200 OK\n");
    writeFile(root.filePath("keys/k.txt"), QByteArray("somebody-elses-key"));
    r = indexnow(dir.path(), {"--key", kKey, "--key-location", "http://site.example/keys/k.txt",
                              "--endpoint", endpoint, "--url", "http://site.example/"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, endpoint + QStringLiteral(
                                    " site.example: 403 Forbidden\nForbidden: key not valid\n"));

    // A key location on another host, a busy endpoint and one that does not
    // answer: every post is made, each reported, exit 1.
    const QString busy = sim.url("/indexnow/busy");
    r = indexnow(dir.path(), {"--key", kKey, "--key-location", "http://elsewhere.example/k.txt",
                              "--endpoint", endpoint, "--endpoint", busy, "--endpoint",
                              sim.url("/close"), "--url", "http://site.example/"});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 6) << qPrintable(r.out);
    EXPECT_EQ(lines[0], endpoint + " site.example: 422 Unprocessable Entity");
    EXPECT_EQ(lines[1], "Unprocessable Entity: URLs do not belong to the host");
    EXPECT_EQ(lines[2], busy + " site.example: 429 Too Many Requests");
    EXPECT_EQ(lines[3], "Too Many Requests");
    // Closed without a status line: the client's code stays 0 and has no phrase.
    EXPECT_EQ(lines[4], sim.url("/close") + " site.example: 0");
}

TEST(IndexNowCli, SessionsAndSettingsOfTheProgramFolder) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    writeSession(dir.path(), "One", "http://a.example/1");
    writeSession(dir.path(), "Two", "http://b.example/2");
    writeSession(dir.path(), "Empty", QString());
    lb::IniFile ini(dir.path() + "/zkt.ini");
    ini.writeString("IndexNow", "Key", kKey);
    ini.writeString("IndexNow", "Endpoints", " ,  " + sim.url("/indexnow") + " , ");

    const CliRun r = indexnow(dir.path(), {"One", "Missing", "Empty", "Two", "One"});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const QString e = sim.url("/indexnow");
    EXPECT_EQ(r.out, e + " a.example: 202 Accepted\n" + e + " b.example: 202 Accepted\n");
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(
        log[0]["body"].toString().endsWith("[\"http://a.example/1\",\"http://a.example/1\"]}"));
}

TEST(IndexNowCli, BadArgumentsPostNothing) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    const QString e = sim.url("/indexnow");
    const QString u = "http://site.example/";
    const QList<QStringList> bad{
        {"--endpoint", e, "--url", u}, // no key
        {"--key", "short", "--endpoint", e, "--url", u},
        {"--key", kKey, "--endpoint", e}, // no URL
        {"--key", kKey, "--endpoint", e, "--url", u, "S"},
        {"--key", kKey, "--endpoint", e, "--url", "http:///x"},
        {"--key", kKey, "--bogus", "--url", u},
        {"--key", kKey, "--url"},
        {"--key", kKey, "--write-key", dir.path(), "--url", u},
    };
    for (const QStringList& args : bad) {
        const CliRun r = indexnow(dir.path(), args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count('\n'), 1) << qPrintable(r.err);
    }
    EXPECT_TRUE(sim.requests().isEmpty());
}

TEST(IndexNowCli, WriteKeyFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath("site/root");
    CliRun r = indexnow(dir.path(), {"--key", kKey, "--write-key", target});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const QString path = target + '/' + kKey + ".txt";
    EXPECT_EQ(r.out, path + '\n');
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), kKey.toUtf8());

    // A file where the folder should be: the file error, exit 1.
    writeFile(dir.filePath("blocked"), "x");
    r = indexnow(dir.path(), {"--key", kKey, "--write-key", dir.filePath("blocked")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("Unable to write to ")) << qPrintable(r.err);
}

// Behind a proxy every post goes to the proxy, naming the endpoint in full.
TEST(IndexNowSubmitter, BehindAProxyPostsGoThroughIt) {
    lb::test::RawServer proxy;
    proxy.addAnswer("HTTP/1.0 202 Accepted\r\n\r\n");
    lb::IndexNowSubmitter submitter;
    submitter.proxy.behindProxy = true;
    submitter.proxy.host = QStringLiteral("127.0.0.1");
    submitter.proxy.port = QString::number(proxy.port());
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
    EXPECT_TRUE(proxy.request(0).startsWith("POST http://search.invalid/indexnow HTTP/1.0\r\n"));
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
    QEventLoop loop;
    QObject::connect(&submitter, &lb::IndexNowSubmitter::finished, [&](bool ok) {
        finished = true;
        accepted = ok;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    submitter.start(
        lb::planIndexNowPosts({sim.url("/hang"), sim.url("/indexnow")}, {"http://site.example/"}),
        kKey, QString());
    loop.exec();
    ASSERT_TRUE(finished);
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
    template <class T> T* child(QObject* in, const char* name) {
        return lb::test::named<T>(in, name);
    }
    TIndexNow* openDialog() {
        child<QPushButton>(w.get(), "SubIndexNow")->click();
        return child<TIndexNow>(w.get(), "IndexNow");
    }

    TargetSim sim;
};

} // namespace

TEST_F(IndexNowWindowTest, SubmitsTheSessionsToSubmitAndReportsEachPost) {
    for (int row = 0; row < 3; ++row)
        lb::test::queueSession(*w, row);
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->windowTitle(), "IndexNow");
    EXPECT_EQ(child<QLineEdit>(d, "IndexEndpoints")->text(), sim.url("/indexnow"));

    // A bad key is refused before anything is sent.
    ASSERT_EQ(w->subList().count(), 3);
    const qsizetype before = dialogs.shown.size();
    child<QLineEdit>(d, "IndexKey")->setText("short");
    child<QPushButton>(d, "IndexSubmit")->click();
    ASSERT_EQ(dialogs.shown.size(), before + 1);
    EXPECT_EQ(dialogs.shown.last().caption, "IndexNow");
    EXPECT_TRUE(sim.requests().isEmpty());

    child<QLineEdit>(d, "IndexKey")->setText(kDemoKey);
    child<QPushButton>(d, "IndexSubmit")->click();
    auto* stop = child<QPushButton>(d, "IndexStop");
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_TRUE(lb::test::runUntil([&] { return !stop->isEnabled(); }));

    // One post per host; the session without an address is left out.
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(
        log[0][QStringLiteral("body")].toString().contains("\"host\":\"shop.example.com\""));
    EXPECT_TRUE(
        log[1][QStringLiteral("body")].toString().contains("\"host\":\"blog.example.org\""));
    const QString memo = child<QPlainTextEdit>(w.get(), "Memo3")->toPlainText();
    EXPECT_EQ(memo.count("IndexNow 127.0.0.1 Status: 202 Accepted"), 2) << qPrintable(memo);
    EXPECT_EQ(child<QPlainTextEdit>(d, "IndexMemo")->toPlainText().count("Status: 202 Accepted"),
              2);

    // The report names the sessions and the result of every post.
    const QString report = QString::fromUtf8(pf.readBytes("reports/IndexNow.htm"));
    EXPECT_TRUE(report.contains("Shop: </b>http://shop.example.com/"));
    EXPECT_FALSE(report.contains("Bare"));
    EXPECT_EQ(report.count(": IndexNow 127.0.0.1 Status: 202 Accepted"), 2) << qPrintable(report);

    // The settings stay for the next start.
    lb::IniFile ini(pf.path("zkt.ini"));
    EXPECT_EQ(ini.readString("IndexNow", "Key"), kDemoKey);
}

TEST_F(IndexNowWindowTest, NothingToSubmitIsExplained) {
    TIndexNow* d = openDialog();
    ASSERT_NE(d, nullptr);
    child<QLineEdit>(d, "IndexKey")->setText(kDemoKey);
    const qsizetype before = dialogs.shown.size();
    child<QPushButton>(d, "IndexSubmit")->click();
    ASSERT_EQ(dialogs.shown.size(), before + 1);
    EXPECT_TRUE(dialogs.shown.last().text.contains("Sessions to submit"));
    EXPECT_TRUE(child<QPushButton>(d, "IndexSubmit")->isEnabled());
    EXPECT_TRUE(sim.requests().isEmpty());
}
