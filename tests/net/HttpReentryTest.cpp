// Handlers of an answer that let events run, as the window does when it
// paints a status line: the bytes and the close that arrive meanwhile must
// come after the bytes the client already holds, none lost, none twice.
#include "HttpTestUtil.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace lb::net;
using lb::test::EventLog;
using lb::test::Fetch;
using lb::test::RawServer;
using lb::test::runUntil;
using Step = RawServer::Step;

namespace {

// Lets events run until the server's close has been read, so everything the
// server sends arrives while the handler is still on the stack.
void pumpUntilClosed(THttpCli* c) {
    runUntil([c] { return c->CtrlSocket()->State() == wsClosed; }, 15000);
}

RawServer::Script inPieces(const QList<QByteArray>& pieces) {
    RawServer::Script script;
    for (const QByteArray& p : pieces) {
        if (!script.empty())
            script.push_back({Step::Pause, {}, 80});
        script.push_back({Step::Send, p, 0});
    }
    return script;
}

// The events from the answer header on, without repeated DocData.
std::string answerEvents(const EventLog& log) {
    const QStringList all = log.compact();
    return all.mid(all.indexOf(QStringLiteral("HeaderBegin"))).join('|').toStdString();
}

} // namespace

// The answer arrives in pieces while the handler of one event lets events
// run the first time it is called: each header line is parsed once, no
// header byte becomes body, and the body keeps every piece in order.
TEST(Reentry, PumpingHandlersKeepEveryByteInOrder) {
    const QString head = "HeaderBegin|HeaderData:HTTP/1.0 200 OK|";
    const QString tail =
        "StateChange:6|HeaderEnd|DocBegin|DocData|DocEnd|StateChange:0|RequestDone:0";
    struct Row {
        const char* event;
        QList<QByteArray> pieces;
        QByteArray body;
        QString events; // from the answer header on
    };
    const Row rows[] = {
        {"DocBegin",
         {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nfirst-", "second-", "third"},
         "first-second-third",
         head + "HeaderData:Content-Type: text/html|" + tail},
        {"HeaderData",
         {"HTTP/1.0 200 OK\r\n", "X-One: 1\r\nX-Two: 2\r\n", "\r\nbody-a", "body-b"},
         "body-abody-b",
         head + "HeaderData:X-One: 1|HeaderData:X-Two: 2|" + tail},
        {"HeaderEnd",
         {"HTTP/1.0 200 OK\r\nX-A: b\r\n\r\nfirst", "second"},
         "firstsecond",
         head + "HeaderData:X-A: b|" + tail},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.event);
        RawServer server;
        server.addScript(inPieces(row.pieces));
        Fetch f(server.url("/page"));
        f.log.at(row.event, pumpUntilClosed);
        ASSERT_TRUE(f.run());
        EXPECT_EQ(f.log.body, row.body);
        EXPECT_EQ(answerEvents(f.log), row.events.toStdString());
    }
}

TEST(Reentry, AbortFromAPumpingHandlerEndsTheRequestOnce) {
    // The handler lets the rest and the close arrive, then gives up the
    // request: nothing of the answer follows, one request-done with error 3.
    RawServer server;
    server.addScript(inPieces({"HTTP/1.0 200 OK\r\n\r\nfirst", "second"}));
    Fetch f(server.url("/page"));
    f.log.at("DocBegin", [](THttpCli* c) {
        pumpUntilClosed(c);
        c->Abort();
    });
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(f.log.body.isEmpty()) << f.log.body.constData();
    EXPECT_EQ(f.log.doneError, 3);
    // Later events of the loop must not bring a second request-done.
    runUntil([] { return false; }, 200);
    EXPECT_EQ(f.log.done, 1);
    EXPECT_EQ(f.c.State(), hsReady);
}

// With code of the client still running further down the stack, the client
// outlives its request-done handler and goes later: here the request-done
// arrives inside the client's own header-end handler, or inside a
// synchronous Get.
TEST(Release, WaitsWhileTheClientsOwnCodeIsRunning) {
    RawServer server;
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nbody");
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nbody");
    {
        auto* c = new THttpCli;
        QPointer<THttpCli> alive(c);
        c->URL = server.url("/");
        bool released = false;
        c->OnRequestDone = [&](THttpCli* s, THttpRequest, quint16) {
            s->Release();
            released = true;
        };
        c->OnHeaderEnd = [&](THttpCli* s) {
            s->Abort();
            runUntil([&] { return released; }, 5000);
            ASSERT_TRUE(released);
            ASSERT_TRUE(alive);
            EXPECT_EQ(s->State(), hsReady); // still a whole client
        };
        c->GetAsync();
        EXPECT_TRUE(runUntil([&] { return !alive; }, 20000));
    }
    {
        auto* c = new THttpCli;
        QPointer<THttpCli> alive(c);
        c->URL = server.url("/");
        c->OnRequestDone = [](THttpCli* s, THttpRequest, quint16) { s->Release(); };
        EXPECT_NO_THROW(c->Get());
        EXPECT_TRUE(runUntil([&] { return !alive; }, 5000));
    }
}
