#pragma once
// THttpCli: the HTTP/1.0 client every fetch and submission goes through, and
// TSTHttpCli, the same client with a request body held as a string.
//
// One request per connection; the document ends when the server closes.
// Events are std::function members, sender first; an unassigned one is
// skipped. Every event fires on the thread that owns the client. Free a
// client from one of its own handlers with Release() or deleteLater(),
// never delete.
//
// https:// goes over TLS: straight to the server, or through the proxy with
// a CONNECT tunnel. Until the handshake has succeeded the state stays
// hsDnsLookupDone; the events that follow are those of http.
#include "net/HttpRequestState.h"
#include "net/HttpUrl.h"
#include "net/IoBuffer.h"
#include "net/WSocket.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

class QIODevice;

namespace lb::net {

class EHttpException : public std::runtime_error {
public:
    EHttpException(const QString& message, quint16 errorCode)
        : std::runtime_error(message.toStdString()), message_(message), ErrorCode(errorCode) {}
    const QString& message() const { return message_; }

private:
    QString message_;

public:
    quint16 ErrorCode;
};

enum THttpState {
    hsReady,
    hsNotConnected,
    hsConnected,
    hsDnsLookup,
    hsDnsLookupDone,
    hsWaitingHeader,
    hsWaitingBody,
    hsAborting
};

enum THttpRequest { httpGET = 1, httpPOST = 2, httpHEAD = 3 };

class THttpCli : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(THttpCli* sender)>;
    using TOnCommand = std::function<void(THttpCli* sender, QString& line)>;
    using TDocDataEvent = std::function<void(THttpCli* sender, const char* buffer, int len)>;
    using TCookieRcvdEvent =
        std::function<void(THttpCli* sender, const QString& data, bool& accept)>;
    using THttpRequestDone =
        std::function<void(THttpCli* sender, THttpRequest rqType, quint16 error)>;

    explicit THttpCli(QObject* parent = nullptr);
    ~THttpCli() override;

    // Published properties.
    QString URL;
    QString Proxy;
    QString ProxyPort = QStringLiteral("80");
    QString Sender;
    QString Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString Reference;
    QString Username;
    QString Password;
    QString ProxyUsername;
    QString ProxyPassword;
    bool NoCache = false;
    QDateTime ModifiedSince; // invalid = not sent
    QString Cookie;
    QString ContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    QString ContentRangeBegin;
    QString ContentRangeEnd;
    bool MultiThreaded = false;
    qintptr Tag = 0;
    QIODevice* ReceiveStream = nullptr; // not owned
    QIODevice* SendStream = nullptr;    // not owned
    // How https servers are checked; the constructor reads the "TLS" section
    // of "zkt.ini" in the program folder (the current directory).
    TlsOptions Tls;

    // Run-time values.
    int StatusCode() const { return rs_.statusCode; }
    QString ReasonPhrase() const { return rs_.reasonPhrase; }
    qint64 ContentLength() const { return rs_.contentLength; }
    QString ContentType() const { return rs_.contentType; }
    QString Location() const { return hop_.location; }
    QString DocumentName() const { return rs_.documentName; }
    QString AcceptRanges() const { return acceptRanges_; }
    // False when the server ended the answer before its body was whole:
    // fewer bytes than its Content-Length, or a TLS stream without its
    // closing alert and no length to go by. The events are those of any
    // other end; callers that keep the page treat it as failed.
    bool BodyComplete() const { return !rs_.bodyCut; }
    // The answer's header lines so far, status line first.
    const QStringList& ResponseHeader() const;
    qint64 ReceivedCount() const { return rs_.receivedCount; }
    qint64 SentCount() const { return rs_.sentCount; }
    THttpState State() const { return state_; }
    THttpRequest RequestType() const { return requestType_; }
    TWSocket* CtrlSocket() const { return socket_; }

    // Operations. The Async ones return at once; the result comes as events
    // ending with OnRequestDone. Get/Post/Head wait, processing events, until
    // the request is done (its OnRequestDone included), then raise
    // EHttpException when StatusCode is 400 or more.
    // After Abort() returns no event of the request fires but the one
    // OnRequestDone (error 3), later.
    void GetAsync();
    void PostAsync();
    void HeadAsync();
    void Get();
    void Post();
    void Head();
    void Abort();
    // Frees the client. Called from its OnRequestDone, it goes as soon as
    // that handler has returned (unless code of the client is still running
    // further down the stack), with no event posted: a run frees thousands.
    // Anywhere else it is deleteLater().
    void Release();

