#pragma once
// Records the events of a client in the order they fire.
#include "net/HttpProt.h"
#include "support/RawServer.h"

#include <QString>
#include <QStringList>

namespace lb::test {

struct EventLog {
    QStringList events;
    QByteArray body;
    int done = 0;
    quint16 doneError = 0;

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

} // namespace lb::test
