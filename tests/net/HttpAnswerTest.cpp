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
using lb::test::pattern;
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
    EXPECT_EQ(
        f.log.compact(),
        QStringList({"StateChange:1",
                     "StateChange:3",
                     "StateChange:4",
                     "StateChange:2",
                     "SessionConnected",
                     "StateChange:5",
                     "RequestHeaderBegin",
                     "Command:GET /x HTTP/1.0",
                     "Command:Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*",
                     "Command:User-Agent: Mozilla/3.0 (compatible)",
                     "Command:Host: 127.0.0.1",
                     "RequestHeaderEnd",
                     "Command:",
                     "HeaderBegin",
                     "HeaderData:HTTP/1.0 200 OK",
                     "Cookie:a=1",
                     "HeaderData:Set-Cookie: a=1",
                     "StateChange:6",
                     "HeaderEnd",
                     "DocBegin",
                     "DocData",
                     "DocEnd",
                     "StateChange:0",
                     "RequestDone:0"}));
    EXPECT_EQ(f.log.body, "body");
}

TEST_F(HttpAnswer, StatusLinesWithAndWithoutPhrase) {
    RawServer server;
    server.addAnswer("HTTP/1.1 302 Found\r\n\r\n");
    server.addAnswer("HTTP/1.0 200\r\n\r\n");
    Fetch a(server.url());
    ASSERT_TRUE(a.run());
    EXPECT_EQ(a.c.StatusCode(), 302);
    EXPECT_EQ(a.c.ReasonPhrase(), "Found");
    Fetch b(server.url());
    ASSERT_TRUE(b.run());
    EXPECT_EQ(b.c.StatusCode(), 200);
    EXPECT_EQ(b.c.ReasonPhrase(), "");
    // No body: request done, but no document events.
    EXPECT_FALSE(b.log.events.contains("DocBegin"));
    EXPECT_FALSE(b.log.events.contains("DocEnd"));

    // Odd shapes: the code is the three characters after "HTTP/1.x ",
    // trimmed, and the phrase whatever follows the fourth.
    struct Shape {
        QByteArray line;
        int code;
        QString phrase;
    };
    for (const Shape& shape :
         {Shape{"HTTP/1.0 200OK", 200, "K"}, Shape{"HTTP/1.0  20 Made", 20, "Made"},
          Shape{"HTTP/1.1 301 ", 301, ""}, Shape{"HTTP/1.0 2x0 OK", 404, "Invalid status line"}}) {
        SCOPED_TRACE(shape.line.toStdString());
        server.addAnswer(shape.line + "\r\n\r\n");
        Fetch f(server.url());
        ASSERT_TRUE(f.run());
        EXPECT_EQ(f.c.StatusCode(), shape.code);
        EXPECT_EQ(f.c.ReasonPhrase(), shape.phrase);
    }
}

TEST_F(HttpAnswer, HeaderNamesInAnyCaseLfOnlyLinesAndStrayCarriageReturns) {
    for (const QByteArray& answer :
         {QByteArray("HTTP/1.0 200 OK\r\nCONTENT-length: 4\r\ncontent-TYPE: Text/HTML\r\n"
                     "Accept-RANGES: bytes\r\nContent-Typ\xc9: x\r\n\r\nbody"),
          QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 4 \r\n"
                     "Content-Type: TEXT/HTML; NAME=\xc9T\xc9\r\n\r\nbody"),
          QByteArray("HTTP/1.0 200 OK\nX-A: 1\r\nX-B: a\rb\nContent-Type: Text/HTML\n"
                     "Content-Length: 4\n\nbody"),
          // Eighteen digits are a length still.
          QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                     "Content-Length: 000000000000000004\r\n\r\nbody")}) {
        SCOPED_TRACE(answer.toStdString());
        RawServer server;
        server.addAnswer(answer);
        Fetch f(server.url("/x"));
        ASSERT_TRUE(f.run());
        EXPECT_EQ(f.c.ContentLength(), 4);
        EXPECT_EQ(f.c.ContentType(), answer.contains("NAME")
                                         ? QStringLiteral("text/html; name=\u00e9t\u00e9")
                                         : QStringLiteral("text/html"));
        EXPECT_EQ(f.log.body, "body");
        if (answer.contains("X-B"))
            EXPECT_EQ(f.c.ResponseHeader(),
                      QStringList({"HTTP/1.0 200 OK", "X-A: 1", "X-B: a\rb",
                                   "Content-Type: Text/HTML", "Content-Length: 4"}));
    }
}