    // Events, in the order they are declared. OnTrace is never fired.
    TNotifyEvent OnTrace;
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnHeaderData;
    TOnCommand OnCommand;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    TNotifyEvent OnSendBegin;
    TDocDataEvent OnSendData;
    TNotifyEvent OnSendEnd;
    TNotifyEvent OnStateChange;
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnLocationChange;
    TCookieRcvdEvent OnCookie;

    // Redirections followed before a request is given up.
    static constexpr int kMaxRedirections = 20;

    // Called before each https connection whose certificate checks the TLS
    // section of "zkt.ini" turned off (and nothing turned on again), on the
    // client's thread; the command line warns with it.
    static void setChecksOffNotice(std::function<void()> notice);

private:
    // The answer fuzz target (fuzz/HttpAnswerFeed.h) hands received bytes to
    // answerReceived() and stands in for the connection in closeConnection().
    friend class HttpAnswerFeed;
    friend class RequestGuard;
    // Closes the connection (only when still open, with onlyWhenOpen); a
    // connected socket reports the close from inside.
    virtual void closeConnection(bool onlyWhenOpen = false);
    // Handles what the receive buffer holds after a read.
    void answerReceived();

    void startRequest(THttpRequest type);
    void doRequestSync(THttpRequest type);
    void login();
    void setState(THttpState s);
    void queueRequestDone();
    void deliverRequestDone(quint64 rq, THttpRequest type, quint16 error);
    // Forgets this client in the guards and request-done deliveries on the stack.
    void leaveDeliveries();
    void fail(int error, const QString& phrase);
    void connectionClosedStep();
    void postSetReady();
    void sendRequest();
    void sendCommand(std::initializer_list<QStringView> parts);
    void sendNextChunk();
    void redirectionStep();
    void beginAnswer();
    void headerLine(const char* data, int len);
    void headerField(std::string_view line);
    void bodyChunk(const char* data, int len);
    void startBody(int from);
    void headerTooLarge();
    void closeOnError();
    void startTls();
    // Scheme, host and port of the current hop, where credentials may go.
    QString hopOrigin() const;

    void socketDnsLookupDone(quint16 error);
    void socketSessionConnected(quint16 error);
    void socketDataAvailable();
    void socketDataSent();
    void socketSessionClosed(quint16 error);
    void socketTlsDone(quint16 error);
    void sessionReady();
    void sendConnect();
    void connectAnswer();

    TWSocket* socket_;
    THttpState state_ = hsReady;
    THttpRequest requestType_ = httpGET;
    HttpRequestState rs_;
    HttpHop hop_;
    QString acceptRanges_;

    // TLS of the current hop. Through a proxy the tunnel goes to
    // tunnelTarget_ and the request line carries originPath_.
    enum class Tunnel { None, ConnectAnswer, Handshake };
    Tunnel tunnel_ = Tunnel::None;
    QString tlsHost_;
    QString tunnelTarget_;
    QString originPath_;
    int tunnelStatus_ = 0;
    QString tunnelPhrase_;
    int tunnelLines_ = 0;
    // Size of the answer header so far, for the limits of HttpLimits.h.
    qint64 headerSize_ = 0;
    int headerLineCount_ = 0;
    bool checksOffBySettings_ = false;
    // The request's server credentials and the one origin they belong to.
    QString authUser_;
    QString authPass_;
    QString authOrigin_;
    qint64 sendStreamStart_ = 0;
    quint64 request_ = 0;    // bumps at every request start: stale posts are ignored
    quint64 doneQueued_ = 0; // last request whose request-done was posted
    quint64 doneFired_ = 0;  // last request whose request-done was delivered

    QByteArray requestHeader_;
    static constexpr int kBufSize = IoBuffer::kSize;
    IoBuffer sendBuffer_; // only for a request body read from SendStream
    IoBuffer receiveBuffer_;
    int receiveLen_ = 0;
    // While a handler of the answer runs, what arrives meanwhile waits here,
    // and so does the server's close, so nothing overtakes the bytes held.
    bool receiving_ = false;
    QByteArray pending_;
    bool closePending_ = false;
    bool ownClose_ = false;
    quint16 closeError_ = 0;
    int lineRest_ = 0; // where the data after the current header line starts
};

class TSTHttpCli : public THttpCli {
    Q_OBJECT
public:
    explicit TSTHttpCli(QObject* parent = nullptr) : THttpCli(parent) {}

    // The request body of PostAsync; written into SendStream as UTF-8.
    QString Stream;

    void PostAsync();
};

} // namespace lb::net
