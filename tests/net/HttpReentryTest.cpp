// Handlers of an answer that let events run, as the window does when it
// paints a status line: the bytes and the close that arrive meanwhile must
// come after the bytes the client already holds, none lost, none twice.
#include "HttpTestUtil.h"

#include <QCoreApplication>
#include <QPointer>

#include <gtest/gtest.h>

#include <utility>

using namespace lb::net;
using lb::test::EventLog;
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

// One client and the server it asks.
struct Exchange {
    RawServer server;
    THttpCli client;
    EventLog log;
    Exchange() {
        client.URL = server.url("/page");
        log.attach(&client);
    }
    bool run() {
        client.GetAsync();
        return log.waitDone(20000);
    }
    // The events from the answer header on, without repeated DocData.
    std::string answerEvents() const {
        QStringList all = log.compact();
        return all.mid(all.indexOf(QStringLiteral("HeaderBegin")))
            .join(QLatin1Char('|'))
            .toStdString();
    }
};

struct Reentry : ::testing::Test, Exchange {};

} // namespace

// The answer arrives in pieces while the handler of one event lets events
// run the first time it is called: each header line is parsed once, no
// header byte becomes body, and the body keeps every piece in order.
TEST_F(Reentry, PumpingHandlersKeepEveryByteInOrder) {
    const QString head = "HeaderBegin|HeaderData:HTTP/1.0 200 OK|";
    const QString tail =
        "StateChange:6|HeaderEnd|DocBegin|DocData|DocEnd|StateChange:0|RequestDone:0";
    struct Row {
        const char* event;
        THttpCli::TNotifyEvent THttpCli::*handler;
        QList<QByteArray> pieces;
        QByteArray body;
        QString events; // from the answer header on
    };
    const Row rows[] = {
        {"DocBegin",
         &THttpCli::OnDocBegin,
         {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nfirst-", "second-", "third"},
         "first-second-third",
         head + "HeaderData:Content-Type: text/html|" + tail},
        {"HeaderData",
         &THttpCli::OnHeaderData,
         {"HTTP/1.0 200 OK\r\n", "X-One: 1\r\nX-Two: 2\r\n", "\r\nbody-a", "body-b"},
         "body-abody-b",
         head + "HeaderData:X-One: 1|HeaderData:X-Two: 2|" + tail},
        {"HeaderEnd",
         &THttpCli::OnHeaderEnd,
         {"HTTP/1.0 200 OK\r\nX-A: b\r\n\r\nfirst", "second"},
         "firstsecond",
         head + "HeaderData:X-A: b|" + tail},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.event);
        Exchange t;
        t.server.addScript(inPieces(row.pieces));
        auto& handler = t.client.*row.handler;
        handler = [logged = handler, pumped = false](THttpCli* c) mutable {
            logged(c);
            if (!std::exchange(pumped, true))
                pumpUntilClosed(c);
        };
        ASSERT_TRUE(t.run());
        EXPECT_EQ(t.log.body, row.body);
        EXPECT_EQ(t.answerEvents(), row.events.toStdString());
        EXPECT_EQ(t.log.done, 1);
        EXPECT_EQ(t.log.doneError, 0);
    }
}

TEST_F(Reentry, AbortFromAPumpingHandlerEndsTheRequestOnce) {
    // The handler lets the rest and the close arrive, then gives up the
    // request: nothing of the answer follows, one request-done with error 3.
    server.addScript(inPieces({"HTTP/1.0 200 OK\r\n\r\nfirst", "second"}));
    client.OnDocBegin = [&](THttpCli* c) {
        log.events << "DocBegin";
        pumpUntilClosed(c);
        c->Abort();
    };
    ASSERT_TRUE(run());
    EXPECT_TRUE(log.body.isEmpty()) << log.body.constData();
    EXPECT_EQ(log.doneError, 3);
    // Later events of the loop must not bring a second request-done.
    runUntil([] { return false; }, 200);
    EXPECT_EQ(log.done, 1);
    EXPECT_EQ(client.State(), hsReady);
}

TEST_F(Reentry, PumpingDocDataHandlerOverManyPiecesKeepsEveryByte) {
    // Every piece's handler lets events run: the body comes out whole and
    // in order, whichever pass read it from the socket.
    QList<QByteArray> pieces{"HTTP/1.0 200 OK\r\n\r\n"};
    QByteArray expected;
    for (int i = 0; i < 12; ++i) {
        const QByteArray p = QByteArray::number(i).repeated(700 + 37 * i);
        pieces << p;
        expected += p;
    }
    server.addScript(inPieces(pieces));
    client.OnDocData = [&](THttpCli*, const char* p, int n) {
        log.body.append(p, n);
        runUntil([] { return false; }, 30);
    };
    ASSERT_TRUE(run());
    EXPECT_EQ(log.body.size(), expected.size());
    EXPECT_TRUE(log.body == expected);
    EXPECT_EQ(log.done, 1);
}

// Release() from the request-done handler frees the client as soon as the
// handler returns, before an event posted even earlier: no deferred delete.
TEST(Release, FromRequestDoneFreesTheClientBeforeTheNextEvent) {
    RawServer server;
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nbody");
    auto* c = new THttpCli;
    c->URL = server.url("/");
    QStringList order;
    QObject::connect(c, &QObject::destroyed, [&] { order << "destroyed"; });
    c->OnRequestDone = [&](THttpCli* s, THttpRequest, quint16) {
        QMetaObject::invokeMethod(
            qApp, [&] { order << "next event"; }, Qt::QueuedConnection);
        s->Release();
        order << "handler returns";
    };
    c->GetAsync();
    ASSERT_TRUE(runUntil([&] { return order.size() == 3; }, 20000));
    EXPECT_EQ(order, QStringList({"handler returns", "destroyed", "next event"}));
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
