// Abort() called from inside each event a handler may use: afterwards no
// event of that request fires except its one OnRequestDone (error 3), whether
// the answer came in one read or trickled, asynchronously or from Get().
#include "HttpTestUtil.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace lb::net;
using lb::test::EventLog;
using lb::test::RawServer;
using lb::test::runUntil;
using Step = RawServer::Step;

namespace {

const QByteArray kAnswer = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nX-B: 2\r\n\r\nfirst body bytes";
const QByteArray kRedirect = "HTTP/1.0 302 Found\r\nLocation: /next\r\nX-B: 2\r\n\r\nmoved";
// The submission run's way of judging: an error answer, whose connection the
// client already closed after the status line, aborted at its header end;
// its header comes in one read (trickled, the close after the status line
// ends it first).
const QByteArray kNotFound =
    "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>gone</html>";

// The answer in one piece, or line by line with pauses; the server keeps
// the connection open so only the client's Abort ends it.
RawServer::Script script(const QByteArray& answer, bool trickled) {
    RawServer::Script s;
    for (qsizetype pos = 0; pos < answer.size();) {
        const qsizetype lf = trickled ? answer.indexOf('\n', pos) : -1;
        const qsizetype end = lf < 0 ? answer.size() : lf + 1;
        s.push_back({Step::Send, answer.mid(pos, end - pos), 0});
        s.push_back({Step::Pause, {}, 30});
        pos = end;
    }
    s.push_back({Step::HoldUntilClosed, {}, 0});
    return s;
}

struct Case {
    const char* event; // where the handler aborts; a state change: entering that state
    const QByteArray* answer;
};

QStringList after(const QStringList& events, const QString& marker) {
    const qsizetype at = events.indexOf(marker);
    return at < 0 ? QStringList() : events.mid(at + 1);
}

} // namespace

// Case, trickled, synchronous.
class AbortFromEvent : public ::testing::TestWithParam<std::tuple<Case, bool, bool>> {};

TEST_P(AbortFromEvent, OnlyOneRequestDoneFollows) {
    const auto [c, trickled, sync] = GetParam();
    RawServer server;
    server.addScript(script(*c.answer, trickled && c.answer != &kNotFound));
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nredirected"); // must never be asked for

    THttpCli client;
    client.URL = server.url("/first");
    EventLog log;
    log.attach(&client);
    log.at(QLatin1String(c.event), [&log](THttpCli* s) {
        s->Abort();
        log.events << "AbortReturned";
    });

    int raised = 0;
    if (!sync) {
        client.GetAsync();
        ASSERT_TRUE(log.waitDone());
    } else {
        try {
            client.Get();
        } catch (const EHttpException& e) {
            ++raised;
            EXPECT_EQ(e.ErrorCode, 404);
            EXPECT_EQ(e.message(), "Connection aborted on request");
        }
        log.events << "GetReturned";
    }
    // Anything still queued for this request would show up now.
    runUntil([] { return false; }, 200);

    ASSERT_EQ(log.events.count("AbortReturned"), 1) << qPrintable(log.events.join('\n'));
    const QStringList expected =
        sync ? QStringList{"RequestDone:3", "GetReturned"} : QStringList{"RequestDone:3"};
    EXPECT_EQ(after(log.events, "AbortReturned"), expected) << qPrintable(log.events.join('\n'));
    EXPECT_EQ(log.done, 1);
    EXPECT_EQ(raised, sync ? 1 : 0);
    EXPECT_EQ(client.StatusCode(), 404);
    EXPECT_EQ(client.ReasonPhrase(), "Connection aborted on request");
    EXPECT_EQ(client.State(), hsReady);
    EXPECT_EQ(server.connections(), 1);
    // Every event stops before the body is complete; at most the first
    // chunk was delivered, and OnDocEnd only from inside Abort.
    EXPECT_LE(log.events.count("DocEnd"), 1);
    EXPECT_LE(log.events.count("HeaderEnd"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEvent, AbortFromEvent,
    ::testing::Combine(::testing::Values(Case{"SessionConnected", &kAnswer},
                                         Case{"HeaderBegin", &kAnswer},
                                         Case{"HeaderData", &kAnswer}, Case{"Cookie", &kAnswer},
                                         Case{"StateChange:5", &kAnswer}, // hsWaitingHeader
                                         Case{"StateChange:6", &kAnswer}, // hsWaitingBody
                                         Case{"HeaderEnd", &kAnswer}, Case{"DocBegin", &kAnswer},
                                         Case{"DocData", &kAnswer},
                                         Case{"LocationChange", &kRedirect},
                                         Case{"HeaderEnd", &kNotFound}),
                       ::testing::Bool(), ::testing::Bool()),
    [](const auto& info) {
        const Case& c = std::get<0>(info.param);
        return (QLatin1String(c.event).toString().remove(':') +
                (c.answer == &kNotFound ? "Of404" : "") +
                (std::get<1>(info.param) ? "_Trickled" : "_OneRead") +
                (std::get<2>(info.param) ? "_Sync" : "_Async"))
            .toStdString();
    });
