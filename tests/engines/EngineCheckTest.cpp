// The engine health check against target-sim on 127.0.0.1: one engine per
// state, the form rule, the ignore list it fills and the reports it writes.
#include "engines/EngineCheck.h"
#include "common/ProxySettings.h"
#include "engines/EngineCheckFiles.h"
#include "support/LoopbackServer.h"
#include "support/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>

using namespace lb;
using lb::test::checkedEngine;
using lb::test::ProgramFolder;

namespace {

// Runs the check to its end (bounded).
bool runCheck(EngineCheck& check) {
    bool finished = false;
    QObject::connect(&check, &EngineCheck::finished, [&finished] { finished = true; });
    check.start();
    return lb::test::runUntil([&] { return finished; }, 60000);
}

const char* const kTwoForms =
    "<html><body>\n"
    "<form method=\"post\" action=\"/newsletter.cgi\"><input name=\"url\"></form>\n"
    "<form method=\"post\" action=\"add.cgi\">\n<input type=\"text\" name=\"url\">\n"
    "<input type=\"submit\" value=\"Add\"></form>\n</body></html>\n";
const char* const kMovedForm = "<html><body><form method=post action=/v2/add.cgi>"
                               "<input name=url></form></body></html>";

} // namespace

TEST(EngineCheckRule, AFormPostsToTheCgiUrlWhenSchemeHostPortAndPathAgree) {
    const QString page = QStringLiteral("http://example.com:81/dir/page.htm");
    struct Case {
        const char* action;
        const char* cgi;
        bool same;
    } cases[] = {
        {"add.cgi", "http://example.com:81/dir/add.cgi", true}, // against the page, port kept
        {"/add.cgi", "http://example.com:81/add.cgi", true},
        {"http://example.com:80/x.cgi", "http://example.com/x.cgi", true},
        {"http://EXAMPLE.com/x.cgi?a=1", "http://example.com/x.cgi?b=2", true},
        {"https://example.com:443/x.cgi", "https://example.com/x.cgi", true},
        {"http://example.com/x.cgi", "http://example.com:8080/x.cgi", false},
        {"https://example.com/x.cgi", "http://example.com/x.cgi", false},
        {"http://example.com/y.cgi", "http://example.com/x.cgi", false},
        {"http://example.com/X.cgi", "http://example.com/x.cgi", false},
        {"http://example.org/x.cgi", "http://example.com/x.cgi", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(actionPostsTo(QString::fromLatin1(c.action), page, QString::fromLatin1(c.cgi)),
                  c.same)
            << c.action << " / " << c.cgi;
}

TEST(EngineCheck, EachEngineGetsTheStateItsAnswersShow) {
    ProgramFolder pf;
    pf.writeBytes("pages/form.htm", kTwoForms);
    pf.writeBytes("pages/moved.htm", kMovedForm);
    lb::test::TargetSim sim({QStringLiteral("--root"), pf.path("pages")});
    ASSERT_TRUE(sim.ok());
    const auto at = [&sim](const QString& path) { return sim.url(path); };
    const lb::test::LoopbackPort refused(false);
    const QString cgi = at("/files/add.cgi?id=7");
    const QString elsewhere = QStringLiteral("http://localhost:%1/files/moved.htm").arg(sim.port());
    using S = EngineState;
    struct Case {
        QString name, site, cgi;
        EngineState state;
        QString detail;
    } cases[] = {
        {"Second form posts", at("/files/form.htm"), cgi, S::Alive, ""},
        {"Redesigned", at("/files/moved.htm"), cgi, S::Changed, ""},
        // Five redirects are followed, to a page without a form.
        {"Five hops", at("/redirect/5"), cgi, S::Changed, ""},
        {"Six hops", at("/redirect/6"), cgi, S::Error, "302 Found"},
        {"Moved", at("/redirect-to?url=" + QUrl::toPercentEncoding(elsewhere)), cgi, S::Moved,
         elsewhere},
        {"Moved to nowhere",
         at("/redirect-to?status=301&url=http%3A%2F%2Flapsed.invalid%2Fadd.htm"), cgi, S::Moved,
         "http://lapsed.invalid/add.htm"},
        {"Not found", at("/status/404/Not%20Found"), cgi, S::Gone, "404 Not Found"},
        {"Closed", at("/status/410/Gone"), cgi, S::Gone, "410 Gone"},
        {"Refusing", at("/status/400/Bad%20Request"), cgi, S::Error, "400 Bad Request"},
        {"Lapsed", "http://lapsed.invalid/links.htm", cgi, S::Dead,
         "can't resolve hostname to IP address"},
        {"Refused", QStringLiteral("http://127.0.0.1:%1/").arg(refused.port), cgi, S::Dead,
         "Connection refused (Error #10061)"},
        {"Silent", at("/hang"), cgi, S::Dead, "Request_Timeout"},
        {"Still sending", at("/stall?data=HTTP%2F1.0%20200%20OK%0D%0A%0D%0A%3Chtml%3E%3Cform"), cgi,
         S::Dead, "Request_Timeout"},
        // No Site_Url: the script's own answer, below 400 alive, not followed.
        {"Script thanks", "", at("/redirect-to?url=/status/404"), S::Alive, ""},
        {"Script refuses GET", "", at("/status/405/Method%20Not%20Allowed"), S::Error,
         "405 Method Not Allowed"},
        {"Script gone", "", at("/status/404/Not%20Found"), S::Gone, "404 Not Found"},
    };
    QList<EngineRecord> engines;
    for (const Case& c : cases)
        engines.append(checkedEngine(c.name, c.site, c.cgi));

    EngineCheck check;
    check.setEngines(engines);
    check.setSpeed(5);
    check.setTimeoutMs(2500);
    ASSERT_TRUE(runCheck(check));

    ASSERT_EQ(check.checkedCount(), int(std::size(cases)));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const EngineCheckResult& r = check.results().at(i);
        EXPECT_EQ(r.name, cases[i].name);
        EXPECT_EQ(engineStateName(r.state), engineStateName(cases[i].state))
            << r.name.toStdString();
        EXPECT_EQ(r.detail, cases[i].detail) << r.name.toStdString();
    }
    const auto counts = check.counts();
    EXPECT_EQ(counts, (std::array<int, kEngineStateCount>{2, 2, 2, 3, 3, 4}));

    // Only GETs; a script without a page is asked with its query as stored.
    QStringList targets;
    for (const QJsonObject& r : sim.requests()) {
        EXPECT_EQ(r.value("method").toString(), "GET");
        targets << r.value("target").toString();
    }
    EXPECT_TRUE(targets.contains("/redirect-to?url=/status/404"));
    EXPECT_FALSE(targets.contains("/status/404")); // the script's redirect is not followed
    EXPECT_EQ(targets.count("/redirect/0"), 1);    // the sixth hop of the chain of five
    EXPECT_FALSE(targets.contains("/newsletter.cgi"));
}

// Behind a proxy every request goes to it, in absolute form, with the proxy's login.
TEST(EngineCheckProxy, RequestsGoThroughTheProxy) {
    lb::test::RawServer proxy;
    proxy.addAnswer(
        "HTTP/1.0 200 OK\r\n\r\n<form method=post action=add.cgi><input name=url> </form>");
    ProxySettings settings;
    settings.behindProxy = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = QString::number(proxy.port());
    settings.userName = QStringLiteral("user");
    settings.password = QStringLiteral("pass");
    EngineCheck check;
    check.setEngines({checkedEngine("Proxied", "http://site.invalid/files/links.htm",
                                    "http://site.invalid/files/add.cgi")});
    check.setProxy(settings);
    ASSERT_TRUE(runCheck(check));
    EXPECT_EQ(engineStateName(check.results().at(0).state), engineStateName(EngineState::Alive));
    const QByteArray request = proxy.request(0);
    EXPECT_TRUE(request.startsWith("GET http://site.invalid/files/links.htm HTTP/1."))
        << request.constData();
    EXPECT_TRUE(request.contains("\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\n"));
}

TEST(EngineCheckFiles, GoneAndDeadEnginesGoOnTheIgnoreListOnceAndAreStillChecked) {
    const QList<EngineCheckResult> results = {
        {"Alive Links", EngineState::Alive, 200, ""},
        {"Lapsed Links", EngineState::Dead, 0, "Request_Timeout"},
        {"Closed Links", EngineState::Gone, 404, "404 Not Found"},
        {"Private Links", EngineState::Error, 403, "403 Forbidden"},
        {"Moved Links", EngineState::Moved, 301, "http://elsewhere/"},
    };
    const QStringList names = goneAndDeadNames(results);
    EXPECT_EQ(names, (QStringList{"Lapsed Links", "Closed Links"}));

    // An earlier entry, its last line without a line end, matched ignoring case.
    ProgramFolder pf;
    const QString exclude = pf.path("data/exclude.tmp");
    pf.writeBytes("data/exclude.tmp", "Older Links\r\nclosed links");
    EXPECT_EQ(addToIgnoreList(exclude, names), 1);
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), "Older Links\r\nclosed links\r\nLapsed Links\r\n");
    EXPECT_EQ(addToIgnoreList(exclude, names), 0);
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), "Older Links\r\nclosed links\r\nLapsed Links\r\n");
    // A list that does not exist yet is made.
    pf.remove("data/exclude.tmp");
    EXPECT_EQ(addToIgnoreList(exclude, names), 2);
    EXPECT_EQ(pf.readBytes("data/exclude.tmp"), "Lapsed Links\r\nClosed Links\r\n");

    // The check reads the database itself: ignored engines are checked again, a line
    // in both databases of "all" once.
    pf.writeEngines("data/engines.hlz", {"Closed Links=a|", "Both=b|"});
    pf.writeEngines("data/data.hlz", {"BOTH=B|", "Lapsed Links=c|"});
    const QList<EngineRecord> all = readCheckDatabase(pf.dir.path(), "all");
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all.at(0).name, "Closed Links");
    EXPECT_EQ(all.at(1).name, "Both");
    EXPECT_EQ(readCheckDatabase(pf.dir.path(), "engines").size(), 2);
}

TEST(EngineCheckReport, RowsKeepNamesWholeAndTheHtmlEscapesThem) {
    const QList<EngineCheckResult> results = {
        {QStringLiteral("Smith, \"Jr\" <Links>"), EngineState::Gone, 404,
         QStringLiteral("404 Not Found")},
        {QStringLiteral("Plain"), EngineState::Dead, 0, QStringLiteral("Request_Timeout")},
    };
    EXPECT_EQ(checkCsv(results), "\xEF\xBB\xBF"
                                 "Engine,State,Status,Detail\r\n"
                                 "\"Smith, \"\"Jr\"\" <Links>\",gone,404,404 Not Found\r\n"
                                 "Plain,dead,,Request_Timeout\r\n");
    const QByteArray html = checkHtml(QStringLiteral("data"), results);
    EXPECT_TRUE(html.contains("<td>Smith, &quot;Jr&quot; &lt;Links&gt;</td><td>gone</td>"));
    EXPECT_FALSE(html.contains("<Links>"));
    EXPECT_EQ(checkHtmlPath("/pf", checkDatabaseName("/pf/data/custom/old.CHC")),
              "/pf/reports/engines-old.htm");
}