TEST_F(HttpAnswer, AnswerWithoutHeaderIsAllBody) {
    Fetch f(sim->url("/noheader"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.log.body, "<html><head><title>No header</title></head>\r\n<body>Answer without "
                          "header.</body></html>\r\n");
    EXPECT_EQ(f.c.ContentType(), "text/html");
    EXPECT_EQ(f.c.StatusCode(), 0);
    EXPECT_TRUE(f.log.events.contains("HeaderEnd"));
}

TEST_F(HttpAnswer, ErrorStatusClosesAtOnce) {
    Fetch f(sim->url("/status/404/Not%20Found"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 404);
    EXPECT_EQ(f.c.ReasonPhrase(), "Not Found");
    EXPECT_EQ(f.log.doneError, 0);
    EXPECT_FALSE(f.log.events.contains("DocEnd"));
    EXPECT_EQ(f.log.done, 1);
}

TEST_F(HttpAnswer, SynchronousGetRaisesForErrorStatus) {
    THttpCli c;
    c.URL = sim->url("/status/500/Internal%20Server%20Error");
    try {
        c.Get();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.message(), "Internal Server Error");
        EXPECT_EQ(e.ErrorCode, 500);
    }
    c.URL = sim->url("/bytes/10");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    c.ReceiveStream = &out;
    EXPECT_NO_THROW(c.Get());
    EXPECT_EQ(out.data(), "abcdefghij");
}

TEST_F(HttpAnswer, TenMegabyteBodyArrivesIntact) {
    const qint64 size = 10 * 1000 * 1000;
    Fetch f(sim->url(QStringLiteral("/bytes/%1").arg(size)));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    f.c.ReceiveStream = &out;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.ReceivedCount(), size);
    EXPECT_EQ(f.c.ContentLength(), size);
    EXPECT_LE(f.log.largestChunk, 8192);
    EXPECT_TRUE(out.data() == pattern(size));
}

TEST_F(HttpAnswer, LargePostBodyGoesInChunks) {
    TSTHttpCli c;
    QBuffer send;
    c.SendStream = &send;
    c.Stream = QString(100000, 'q');
    c.URL = sim->url("/status/200/OK");
    EventLog log;
    log.attach(&c);
    c.PostAsync();
    ASSERT_TRUE(log.waitDone());
    EXPECT_EQ(c.SentCount(), 100000);
    EXPECT_GE(log.events.filter("SendData:").size(), 12);
    const auto reqs = sim->requests();
    ASSERT_FALSE(reqs.isEmpty());
    EXPECT_EQ(reqs.last().value("method").toString(), "POST");
    EXPECT_EQ(reqs.last().value("body").toString().size(), 100000);
}

TEST_F(HttpAnswer, RedirectionToAbsolutePathKeepsHostAndPort) {
    RawServer server;
    server.addAnswer("HTTP/1.0 302 Found\r\nLocation: /new.htm\r\n\r\nmoved");
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nnew");
    Fetch f(server.url("/old.htm"));
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(server.request(1).startsWith("GET /new.htm HTTP/1.0\r\n"));
    EXPECT_EQ(f.c.StatusCode(), 200);
    EXPECT_EQ(f.c.Location(), "http://127.0.0.1/new.htm");
    EXPECT_EQ(f.log.body, "new");
    EXPECT_EQ(f.log.events.count("HeaderBegin"), 2);
    EXPECT_EQ(f.log.events.count("LocationChange:http://127.0.0.1/new.htm"), 1);
    EXPECT_EQ(f.c.ResponseHeader().size(), 3);
}

TEST_F(HttpAnswer, RedirectionToAnotherServer) {
    RawServer first, second;
    // Header names match in any case.
    first.addAnswer(
        QStringLiteral("HTTP/1.0 301 Moved\r\nlOcAtIoN: http://127.0.0.1:%1/there\r\n\r\n")
            .arg(second.port())
            .toLatin1());
    second.addAnswer("HTTP/1.0 200 OK\r\n\r\nthere");
    Fetch f(first.url("/here"));
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(second.request(0).startsWith("GET /there HTTP/1.0\r\n"));
    EXPECT_EQ(f.c.Location(), "http://127.0.0.1/there");
    EXPECT_EQ(f.log.body, "there");
}

