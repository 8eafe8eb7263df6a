// Parsing answers, redirections, failures and aborts, against target-sim and
// scripted servers on 127.0.0.1.
#include "HttpTestUtil.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>

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
    void SetUp() override { ASSERT_TRUE(sim->ok()) << "target-sim did not start"; }
    TargetSim* sim = &lb::test::sharedTargetSim();
};

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

// Status lines and Content-Length themselves are read by parseStatusLine and
// parseContentLength (HttpParseTest); here the answer as a whole, as the
// client hands it on: status, request-done error, how far it got, body,
// length and type.
TEST_F(HttpAnswer, AnswerShapesAndHowFarTheyGet) {
    const QByteArray longLine = "HTTP/1.0 200 OK\r\nX-Long: ";
    const auto send = [](const QByteArray& bytes) {
        return RawServer::Script{{Step::Send, bytes, 0}};
    };
    struct Row {
        const char* name;
        RawServer::Script script;
        QString want;
    };
    const Row rows[] = {
        {"no body: no document events", send("HTTP/1.0 200\r\n\r\n"), "200 |error 0|header||-1|"},
        {"header names in any case, type lower-cased",
         send("HTTP/1.0 200 OK\r\nCONTENT-length: 4 \r\ncontent-TYPE: Text/HTML\r\n"
              "Accept-RANGES: bytes\r\nContent-Typ\xc9: x\r\n\r\nbody"),
         "200 OK|error 0|doc|body|4|text/html"},
        {"Latin-1 type",
         send("HTTP/1.0 200 OK\r\nContent-Type: TEXT/HTML; NAME=\xc9T\xc9\r\n\r\nb"),
         "200 OK|error 0|doc|b|-1|text/html; name=\u00e9t\u00e9"},
        {"status 399 has its body", send("HTTP/1.0 399 Odd\r\n\r\nbody"),
         "399 Odd|error 0|doc|body|-1|"},
        {"status 400 closes at once", send("HTTP/1.0 400 Bad\r\n\r\nbody"),
         "400 Bad|error 0|header|body|-1|"},
        {"no header at all: everything is body", send("<html><body>x</body></html>\r\n"),
         "0 |error 0|doc|<html><body>x</body></html>\r\n|-1|text/html"},
        {"a header line that just fits the buffer",
         send(longLine + QByteArray(8182, 'x') + "\r\n\r\nbody"), "200 OK|error 0|doc|body|-1|"},
        {"one byte more: the status stays, the rest is cut",
         send(longLine + QByteArray(8183, 'x') + "\r\n\r\nbody"), "200 OK|error 0|cut||-1|"},
        {"a line too long before any status", send(QByteArray(9000, 'x')), "0 |error 0|cut||-1|"},
        {"closed within the header",
         send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nX-Unfinis"),
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
        EXPECT_EQ(f.summary() + QStringLiteral("|%1|%2")
                                    .arg(f.c.ContentLength())
                                    .arg(f.c.ContentType())
                                    .toStdString(),
                  row.want.toStdString());
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
    // The path, and the exception's error code and message ("" for none).
    const std::pair<const char*, QString> rows[] = {
        {"/status/400/Bad%20Request", "400 Bad Request"},
        {"/status/399/Odd", ""},
        {"/long-header", ""}, // cut in the header, but no status of 400 or more
    };
    for (const auto& [path, raised] : rows) {
        SCOPED_TRACE(path);
        Fetch f(sim->url(path));
        QString got;
        try {
            f.c.Get();
        } catch (const EHttpException& e) {
            got = QStringLiteral("%1 %2").arg(e.ErrorCode).arg(e.message());
        }
        EXPECT_EQ(got, raised);
        EXPECT_EQ(f.log.done, 1);
        EXPECT_EQ(f.c.State(), hsReady);
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
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 404);
    EXPECT_TRUE(f.c.ReasonPhrase().endsWith("Connection refused (Error #10061)"))
        << qPrintable(f.c.ReasonPhrase());
    EXPECT_EQ(f.log.doneError, 10061);
    EXPECT_EQ(f.log.done, 1);

    // ...which neither a bad port nor a good request may inherit.
    const auto again = [&f](const QString& url) {
        f.log.done = 0;
        f.c.URL = url;
        return f.run();
    };
    ASSERT_TRUE(again("http://127.0.0.1:99999/"));
    EXPECT_EQ(f.summary(), "404 can't connect: Invalid argument (Error #10022)|error 10022|cut|");
    ASSERT_TRUE(again(sim->url("/bytes/3")));
    EXPECT_EQ(f.log.doneError, 0);
    EXPECT_EQ(f.c.CtrlSocket()->LastError(), 0);
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

// An abort while the name is looked up; aborts while connecting: HttpsTest,
// from the events of an answer: AbortFromEvent.
TEST_F(HttpAnswer, AbortWhileTheNameIsLookedUp) {
    Fetch f(QStringLiteral("http://localhost:%1/").arg(sim->port()));
    f.c.GetAsync();
    ASSERT_EQ(f.c.State(), hsDnsLookup);
    f.c.Abort();
    ASSERT_TRUE(f.log.waitDone());
    runUntil([] { return false; }, 100);
    EXPECT_EQ(f.summary(), "404 Connection aborted on request|error 3|cut|");
    EXPECT_EQ(f.log.done, 1);
    EXPECT_EQ(f.c.State(), hsReady);
    EXPECT_FALSE(f.log.events.contains("SessionConnected"));
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
