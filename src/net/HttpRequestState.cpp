#include "net/HttpRequestState.h"

#include "net/HttpProt.h"
#include "net/SocketDispatcher.h"

#include <QtDebug>

namespace lb::net {

thread_local RequestGuard* RequestGuard::t_top = nullptr;

RequestGuard::RequestGuard(THttpCli* client)
    : client_(client), request_(client->request_), outer_(t_top) {
    t_top = this;
}

bool RequestGuard::replaced() const {
    return !client_ || client_->request_ != request_;
}

bool RequestGuard::ended() const {
    return replaced() || client_->state_ == hsReady || client_->state_ == hsAborting;
}

bool RequestGuard::running(const THttpCli* client) {
    for (const RequestGuard* g = t_top; g; g = g->outer_)
        if (g->client_ == client)
            return true;
    return false;
}

void RequestGuard::forget(const THttpCli* client) {
    for (RequestGuard* g = t_top; g; g = g->outer_)
        if (g->client_ == client)
            g->client_ = nullptr;
}

const QStringList& HttpRequestState::headerLinesAsText() const {
    while (headerConverted < headerBytes.size()) {
        const qsizetype end = headerBytes.indexOf('\n', headerConverted);
        responseHeader << QString::fromLatin1(headerBytes.constData() + headerConverted,
                                              end - headerConverted);
        headerConverted = end + 1;
    }
    return responseHeader;
}

namespace {

// A request-done being delivered; nested ones are chained, innermost first.
struct DoneDelivery {
    THttpCli* client; // cleared when the client goes during its handler
    bool release;     // Release() was called from the handler
    DoneDelivery* outer;
};
thread_local DoneDelivery* t_delivery = nullptr;

} // namespace

const QStringList& THttpCli::ResponseHeader() const {
    return rs_.headerLinesAsText();
}

void THttpCli::queueRequestDone() {
    const quint64 rq = request_;
    doneQueued_ = rq;
    // What the request ended with, as it was then: another request may
    // start before this one's request-done is delivered.
    postDeferred(this, [this, rq, type = requestType_, error = rs_.doneError] {
        deliverRequestDone(rq, type, error);
    });
}

void THttpCli::deliverRequestDone(quint64 rq, THttpRequest type, quint16 error) {
    doneFired_ = rq;
    DoneDelivery delivery{this, false, t_delivery};
    t_delivery = &delivery;
    {
        const RequestGuard guard(this);
        try {
            if (OnRequestDone)
                OnRequestDone(this, type, error);
        } catch (const std::exception& e) {
            qWarning("HTTP request-done handler failed: %s", e.what());
        } catch (...) {
            qWarning("HTTP request-done handler failed");
        }
    }
    t_delivery = delivery.outer;
    if (!delivery.client || !delivery.release)
        return;
    // Freed at once, no deferred-delete event: 16 % of a request's
    // instructions on bench_http.
    if (RequestGuard::running(this))
        deleteLater(); // code of this client is still running further down
    else
        delete this;
}

void THttpCli::Release() {
    for (DoneDelivery* d = t_delivery; d; d = d->outer)
        if (d->client == this) {
            d->release = true;
            return;
        }
    deleteLater();
}

void THttpCli::leaveDeliveries() {
    RequestGuard::forget(this);
    for (DoneDelivery* d = t_delivery; d; d = d->outer)
        if (d->client == this)
            d->client = nullptr;
}

} // namespace lb::net
