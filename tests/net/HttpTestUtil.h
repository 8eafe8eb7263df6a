#pragma once
// Helpers of the net tests: the events of a client in the order they fire,
// one GET with its events, the bytes target-sim's /bytes/N sends, a header
// of a request target-sim logged, and a bare socket connected to a loopback
// port.
#include "net/HttpProt.h"
#include "net/WSocket.h"
#include "support/RawServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace lb::test {

struct EventLog {
    QStringList events;
    QByteArray body;
    int done = 0;
    quint16 doneError = 0;
    int largestChunk = 0;
    // Runs right after each event is logged: tests that act at one event.
    std::function<void(net::THttpCli*, const QString&)> onEvent;

    void note(net::THttpCli* c, const QString& e) {
        events << e;
        if (onEvent)
            onEvent(c, e);
    }
    void attach(net::THttpCli* c) {
        using net::THttpCli;
        c->OnStateChange = [this](THttpCli* s) {
            note(s, QStringLiteral("StateChange:%1").arg(int(s->State())));
        };
        c->OnSessionConnected = [this](THttpCli* s) { note(s, "SessionConnected"); };
        c->OnRequestHeaderBegin = [this](THttpCli* s) { note(s, "RequestHeaderBegin"); };
        c->OnCommand = [this](THttpCli* s, QString& line) { note(s, "Command:" + line); };
        c->OnRequestHeaderEnd = [this](THttpCli* s) { note(s, "RequestHeaderEnd"); };
        c->OnSendBegin = [this](THttpCli* s) { note(s, "SendBegin"); };
        c->OnSendData = [this](THttpCli* s, const char*, int n) {
            note(s, QStringLiteral("SendData:%1").arg(n));
        };
        c->OnSendEnd = [this](THttpCli* s) { note(s, "SendEnd"); };
        c->OnHeaderBegin = [this](THttpCli* s) { note(s, "HeaderBegin"); };
        c->OnHeaderData = [this](THttpCli* s) {
            note(s, "HeaderData:" + s->ResponseHeader().last());
        };
        c->OnCookie = [this](THttpCli* s, const QString& v, bool&) { note(s, "Cookie:" + v); };
        c->OnHeaderEnd = [this](THttpCli* s) { note(s, "HeaderEnd"); };
        c->OnDocBegin = [this](THttpCli* s) { note(s, "DocBegin"); };
        c->OnDocData = [this](THttpCli* s, const char* p, int n) {
            body.append(p, n);
            largestChunk = std::max(largestChunk, n);
            note(s, "DocData");
        };
        c->OnDocEnd = [this](THttpCli* s) { note(s, "DocEnd"); };
        c->OnLocationChange = [this](THttpCli* s) { note(s, "LocationChange:" + s->Location()); };
        c->OnRequestDone = [this](THttpCli* s, net::THttpRequest, quint16 e) {
            ++done;
            doneError = e;
            note(s, QStringLiteral("RequestDone:%1").arg(e));
        };
    }
    // The first time an event named `event` (or "event:...") fires, calls
    // act(client) after logging it.
    void at(const QString& event, std::function<void(net::THttpCli*)> act) {
        onEvent = [event, act, fired = false](net::THttpCli* c, const QString& e) mutable {
            if (!fired && (e == event || e.startsWith(event + ':'))) {
                fired = true;
                act(c);
            }
        };
    }

    // Events without the repeated DocData entries, for order checks.
    QStringList compact() const {
        QStringList out;
        for (const QString& e : events)
            if (e != QLatin1String("DocData") || out.isEmpty() || out.last() != e)
                out << e;
        return out;
    }
    bool waitDone(int timeoutMs = 30000) {
        return runUntil([this] { return done > 0; }, timeoutMs);
    }
};

// One client and its events.
struct Fetch {
    net::THttpCli c;
    EventLog log;
    explicit Fetch(const QString& url) {
        c.URL = url;
        log.attach(&c);
    }
    bool run() {
        c.GetAsync();
        return log.waitDone(20000);
    }
    // The fetch in one line: status and reason, the request-done error, how
    // far the answer got (the document's end, the header's end, or cut
    // before either) and the body.
    std::string summary() const {
        const QString reached = log.events.contains("DocEnd")      ? "doc"
                                : log.events.contains("HeaderEnd") ? "header"
                                                                   : "cut";
        return QStringLiteral("%1 %2|error %3|%4|%5")
            .arg(c.StatusCode())
            .arg(c.ReasonPhrase())
            .arg(log.doneError)
            .arg(reached, QString::fromLatin1(log.body))
            .toStdString();
    }
};

// The value of a header line of a request target-sim logged, "" for none.
inline QString headerOf(const QJsonObject& request, const QString& name) {
    for (const QJsonValue& h : request.value("headers").toArray())
        if (h.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return h.toArray().at(1).toString();
    return QString();
}

inline QByteArray pattern(qint64 n) {
    QByteArray b(n, Qt::Uninitialized);
    for (qint64 i = 0; i < n; ++i)
        b[i] = char('a' + i % 26);
    return b;
}

inline void connectTo(net::TWSocket& s, quint16 port) {
    s.setAddr("127.0.0.1");
    s.setPort(QString::number(port));
    s.setProto("tcp");
    s.Connect();
}

// Connects s and runs events until it is connected; false when it was not.
inline bool connectAndWait(net::TWSocket& s, quint16 port) {
    bool up = false;
    s.OnSessionConnected = [&up](net::TWSocket*, quint16 e) { up = e == 0; };
    connectTo(s, port);
    const bool ok = runUntil([&up] { return up; });
    s.OnSessionConnected = nullptr;
    return ok;
}

} // namespace lb::test
