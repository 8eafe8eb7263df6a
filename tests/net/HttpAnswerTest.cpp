// Parsing answers, redirections, failures and aborts, against target-sim and
// scripted servers on 127.0.0.1.
#include "HttpTestUtil.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QPointer>

using namespace lb::net;
using lb::test::EventLog;
using lb::test::Fetch;
using lb::test::LoopbackPort;
using lb::test::RawServer;
using lb::test::runUntil;
using lb::test::TargetSim;
using Step = RawServer::Step;

class HttpAnswer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = new TargetSim; }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sim->ok()) << "target-sim did not start"; }
    static TargetSim* sim;
};
TargetSim* HttpAnswer::sim = nullptr;

TEST_F(HttpAnswer, EventOrderOfOneGet) {
    RawServer server;
    server.addAnswer("HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\n\r\nbody");
    Fetch f(server.url("/x"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.log.compact().join('|').toStdString(),
              "StateChange:1|StateChange:3|StateChange:4|StateChange:2|SessionConnected|"
              "StateChange:5|RequestHeaderBegin|Command:GET /x HTTP/1.0|"
              "Command:Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*|"
              "Command:User-Agent: Mozilla/3.0 (compatible)|Command:Host: 127.0.0.1|"
              "RequestHeaderEnd|Command:|HeaderBegin|HeaderData:HTTP/1.0 200 OK|Cookie:a=1|"
              "HeaderData:Set-Cookie: a=1|StateChange:6|HeaderEnd|DocBegin|DocData|DocEnd|"
              "StateChange:0|RequestDone:0");
    EXPECT_EQ(f.log.body, "body");
}

namespace {

// The fetch's summary with its Content-Length and Content-Type.
std::string shape(const Fetch& f) {
    return f.summary() +
           QStringLiteral("|%1|%2").arg(f.c.ContentLength()).arg(f.c.ContentType()).toStdString();
}

RawServer::Script answer(const QByteArray& bytes) {
    return {{Step::Send, bytes, 0}};
}

} // namespace

// Status lines themselves are read by parseStatusLine (HttpParseTest); here
// the answer as a whole, as the client hands it on.
TEST_F(HttpAnswer, AnswerShapesAndHowFarTheyGet) {
    const QByteArray longLine = "HTTP/1.0 200 OK\r\nX-Long: ";
    struct Row {
        const char* name;
        RawServer::Script script;
        QString want;
    };
    const Row rows[] = {
        {"no body: no document events", answer("HTTP/1.0 200\r\n\r\n"), "200 |error 0|header||-1|"},
        {"header names in any case, type lower-cased",
         answer("HTTP/1.0 200 OK\r\nCONTENT-length: 4 \r\ncontent-TYPE: Text/HTML\r\n"
                "Accept-RANGES: bytes\r\nContent-Typ\xc9: x\r\n\r\nbody"),
         "200 OK|error 0|doc|body|4|text/html"},
        {"Latin-1 type",
         answer("HTTP/1.0 200 OK\r\nContent-Type: TEXT/HTML; NAME=\xc9T\xc9\r\n\r\nb"),
         "200 OK|error 0|doc|b|-1|text/html; name=\u00e9t\u00e9"},
        {"a length that is none", answer("HTTP/1.0 200 OK\r\nContent-Length: lots\r\n\r\nbody"),
         "200 OK|error 0|doc|body|-1|"},
        {"status 399 has its body", answer("HTTP/1.0 399 Odd\r\n\r\nbody"),
         "399 Odd|error 0|doc|body|-1|"},
        {"status 400 closes at once", answer("HTTP/1.0 400 Bad\r\n\r\nbody"),
         "400 Bad|error 0|header|body|-1|"},
        {"no status number", answer("HTTP/1.0 abc Broken\r\n\r\n<html>bad</html>"),
         "404 Invalid status line|error 0|header|<html>bad</html>|-1|"},
        {"no header at all: everything is body", answer("<html><body>x</body></html>\r\n"),
         "0 |error 0|doc|<html><body>x</body></html>\r\n|-1|text/html"},
        {"a header line that just fits the buffer",
         answer(longLine + QByteArray(8182, 'x') + "\r\n\r\nbody"), "200 OK|error 0|doc|body|-1|"},
        {"one byte more: the status stays, the rest is cut",
         answer(longLine + QByteArray(8183, 'x') + "\r\n\r\nbody"), "200 OK|error 0|cut||-1|"},
        {"a line too long before any status", answer(QByteArray(9000, 'x')), "0 |error 0|cut||-1|"},
        {"closed within the header",
         answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nX-Unfinis"),
         "200 OK|error 0|cut||-1|text/html"},
        {"closed at once", {}, "0 |error 0|cut||-1|"},
        {"reset by the peer mid-body",
         {{Step::Send, "HTTP/1.0 200 OK\r\n\r\npart of the body", 0},
          {Step::Pause, {}, 300},
          {Step::Reset, {}, 0}},
         "200 OK|error 0|doc|part of the body|-1|"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RawServer server;
        server.addScript(row.script);
        Fetch f(server.url("/x"));
        ASSERT_TRUE(f.run());
        EXPECT_EQ(shape(f), row.want.toStdString());
        EXPECT_EQ(f.log.done, 1);
        EXPECT_LE(f.log.events.count("DocEnd"), 1);
    }
    // Line ends: LF alone ends a line, a CR inside one is kept.
    RawServer server;
    server.addAnswer("HTTP/1.0 200 OK\nX-A: 1\r\nX-B: a\rb\nContent-Length: 4\n\nbody");
    Fetch f(server.url("/x"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.ResponseHeader(),
              QStringList({"HTTP/1.0 200 OK", "X-A: 1", "X-B: a\rb", "Content-Length: 4"}));
    EXPECT_EQ(f.log.body, "body");
}

TEST_F(HttpAnswer, SynchronousGetRaisesFromStatus400On) {
    struct Row {
        const char* path;
        int raised; // the error code of the exception, 0 for none
        QString message;
        QByteArray body;
    };
    const Row rows[] = {
        {"/status/400/Bad%20Request", 400, "Bad Request", ""},
        {"/status/500/Internal%20Server%20Error", 500, "Internal Server Error", ""},
        {"/status/399/Odd", 0, "", ""},
        {"/bytes/10", 0, "", "abcdefghij"},
        {"/long-header", 0, "", ""}, // cut in the header, but no status of 400 or more
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        THttpCli c;
        EventLog log;
        log.attach(&c);
        c.URL = sim->url(row.path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        c.ReceiveStream = &out;
        int raised = 0;
        QString message;
        try {
            c.Get();
        } catch (const EHttpException& e) {
            raised = e.ErrorCode;
            message = e.message();
        }
        EXPECT_EQ(raised, row.raised);
        EXPECT_EQ(message, row.message);
        if (!row.body.isEmpty())
            EXPECT_EQ(out.data(), row.body);
        EXPECT_EQ(log.done, 1);
        EXPECT_EQ(c.State(), hsReady);
    }
}

// Where each Location leads is followLocation's table (HttpParseTest); here
// the client following it on the wire, through a proxy and to the limit.
TEST_F(HttpAnswer, RedirectionThroughProxy) {
    RawServer proxy;
    proxy.addAnswer("HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n");
    proxy.addAnswer("HTTP/1.0 302 Found\r\nLocation: http://other.example/c\r\n\r\n");
    proxy.addAnswer("HTTP/1.0 200 OK\r\n\r\nvia proxy");
    Fetch f("http://site.example:8080/a");
    f.c.Proxy = QStringLiteral("127.0.0.1:%1").arg(proxy.port());
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(proxy.request(0).startsWith("GET http://site.example:8080/a HTTP/1.0\r\n"));
    EXPECT_TRUE(proxy.request(1).startsWith("GET http://site.example:8080/b HTTP/1.0\r\n"));
    EXPECT_TRUE(proxy.request(1).contains("\r\nHost: site.example\r\n"));
    EXPECT_TRUE(proxy.request(2).startsWith("GET http://other.example/c HTTP/1.0\r\n"));
    EXPECT_TRUE(proxy.request(2).contains("\r\nHost: other.example\r\n"));
    EXPECT_EQ(f.log.body, "via proxy");
}

TEST_F(HttpAnswer, TwentyRedirectionsAreFollowedAndTheTwentyFirstIsNot) {
    Fetch chain(sim->url(QStringLiteral("/redirect/%1").arg(THttpCli::kMaxRedirections)));
    ASSERT_TRUE(chain.run());
    EXPECT_EQ(chain.c.StatusCode(), 200);
    EXPECT_EQ(chain.log.events.filter("LocationChange:").size(), THttpCli::kMaxRedirections);
    EXPECT_EQ(chain.c.Location(), "http://127.0.0.1/redirect/0");

    const int before = sim->requests().size();
    Fetch loop(sim->url("/loop"));
    ASSERT_TRUE(loop.run());
    EXPECT_EQ(loop.c.StatusCode(), 404);
    EXPECT_EQ(loop.c.ReasonPhrase(), "Too many redirections");
    EXPECT_EQ(loop.log.done, 1);
    EXPECT_EQ(sim->requests().size() - before, 1 + THttpCli::kMaxRedirections);
    EXPECT_EQ(loop.c.State(), hsReady);
}

TEST_F(HttpAnswer, UnusablePortGivesARealErrorAndTheNextRequestStartsClean) {
    // A refused connection leaves an error number on the socket...
    const LoopbackPort refusing(false);
    Fetch f(QStringLiteral("http://127.0.0.1:%1/").arg(refusing.port));
    THttpCli& c = f.c;
    EventLog& log = f.log;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(c.StatusCode(), 404);
    EXPECT_TRUE(c.ReasonPhrase().endsWith("Connection refused (Error #10061)"))
        << qPrintable(c.ReasonPhrase());
    EXPECT_EQ(log.doneError, 10061);
    EXPECT_EQ(log.done, 1);

    // ...which neither a bad port nor a good request may inherit.
    for (const char* port : {"99999", "abc"}) {
        SCOPED_TRACE(port);
        log.done = 0;
        c.URL = QStringLiteral("http://127.0.0.1:%1/").arg(QLatin1String(port));
        c.GetAsync();
        ASSERT_TRUE(log.waitDone());
        EXPECT_EQ(log.doneError, 10022);
        EXPECT_EQ(c.StatusCode(), 404);
        EXPECT_EQ(c.ReasonPhrase(), "can't connect: Invalid argument (Error #10022)");
    }
    log.done = 0;
    c.URL = sim->url("/bytes/3");
    c.GetAsync();
    ASSERT_TRUE(log.waitDone());
    EXPECT_EQ(log.doneError, 0);
    EXPECT_EQ(c.CtrlSocket()->LastError(), 0);
}

TEST_F(HttpAnswer, LookupFailure) {
    Fetch f("http://no-such-target.invalid/");
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 404);
    EXPECT_EQ(f.c.ReasonPhrase(), "can't resolve hostname to IP address");
    EXPECT_EQ(f.log.doneError, 11001);

    Fetch empty("/only/a/path");
    ASSERT_TRUE(empty.run());
    EXPECT_EQ(empty.c.ReasonPhrase(), "can't resolve hostname to IP address");
}

// An abort before any answer, while the name is looked up or the connection
// made; aborts from the events of an answer: AbortFromEvent.
TEST_F(HttpAnswer, AbortBeforeTheConnection) {
    for (const THttpState state : {hsDnsLookup, hsDnsLookupDone}) {
        SCOPED_TRACE(int(state));
        Fetch f(state == hsDnsLookup ? QStringLiteral("http://localhost:%1/").arg(sim->port())
                                     : sim->url("/"));
        f.c.GetAsync();
        ASSERT_EQ(f.c.State(), state);
        f.c.Abort();
        ASSERT_TRUE(f.log.waitDone());
        runUntil([] { return false; }, 100);
        EXPECT_EQ(f.log.done, 1);
        EXPECT_EQ(f.log.doneError, 3);
        EXPECT_EQ(f.c.ReasonPhrase(), "Connection aborted on request");
        EXPECT_EQ(f.c.State(), hsReady);
        EXPECT_FALSE(f.log.events.contains("SessionConnected"));
    }
}

TEST_F(HttpAnswer, NextRequestFromRequestDoneButNotFromDocEnd) {
    Fetch f(sim->url("/bytes/5"));
    QString busy;
    int done = 0;
    f.c.OnDocEnd = [&](THttpCli* c) {
        try {
            c->GetAsync();
        } catch (const EHttpException& e) {
            busy = e.message();
        }
    };
    f.c.OnRequestDone = [&](THttpCli* c, THttpRequest, quint16) {
        if (++done == 1) {
            c->URL = sim->url("/bytes/3");
            c->GetAsync();
        }
    };
    f.c.GetAsync();
    ASSERT_TRUE(runUntil([&] { return done == 2; }));
    EXPECT_EQ(busy, "HTTP component is busy");
    EXPECT_EQ(f.c.ReceivedCount(), 3);
}

// Each client of many in flight ends once with its own answer and can go
// from its request-done handler.
TEST_F(HttpAnswer, ThreeHundredClientsInFlight) {
    const int count = 300;
    std::vector<QString> results(count); // "status phrase;" for each request-done
    QList<QPointer<TSTHttpCli>> clients;
    int finished = 0;
    for (int i = 0; i < count; ++i) {
        auto* c = new TSTHttpCli;
        c->Tag = i;
        c->Reference = "http://site.example/";
        const char* paths[] = {"/status/200/OK?n=%1", "/status/404/Not%20Found?n=%1", "/bytes/%1"};
        c->URL = sim->url(QString::fromLatin1(paths[i % 3]).arg(i));
        c->OnRequestDone = [&](THttpCli* s, THttpRequest, quint16) {
            results[size_t(s->Tag)] +=
                QStringLiteral("%1 %2;").arg(s->StatusCode()).arg(s->ReasonPhrase());
            ++finished;
            s->deleteLater();
        };
        clients << c;
        c->GetAsync();
    }
    ASSERT_TRUE(runUntil([&] { return finished >= count; }, 60000));
    runUntil([] { return false; }, 100);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(results[size_t(i)], i % 3 == 1 ? "404 Not Found;" : "200 OK;") << i;
    for (const auto& c : clients)
        EXPECT_TRUE(c.isNull()) << "client not freed";
}
