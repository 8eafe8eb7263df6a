#pragma once
// What the HTTP client keeps about the request it is running, and the guard
// its code holds while it calls out to handlers.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lb::net {

class THttpCli;

// Where the next received line goes.
enum class LineHandler { Header, Body };
// What the close of the connection leads to.
enum class ClosedStep { Normal, Redirect };

// The answer so far and how far the request got; every request starts from
// a fresh one.
struct HttpRequestState {
    int statusCode = 0;
    QString reasonPhrase;
    qint64 contentLength = -1;
    QString contentType;
    QString documentName;
    // Header lines as received, each ended by '\n'; they become strings
    // only when someone asks for them.
    QByteArray headerBytes;
    mutable QStringList responseHeader;
    mutable qsizetype headerConverted = 0; // bytes of headerBytes in responseHeader
    QStringList authenticate;              // recorded, never used
    qint64 receivedCount = 0;
    qint64 sentCount = 0;
    int headerLines = 0;
    int bodyChunks = 0;
    int redirections = 0;
    bool bodyCut = false;
    bool allowedToSend = false;
    bool locationSeen = false;
    quint16 doneError = 0; // the error number its request-done reports
    LineHandler lineHandler = LineHandler::Header;
    ClosedStep closedStep = ClosedStep::Normal;
    bool closedStepDone = true;

    // The header lines not yet converted, appended to responseHeader.
    const QStringList& headerLinesAsText() const;
};

// Held by the client's code around every call out to a handler: a handler
// may abort the request, start another one or free the client. While a
// guard lives the client counts as running on this thread, so Release()
// from a nested request-done does not free it under our feet. Guards are
// chained on the stack; a client that goes clears its own (nothing to
// allocate per guard, unlike a QPointer).
class RequestGuard {
public:
    explicit RequestGuard(THttpCli* client);
    ~RequestGuard() { t_top = outer_; }
    RequestGuard(const RequestGuard&) = delete;
    RequestGuard& operator=(const RequestGuard&) = delete;

    // The client is gone or runs another request.
    bool replaced() const;
    // replaced(), or the request is over or being aborted: no further event
    // of it may fire.
    bool ended() const;
    bool alive() const { return client_ != nullptr; }
    THttpCli* client() const { return client_; }

    // Whether code of the client is on this thread's stack.
    static bool running(const THttpCli* client);
    // Called by a client that goes: its guards see it gone.
    static void forget(const THttpCli* client);

private:
    THttpCli* client_;
    quint64 request_;
    RequestGuard* outer_;
    static thread_local RequestGuard* t_top;
};

} // namespace lb::net
