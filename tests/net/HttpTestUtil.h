#pragma once
// Helpers of the net tests: the events of a client in the order they fire,
// one GET with its events, the bytes target-sim's /bytes/N sends, a header
// of a request target-sim logged, and a bare socket connected to a loopback
// port.
#include "net/HttpProt.h"
#include "net/WSocket.h"
#include "support/RawServer.h"
#include "support/Thrown.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <string>

namespace lb::test {

struct EventLog {
    QStringList events;
    QByteArray body;
    int done = 0;
    quint16 doneError = 0;
    int largestChunk = 0;

    void attach(net::THttpCli* c) {
        using net::THttpCli;
        c->OnStateChange = [this](THttpCli* s) {
            events << QStringLiteral("StateChange:%1").arg(int(s->State()));
        };
        c->OnSessionConnected = [this](THttpCli*) { events << "SessionConnected"; };
        c->OnRequestHeaderBegin = [this](THttpCli*) { events << "RequestHeaderBegin"; };
        c->OnCommand = [this](THttpCli*, QString& line) { events << "Command:" + line; };
        c->OnRequestHeaderEnd = [this](THttpCli*) { events << "RequestHeaderEnd"; };
        c->OnSendBegin = [this](THttpCli*) { events << "SendBegin"; };
        c->OnSendData = [this](THttpCli*, const char*, int n) {
            events << QStringLiteral("SendData:%1").arg(n);
        };
        c->OnSendEnd = [this](THttpCli*) { events << "SendEnd"; };
        c->OnHeaderBegin = [this](THttpCli*) { events << "HeaderBegin"; };
        c->OnHeaderData = [this](THttpCli* s) {
            events << "HeaderData:" + s->ResponseHeader().last();
        };
        c->OnCookie = [this](THttpCli*, const QString& v, bool&) { events << "Cookie:" + v; };
        c->OnHeaderEnd = [this](THttpCli*) { events << "HeaderEnd"; };
        c->OnDocBegin = [this](THttpCli*) { events << "DocBegin"; };
        c->OnDocData = [this](THttpCli*, const char* p, int n) {
            events << "DocData";
            body.append(p, n);
            largestChunk = std::max(largestChunk, n);
        };
        c->OnDocEnd = [this](THttpCli*) { events << "DocEnd"; };
        c->OnLocationChange = [this](THttpCli* s) { events << "LocationChange:" + s->Location(); };
        c->OnRequestDone = [this](THttpCli*, net::THttpRequest, quint16 e) {
            events << QStringLiteral("RequestDone:%1").arg(e);
            ++done;
            doneError = e;
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