TEST_F(HttpAnswer, RedirectionToBarePageGoesToTheRoot) {
    RawServer server;
    server.addAnswer("HTTP/1.0 302 Found\r\nLocation: page.htm\r\n\r\n");
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nroot page");
    Fetch f(server.url("/dir/start"));
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(server.request(1).startsWith("GET http://127.0.0.1/page.htm HTTP/1.0\r\n"))
        << server.request(1).constData();
    EXPECT_EQ(f.c.Location(), "http://127.0.0.1/page.htm");
}

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

TEST_F(HttpAnswer, RedirectionChainEnds) {
    Fetch f(sim->url("/redirect/3"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 200);
    EXPECT_EQ(f.log.events.filter("LocationChange:").size(), 3);
    EXPECT_EQ(f.c.Location(), "http://127.0.0.1/redirect/0");
}

TEST_F(HttpAnswer, RedirectionLoopIsGivenUp) {
    const int before = sim->requests().size();
    Fetch f(sim->url("/loop"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 404);
    EXPECT_EQ(f.c.ReasonPhrase(), "Too many redirections");
    EXPECT_EQ(f.log.done, 1);
    EXPECT_EQ(sim->requests().size() - before, 1 + THttpCli::kMaxRedirections);
    EXPECT_EQ(f.c.State(), hsReady);
}

TEST_F(HttpAnswer, MalformedNumbersDoNotBreakTheRequest) {
    Fetch bad(sim->url("/bad-status"));
    ASSERT_TRUE(bad.run());
    EXPECT_EQ(bad.c.StatusCode(), 404);
    EXPECT_EQ(bad.c.ReasonPhrase(), "Invalid status line");
    EXPECT_EQ(bad.log.done, 1);

    Fetch length(sim->url("/bad-length"));
    ASSERT_TRUE(length.run());
    EXPECT_EQ(length.c.StatusCode(), 200);
    EXPECT_EQ(length.c.ContentLength(), -1);
    EXPECT_EQ(length.log.body, "<html>length</html>");
}

TEST_F(HttpAnswer, OverlongHeaderLineAbortsTheConnectionKeepingTheStatus) {
    // The status line came first: it stays, the request just ends early.
    Fetch f(sim->url("/long-header"));
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.c.StatusCode(), 200);
    EXPECT_EQ(f.c.ReasonPhrase(), "OK");
    EXPECT_FALSE(f.log.events.contains("HeaderEnd"));
    EXPECT_FALSE(f.log.events.contains("DocBegin"));
    EXPECT_EQ(f.log.done, 1);
    EXPECT_EQ(f.log.doneError, 0);
    // A line that just fits is fine.
    Fetch g(sim->url("/long-header/8000"));
    ASSERT_TRUE(g.run());
    EXPECT_EQ(g.c.StatusCode(), 200);
    EXPECT_TRUE(g.log.events.contains("HeaderEnd"));

    // Synchronously: no status of 400 or more, so Get() returns normally;
    // with no status line at all the status stays 0.
    THttpCli c;
    EventLog log;
    log.attach(&c);
    c.URL = sim->url("/long-header");
    EXPECT_NO_THROW(c.Get());
    EXPECT_EQ(log.done, 1);
    EXPECT_EQ(c.StatusCode(), 200);
    RawServer server;
    server.addAnswer(QByteArray(9000, 'x'));
    c.URL = server.url();
    EXPECT_NO_THROW(c.Get());
    EXPECT_EQ(c.StatusCode(), 0);
    EXPECT_EQ(c.ReasonPhrase(), "");
    EXPECT_EQ(log.done, 2);
    EXPECT_EQ(c.State(), hsReady);
}

TEST_F(HttpAnswer, ResetByThePeerMidBodyIsANormalEnd) {
    RawServer server;
    server.addScript({{Step::Send, "HTTP/1.0 200 OK\r\n\r\npart of the body", 0},
                      {Step::Pause, {}, 300},
                      {Step::Reset, {}, 0}});
    Fetch f(server.url());
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.log.done, 1);
    EXPECT_EQ(f.log.doneError, 0);
    EXPECT_EQ(f.c.StatusCode(), 200);
    EXPECT_EQ(f.log.body, "part of the body");
    EXPECT_EQ(f.log.events.count("DocEnd"), 1);
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

TEST_F(HttpAnswer, ServerClosingEarly) {
    Fetch inHeader(sim->url("/close-in-header"));
    ASSERT_TRUE(inHeader.run());
    EXPECT_EQ(inHeader.c.StatusCode(), 200);
    EXPECT_FALSE(inHeader.log.events.contains("HeaderEnd"));
    EXPECT_EQ(inHeader.log.done, 1);

    Fetch atOnce(sim->url("/close"));
    ASSERT_TRUE(atOnce.run());
    EXPECT_EQ(atOnce.c.StatusCode(), 0);
    EXPECT_EQ(atOnce.log.done, 1);
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

TEST_F(HttpAnswer, AbortInEveryState) {
    auto expectAborted = [](Fetch& f) {
        ASSERT_TRUE(f.log.waitDone());
        runUntil([] { return false; }, 100);
        EXPECT_EQ(f.log.done, 1);
        EXPECT_EQ(f.log.doneError, 3);
        EXPECT_EQ(f.c.StatusCode(), 404);
        EXPECT_EQ(f.c.ReasonPhrase(), "Connection aborted on request");
        EXPECT_EQ(f.c.State(), hsReady);
    };
    {
        SCOPED_TRACE("lookup");
        Fetch f(QStringLiteral("http://localhost:%1/").arg(sim->port()));
        f.c.GetAsync();
        ASSERT_EQ(f.c.State(), hsDnsLookup);
        f.c.Abort();
        expectAborted(f);
        EXPECT_FALSE(f.log.events.contains("SessionConnected"));
    }
    {
        SCOPED_TRACE("connect");
        Fetch f(sim->url("/"));
        f.c.GetAsync();
        ASSERT_EQ(f.c.State(), hsDnsLookupDone);
        f.c.Abort();
        expectAborted(f);
    }
    {
        SCOPED_TRACE("header");
        Fetch f(sim->url("/hang"));
        f.c.OnSessionConnected = [](THttpCli* c) { c->Abort(); };
        f.run();
        expectAborted(f);
    }
    {
        SCOPED_TRACE("body");
        Fetch f(sim->url("/bytes/5000000"));
        int docEnds = 0;
        f.c.OnDocEnd = [&](THttpCli*) { ++docEnds; };
        f.c.OnDocData = [](THttpCli* c, const char*, int) { c->Abort(); };
        f.run();
        expectAborted(f);
        EXPECT_EQ(docEnds, 1);
        EXPECT_LT(f.c.ReceivedCount(), 5000000);
    }
    // An abort from the header's end is among the events checked by AbortFromEvent.
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

TEST_F(HttpAnswer, ThreeHundredClientsInFlight) {
    const int count = 300;
    struct Result {
        int status = -1;
        QString phrase;
        int done = 0;
    };
    std::vector<Result> results(count);
    QList<QPointer<TSTHttpCli>> clients;
    int finished = 0;
    for (int i = 0; i < count; ++i) {
        auto* c = new TSTHttpCli;
        c->Tag = i;
        c->Reference = "http://site.example/";
        switch (i % 3) {
        case 0:
            c->URL = sim->url(QStringLiteral("/status/200/OK?n=%1").arg(i));
            break;
        case 1:
            c->URL = sim->url(QStringLiteral("/status/404/Not%20Found?n=%1").arg(i));
            break;
        default:
            c->URL = sim->url(QStringLiteral("/bytes/%1").arg(i));
            break;
        }
        c->OnHeaderEnd = [&results](THttpCli* s) {
            results[size_t(s->Tag)].status = s->StatusCode();
            results[size_t(s->Tag)].phrase = s->ReasonPhrase();
        };
        c->OnRequestDone = [&results, &finished](THttpCli* s, THttpRequest, quint16) {
            ++results[size_t(s->Tag)].done;
            ++finished;
            s->deleteLater();
        };
        clients << c;
        c->GetAsync();
    }
    ASSERT_TRUE(runUntil([&] { return finished >= count; }, 60000));
    runUntil([] { return false; }, 100);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[size_t(i)].done, 1);
        if (i % 3 == 1) {
            EXPECT_EQ(results[size_t(i)].status, 404);
            EXPECT_EQ(results[size_t(i)].phrase, "Not Found");
        } else {
            EXPECT_EQ(results[size_t(i)].status, 200);
            EXPECT_EQ(results[size_t(i)].phrase, "OK");
        }
    }
    for (const auto& c : clients)
        EXPECT_TRUE(c.isNull()) << "client not freed";
}
