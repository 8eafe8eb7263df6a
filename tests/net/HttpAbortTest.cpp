// Abort() called from inside each event a handler may use: afterwards no
// event of that request fires except its one OnRequestDone (error 3), whether
// the answer came in one read or trickled, asynchronously or from Get().
#include "HttpTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace lb::net;
using lb::test::EventLog;
using lb::test::RawServer;
using lb::test::runUntil;
using Step = RawServer::Step;

namespace {

const QByteArray kAnswer = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nX-B: 2\r\n\r\nfirst body bytes";
const QByteArray kRedirect = "HTTP/1.0 302 Found\r\nLocation: /next\r\nX-B: 2\r\n\r\nmoved";
const QByteArray kNotFound =
    "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>gone</html>";

enum class Delivery { OneRead, Trickled };
enum class Mode { Async, Sync };

// The answer in one piece, or line by line with pauses; the server keeps
// the connection open so only the client's Abort ends it.
RawServer::Script script(const QByteArray& answer, Delivery delivery) {
    RawServer::Script s;
    if (delivery == Delivery::OneRead) {
        s.push_back({Step::Send, answer, 0});
    } else {
        qsizetype pos = 0;
        while (pos < answer.size()) {
            const qsizetype lf = answer.indexOf('\n', pos);
            const qsizetype end = lf < 0 ? answer.size() : lf + 1;
            s.push_back({Step::Send, answer.mid(pos, end - pos), 0});
            s.push_back({Step::Pause, {}, 30});
            pos = end;
        }
    }
    s.push_back({Step::HoldUntilClosed, {}, 0});
    return s;
}

struct Case {
    const char* event; // where the handler aborts
    const QByteArray* answer;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.event;
}

// Wraps the logging handler of one event in one that then aborts, the first
// time it runs (for a state change: the first time it enters that state),
// and notes when Abort has returned.
template <typename... Args, typename When>
void abortAfter(std::function<void(THttpCli*, Args...)>& handler, EventLog& log, When when) {
    auto fired = std::make_shared<bool>(false);
    handler = [logged = handler, &log, when, fired](THttpCli* s, Args... args) {
        logged(s, args...);
        if (*fired || !when(s))
            return;
        *fired = true;
        s->Abort();
        log.events << "AbortReturned";
    };
}

void armAbort(THttpCli& c, EventLog& log, const QString& event) {
    const auto always = [](THttpCli*) { return true; };
    if (event == "SessionConnected")
        abortAfter(c.OnSessionConnected, log, always);
    else if (event == "HeaderBegin")
        abortAfter(c.OnHeaderBegin, log, always);
    else if (event == "HeaderData")
        abortAfter(c.OnHeaderData, log, always);
    else if (event == "Cookie")
        abortAfter(c.OnCookie, log, always);
    else if (event == "HeaderEnd")
        abortAfter(c.OnHeaderEnd, log, always);
    else if (event == "DocBegin")
        abortAfter(c.OnDocBegin, log, always);
    else if (event == "DocData")
        abortAfter(c.OnDocData, log, always);
    else if (event == "LocationChange")
        abortAfter(c.OnLocationChange, log, always);
    else if (event.startsWith("StateChange:"))
        abortAfter(c.OnStateChange, log, [target = event.section(':', 1).toInt()](THttpCli* s) {
            return int(s->State()) == target;
        });
}

QStringList after(const QStringList& events, const QString& marker) {
    const qsizetype at = events.indexOf(marker);
    return at < 0 ? QStringList() : events.mid(at + 1);
}

} // namespace

class AbortFromEvent : public ::testing::TestWithParam<std::tuple<Case, Delivery, Mode>> {};

TEST_P(AbortFromEvent, OnlyOneRequestDoneFollows) {
    const auto [c, delivery, mode] = GetParam();
    RawServer server;
    server.addScript(script(*c.answer, delivery));
    server.addAnswer("HTTP/1.0 200 OK\r\n\r\nredirected"); // must never be asked for

    THttpCli client;
    client.URL = server.url("/first");
    EventLog log;
    log.attach(&client);
    armAbort(client, log, QLatin1String(c.event));

    int raised = 0;
    if (mode == Mode::Async) {
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
    const QStringList expected = mode == Mode::Async ? QStringList{"RequestDone:3"}
                                                     : QStringList{"RequestDone:3", "GetReturned"};
    EXPECT_EQ(after(log.events, "AbortReturned"), expected) << qPrintable(log.events.join('\n'));
    EXPECT_EQ(log.done, 1);
    EXPECT_EQ(log.doneError, 3);
    EXPECT_EQ(raised, mode == Mode::Sync ? 1 : 0);
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
                                         Case{"LocationChange", &kRedirect}),
                       ::testing::Values(Delivery::OneRead, Delivery::Trickled),
                       ::testing::Values(Mode::Async, Mode::Sync)),
    [](const auto& info) {
        QString name = QLatin1String(std::get<0>(info.param).event);
        name.remove(':');
        name += std::get<1>(info.param) == Delivery::OneRead ? "_OneRead" : "_Trickled";
        name += std::get<2>(info.param) == Mode::Async ? "_Async" : "_Sync";
        return name.toStdString();
    });

// The submission run's way of judging: abort at the header end of an error
// answer whose connection the client already closed after the status line.
TEST(AbortFromEvent, HeaderEndOfAnErrorAnswerGivesOneRequestDone) {
    for (const Mode mode : {Mode::Async, Mode::Sync}) {
        SCOPED_TRACE(mode == Mode::Async ? "async" : "sync");
        RawServer server;
        server.addScript(script(kNotFound, Delivery::OneRead));
        THttpCli client;
        client.URL = server.url("/");
        EventLog log;
        log.attach(&client);
        int judgedStatus = 0;
        client.OnHeaderEnd = [&](THttpCli* s) {
            judgedStatus = s->StatusCode();
            log.events << "HeaderEnd";
            s->Abort();
            log.events << "AbortReturned";
        };
        if (mode == Mode::Async) {
            client.GetAsync();
            ASSERT_TRUE(log.waitDone());
        } else {
            EXPECT_THROW(client.Get(), EHttpException);
        }
        runUntil([] { return false; }, 200);
        EXPECT_EQ(judgedStatus, 404);
        EXPECT_EQ(after(log.events, "AbortReturned"), QStringList{"RequestDone:3"});
        EXPECT_EQ(log.done, 1);
    }
}
