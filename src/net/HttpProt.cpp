#include "net/HttpProt.h"

#include "common/AsciiText.h"
#include "common/TlsSettings.h"
#include "net/HttpHeader.h"
#include "net/HttpLimits.h"
#include "net/SocketDispatcher.h"
#include "net/SocketErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QIODevice>
#include <QMutex>
#include <QtDebug>

#include <cstring>
#include <sys/stat.h>

namespace lb::net {

namespace {

bool startsWithHtmlTag(const char* p) {
    static const char tag[] = "<HTML>";
    for (int i = 0; i < 6; ++i) {
        char c = p[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        if (c != tag[i])
            return false;
    }
    return true;
}

std::function<void()>& checksOffNotice() {
    static std::function<void()> notice;
    return notice;
}

// The program folder's TLS settings as a new client takes them. A run makes
// thousands of clients: the settings file is read again only when it is
// another file or has changed, which costs one stat per client instead of
// opening and reading it (a third of a request's instructions on bench_http).
TlsSettings currentTlsSettings() {
    struct Cache {
        bool valid = false;
        bool exists = false;
        struct stat st {};
        TlsSettings settings;
    };
    static Cache cache;
    static QMutex mutex;
    struct stat st {};
    // The program folder is the current directory.
    const bool exists = ::stat("zkt.ini", &st) == 0;
    QMutexLocker lock(&mutex);
    if (cache.valid && exists == cache.exists &&
        (!exists ||
         (st.st_dev == cache.st.st_dev && st.st_ino == cache.st.st_ino &&
          st.st_size == cache.st.st_size && st.st_mtim.tv_sec == cache.st.st_mtim.tv_sec &&
          st.st_mtim.tv_nsec == cache.st.st_mtim.tv_nsec &&
          st.st_ctim.tv_sec == cache.st.st_ctim.tv_sec &&
          st.st_ctim.tv_nsec == cache.st.st_ctim.tv_nsec)))
        return cache.settings;
    cache.settings = exists ? TlsSettings::load(QDir::currentPath()) : TlsSettings();
    cache.exists = exists;
    cache.st = st;
    cache.valid = true;
    return cache.settings;
}

} // namespace

// ---- construction ---------------------------------------------------------

THttpCli::THttpCli(QObject* parent) : QObject(parent), socket_(new TWSocket(this)) {
    const TlsSettings tls = currentTlsSettings();
    Tls.verify = tls.verify;
    checksOffBySettings_ = !tls.verify;
    if (!tls.caFile.isEmpty())
        Tls.caFiles << tls.caFilePath(QDir::currentPath());
    socket_->OnTlsDone = [this](TWSocket*, quint16 e) {
        const RequestGuard guard(this);
        socketTlsDone(e);
    };
    socket_->OnDnsLookupDone = [this](TWSocket*, quint16 e) {
        const RequestGuard guard(this);
        socketDnsLookupDone(e);
    };
    socket_->OnSessionConnected = [this](TWSocket*, quint16 e) {
        const RequestGuard guard(this);
        socketSessionConnected(e);
    };
    socket_->OnDataAvailable = [this](TWSocket*, quint16) {
        const RequestGuard guard(this);
        socketDataAvailable();
    };
    socket_->OnDataSent = [this](TWSocket*, quint16) {
        const RequestGuard guard(this);
        socketDataSent();
    };
    socket_->OnSessionClosed = [this](TWSocket*, quint16 e) {
        const RequestGuard guard(this);
        socketSessionClosed(e);
    };
    // An exception inside a socket event aborts the socket; make sure the
    // request still finishes even when no close notification follows.
    socket_->OnBgException = [this](TWSocket*, const std::exception&, bool& canClose) {
        canClose = true;
        const quint64 rq = request_;
        postDeferred(this, [this, rq] {
            const RequestGuard guard(this);
            if (rq == request_ && state_ != hsReady && !rs_.closedStepDone &&
                socket_->State() == wsClosed)
                connectionClosedStep();
        });
    };
}

void THttpCli::setChecksOffNotice(std::function<void()> notice) {
    checksOffNotice() = std::move(notice);
}

THttpCli::~THttpCli() {
    leaveDeliveries();
    // The socket is a child; clear its handlers so nothing calls back into a
    // half-destroyed client.
    socket_->OnDnsLookupDone = nullptr;
    socket_->OnSessionConnected = nullptr;
    socket_->OnDataAvailable = nullptr;
    socket_->OnDataSent = nullptr;
    socket_->OnSessionClosed = nullptr;
    socket_->OnBgException = nullptr;
    socket_->OnTlsDone = nullptr;
}

// ---- state ----------------------------------------------------------------

void THttpCli::setState(THttpState s) {
    if (state_ == s)
        return;
    state_ = s;
    if (s == hsReady && doneQueued_ != request_)
        queueRequestDone(); // one request-done per request, however many ways it ended
    if (OnStateChange)
        OnStateChange(this);
}

void THttpCli::postSetReady() {
    const quint64 rq = request_;
    postDeferred(this, [this, rq] {
        if (rq != request_)
            return;
        const RequestGuard guard(this);
        try {
            setState(hsReady);
        } catch (const std::exception& e) {
            qWarning("HTTP state-change handler failed: %s", e.what());
        } catch (...) {
            qWarning("HTTP state-change handler failed");
        }
    });
}

void THttpCli::fail(int error, const QString& phrase) {
    rs_.doneError = quint16(error);
    rs_.statusCode = 404;
    rs_.reasonPhrase = phrase;
}

void THttpCli::connectionClosedStep() {
    if (rs_.closedStepDone)
        return;
    rs_.closedStepDone = true;
    const RequestGuard guard(this);
    if (rs_.bodyChunks > 0 && OnDocEnd)
        OnDocEnd(this);
    if (!guard.replaced())
        postSetReady();
}

// ---- starting -------------------------------------------------------------

void THttpCli::GetAsync() {
    startRequest(httpGET);
}
void THttpCli::PostAsync() {
    startRequest(httpPOST);
}
void THttpCli::HeadAsync() {
    startRequest(httpHEAD);
}
void THttpCli::Get() {
    doRequestSync(httpGET);
}
void THttpCli::Post() {
    doRequestSync(httpPOST);
}
void THttpCli::Head() {
    doRequestSync(httpHEAD);
}

void THttpCli::doRequestSync(THttpRequest type) {
    const RequestGuard guard(this);
    startRequest(type);
    const quint64 rq = request_;
    // Waits for the next event instead of spinning; other components keep working.
    while (guard.alive() && state_ != hsReady)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!guard.alive())
        throw EHttpException(QStringLiteral("Connection aborted on request"), 404);
    const int status = rs_.statusCode;
    const QString phrase = rs_.reasonPhrase;
    // The request-done is already queued: deliver it before returning, so
    // nothing of this request reaches the caller after the call.
    while (guard.alive() && doneQueued_ == rq && doneFired_ != rq)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (status >= 400)
        throw EHttpException(phrase, quint16(status));
}

void THttpCli::startRequest(THttpRequest type) {
    if (state_ != hsReady)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (type == httpPOST && !SendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);

    ++request_;
    const RequestGuard guard(this);
    rs_ = HttpRequestState();
    requestType_ = type;
    receiveLen_ = 0;
    hop_.location = URL;
    sendStreamStart_ = SendStream ? SendStream->pos() : 0;
    setState(hsNotConnected);
    if (guard.replaced() || state_ != hsNotConnected)
        return; // a state-change handler aborted or restarted

    // Views into URL, which stays as it is until the request has started.
    const UrlParts url = splitUrlViews(URL);
    hop_.targetHost = url.host.toString();
    // Credentials written in the URL are for this request only; the
    // properties keep what the caller set.
    authUser_ = url.user.isEmpty() ? Username : url.user.toString();
    authPass_ = url.user.isEmpty() ? Password : url.pass.toString();
    hop_.tls = isHttps(url.proto);
    if (Proxy.isEmpty()) {
        hop_.hostName = hop_.targetHost;
        hop_.path = url.path.toString();
        hop_.port = !url.port.isEmpty() ? url.port.toString() : defaultPort(hop_.tls);
    } else {
        hop_.path = (url.proto.isEmpty() ? QStringLiteral("http") : url.proto.toString()) +
                    QLatin1String("://") + bracketed(hop_.targetHost) +
                    (url.port.isEmpty() ? QString() : QLatin1Char(':') + url.port.toString()) +
                    url.path.toString();
        const UrlParts proxy = splitUrlViews(Proxy);
        hop_.hostName = proxy.host.toString();
        hop_.port = proxy.port.isEmpty() ? ProxyPort : proxy.port.toString();
    }
    if (hop_.path.isEmpty())
        hop_.path = QStringLiteral("/");
    authOrigin_ = authUser_.isEmpty() ? QString() : hopOrigin();
    rs_.documentName = documentNameOf(url.path);
    login();
}

void THttpCli::login() {
    const RequestGuard guard(this);
    rs_.closedStepDone = false;
    pending_.clear();
    closePending_ = false;
    if (requestType_ == httpPOST && rs_.redirections > 0 && SendStream)
        SendStream->seek(sendStreamStart_); // the body goes again to the new place
    tunnel_ = Tunnel::None;
    if (!Proxy.isEmpty()) {
        // Through a proxy the request path names the server of this hop.
        QString proto, user, pass, host, port, path;
        SplitUrl(hop_.path, proto, user, pass, host, port, path);
        hop_.tls = isHttps(proto);
        tlsHost_ = host;
        tunnelTarget_ =
            bracketed(host) + QLatin1Char(':') + (port.isEmpty() ? QStringLiteral("443") : port);
        originPath_ = path.isEmpty() ? QStringLiteral("/") : path;
    } else {
        tlsHost_ = hop_.targetHost;
    }
    setState(hsDnsLookup);
    if (guard.replaced() || state_ != hsDnsLookup)
        return;
    try {
        socket_->DnsLookup(hop_.hostName);
    } catch (const ESocketException&) {
        // An empty host name: treat as a lookup that found nothing.
        if (!guard.replaced() && state_ == hsDnsLookup)
            socketDnsLookupDone(wsaEINVAL);
    }
}

void THttpCli::socketDnsLookupDone(quint16 error) {
    if (state_ != hsDnsLookup)
        return; // aborting, or a late answer
    if (error != 0) {
        fail(error, QStringLiteral("can't resolve hostname to IP address"));
        connectionClosedStep();
        return;
    }
    const RequestGuard guard(this);
    setState(hsDnsLookupDone);
    if (guard.replaced() || state_ != hsDnsLookupDone)
        return;
    try {
        socket_->setAddr(socket_->DnsResult());
        socket_->setPort(hop_.port);
        socket_->setProto(QStringLiteral("tcp"));
        socket_->Connect();
    } catch (const ESocketException&) {
        const int e = socket_->LastError();
        fail(e, QStringLiteral("can't connect: %1 (Error #%2)").arg(socketErrorDesc(e)).arg(e));
        socket_->Close();
        connectionClosedStep();
    }
}

void THttpCli::socketSessionConnected(quint16 error) {
    if (state_ != hsDnsLookupDone)
        return;
    if (error != 0) {
        fail(error, QStringLiteral("%1 (Error #%2)").arg(socketErrorDesc(error)).arg(error));
        connectionClosedStep();
        return;
    }
    if (hop_.tls && !Proxy.isEmpty()) {
        sendConnect();
        return;
    }
    if (hop_.tls) {
        startTls();
        return;
    }
    sessionReady();
}

void THttpCli::startTls() {
    tunnel_ = Tunnel::Handshake;
    if (checksOffBySettings_ && !Tls.verify && checksOffNotice())
        checksOffNotice()();
    socket_->StartTls(Tls, tlsHost_);
}

void THttpCli::socketTlsDone(quint16 error) {
    if (state_ != hsDnsLookupDone || tunnel_ != Tunnel::Handshake || error != 0)
        return;
    tunnel_ = Tunnel::None;
    sessionReady();
}

void THttpCli::sessionReady() {
    const RequestGuard guard(this);
    setState(hsConnected);
    if (guard.ended())
        return;
    if (OnSessionConnected)
        OnSessionConnected(this);
    if (guard.ended())
        return;
    beginAnswer();
    setState(hsWaitingHeader);
    if (guard.ended())
        return;
    sendRequest();
}

void THttpCli::beginAnswer() {
    rs_.lineHandler = LineHandler::Header;
    receiveLen_ = 0;
    headerSize_ = 0;
    headerLineCount_ = 0;
}

// ---- the answer -----------------------------------------------------------

void THttpCli::closeConnection(bool onlyWhenOpen) {
    if (!onlyWhenOpen || socket_->State() != wsClosed)
        socket_->Close();
}

void THttpCli::socketDataAvailable() {
    if (state_ == hsDnsLookupDone && tunnel_ == Tunnel::ConnectAnswer) {
        connectAnswer();
        return;
    }
    if (state_ != hsWaitingHeader && state_ != hsWaitingBody)
        return; // nothing expected: the socket drops what came
    if (receiving_) {
        // A handler of this answer lets events run: keep what arrives here;
        // the pass on the stack hands it on in order once it is done with
        // the bytes it holds.
        char chunk[kBufSize];
        const int n = socket_->Receive(chunk, kBufSize - 1);
        if (n > 0)
            pending_.append(chunk, n);
        return;
    }
    if (receiveLen_ >= kBufSize - 1) {
        // A line that does not fit: the socket aborts the connection and the
        // request ends as a closed connection, keeping the status it had.
        throw EHttpException(QStringLiteral("HTTP line too long"), 4);
    }
    const int n = socket_->Receive(receiveBuffer_.data() + receiveLen_, kBufSize - 1 - receiveLen_);
    if (n <= 0)
        return;
    receiveLen_ += n;

    const RequestGuard guard(this);
    receiving_ = true;
    struct Reset {
        const RequestGuard& guard;
        ~Reset() {
            if (THttpCli* client = guard.client())
                client->receiving_ = false;
        }
    } reset{guard};
    answerReceived();
    while (guard.alive() && !pending_.isEmpty() &&
           (state_ == hsWaitingHeader || state_ == hsWaitingBody)) {
        if (state_ == hsWaitingBody && receiveLen_ == 0) {
            QByteArray piece;
            piece.swap(pending_);
            bodyChunk(piece.constData(), int(piece.size()));
            continue;
        }
        const int room = kBufSize - 1 - receiveLen_;
        if (room <= 0)
            throw EHttpException(QStringLiteral("HTTP line too long"), 4);
        const int take = int(qMin<qsizetype>(room, pending_.size()));
        std::memcpy(receiveBuffer_.data() + receiveLen_, pending_.constData(), size_t(take));
        pending_.remove(0, take);
        receiveLen_ += take;
        answerReceived();
    }
    if (!guard.alive())
        return;
    pending_.clear();
    receiving_ = false;
    if (closePending_) {
        closePending_ = false;
        socketSessionClosed(closeError_);
    }
}

void THttpCli::answerReceived() {
    if (state_ == hsWaitingBody) {
        const int len = receiveLen_;
        receiveLen_ = 0;
        bodyChunk(receiveBuffer_.data(), len);
        return;
    }
    if (state_ != hsWaitingHeader)
        return;

    const RequestGuard guard(this);
    int start = 0;
    while (start < receiveLen_) {
        const int avail = receiveLen_ - start;
        char* p = receiveBuffer_.data() + start;
        if (avail >= 6 && startsWithHtmlTag(p)) {
            // An answer without a header: this line and the rest are the body.
            if (rs_.headerLines++ == 0 && OnHeaderBegin) {
                OnHeaderBegin(this);
                if (guard.ended())
                    return;
            }
            if (rs_.contentType.isEmpty())
                rs_.contentType = QStringLiteral("text/html");
            startBody(start);
            return;
        }
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(avail)));
        if (!lf)
            break;
        int lineLen = int(lf - p);
        const int next = start + lineLen + 1;
        headerSize_ += next - start;
        if (headerSize_ > limits::kMaxHeaderBytes || ++headerLineCount_ > limits::kMaxHeaderLines) {
            headerTooLarge();
            return;
        }
        if (lineLen > 0 && p[lineLen - 1] == '\r')
            --lineLen;
        lineRest_ = next;
        headerLine(p, lineLen);
        if (guard.ended())
            return; // aborted by a handler: nothing more of this answer
        if (rs_.lineHandler == LineHandler::Body || receiveLen_ == 0)
            return; // the rest went to the body, or was discarded for a redirection
        start = next;
    }
    if (start > 0) {
        std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + start,
                     size_t(receiveLen_ - start));
        receiveLen_ -= start;
    }
}

// A server that sends header lines without end would fill the memory; the
// answer ends here as failed, the rest unread.
void THttpCli::headerTooLarge() {
    rs_.statusCode = 404;
    rs_.reasonPhrase = QStringLiteral("HTTP header too large");
    receiveLen_ = 0;
    pending_.clear();
    closeOnError();
}

// Ends the answer now, not after what is buffered.
void THttpCli::closeOnError() {
    const RequestGuard guard(this);
    ownClose_ = true;
    closeConnection(true);
    if (guard.alive())
        ownClose_ = false;
}

void THttpCli::startBody(int from) {
    const RequestGuard guard(this);
    rs_.lineHandler = LineHandler::Body;
    setState(hsWaitingBody);
    if (guard.ended())
        return;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (guard.ended())
        return;
    const int len = receiveLen_ - from;
    receiveLen_ = 0;
    if (len > 0) {
        if (from > 0)
            std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + from, size_t(len));
        bodyChunk(receiveBuffer_.data(), len);
    }
}

void THttpCli::headerLine(const char* data, int len) {
    const RequestGuard guard(this);
    if (rs_.headerLines++ == 0 && OnHeaderBegin) {
        OnHeaderBegin(this);
        if (guard.ended())
            return;
    }

    if (len == 0) {
        if (rs_.locationSeen) {
            if (OnHeaderEnd)
                OnHeaderEnd(this);
            if (guard.ended())
                return;
            receiveLen_ = 0;
            rs_.headerLines = 0;
            rs_.bodyChunks = 0;
            rs_.closedStep = ClosedStep::Redirect;
            closeConnection();
            return;
        }
        if (rs_.documentName.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) &&
            rs_.contentType == QLatin1String("text/html")) {
            rs_.documentName.chop(3);
            rs_.documentName += QLatin1String("htm");
        }
        startBody(lineRest_);
        return;
    }

    const qsizetype at = rs_.headerBytes.size();
    if (at == 0)
        rs_.headerBytes.reserve(512); // one allocation for a usual header
    rs_.headerBytes.resize(at + len + 1);
    std::memcpy(rs_.headerBytes.data() + at, data, size_t(len));
    rs_.headerBytes[at + len] = '\n';

    const std::string_view line(data, size_t(len));
    if (line.starts_with("HTTP/1.0") || line.starts_with("HTTP/1.1")) {
        // One that cannot be judged counts as 404: the rule below closes it.
        StatusLine status = parseStatusLine(line);
        rs_.statusCode = status.code;
        rs_.reasonPhrase = std::move(status.phrase);
    } else {
        headerField(line);
        if (guard.ended())
            return;
    }
    if (OnHeaderData) {
        OnHeaderData(this);
        if (guard.ended())
            return;
    }
    if (rs_.statusCode >= 400)
        closeOnError();
}

void THttpCli::headerField(std::string_view line) {
    std::string_view name, value;
    if (!splitHeaderField(line, name, value))
        return;
    // Compared on the bytes: every answer has several header lines, and
    // most of them are of no interest. The line is Latin-1, where only
    // A-Z fold to the ASCII names.
    auto is = [&name](std::string_view known) { return asciiEqualsIgnoreCase(name, known); };
    auto text = [&value] { return QString::fromLatin1(value.data(), qsizetype(value.size())); };
    if (is("location")) {
        rs_.locationSeen = true;
        followLocation(hop_, text(), !Proxy.isEmpty());
    } else if (is("content-length")) {
        if (const std::optional<qint64> n = parseContentLength(value))
            rs_.contentLength = *n;
    } else if (is("content-range")) {
        parseContentRange(text(), ContentRangeBegin, ContentRangeEnd);
    } else if (is("accept-ranges")) {
        acceptRanges_ = text();
    } else if (is("content-type")) {
        rs_.contentType = lowerLatin1(value);
    } else if (is("www-authenticate")) {
        rs_.authenticate << text();
    } else if (is("set-cookie") && OnCookie) {
        bool accept = true;
        OnCookie(this, text(), accept);
    }
}

void THttpCli::bodyChunk(const char* data, int len) {
    if (len <= 0)
        return;
    if (rs_.bodyChunks++ == 0 && OnDocBegin) {
        const RequestGuard guard(this);
        OnDocBegin(this);
        if (guard.ended())
            return;
    }
    rs_.receivedCount += len;
    if (ReceiveStream)
        ReceiveStream->write(data, len);
    if (OnDocData)
        OnDocData(this, data, len);
}

void THttpCli::socketSessionClosed(quint16 error) {
    if (receiving_) {
        if (!ownClose_ && rs_.closedStep == ClosedStep::Normal &&
            (state_ == hsWaitingHeader || state_ == hsWaitingBody)) {
            // The server closed while a handler of this answer lets events
            // run: the answer ends after the bytes still to be handed on.
            closePending_ = true;
            closeError_ = error;
            return;
        }
        pending_.clear(); // bytes of a connection that is gone
    }
    if (rs_.closedStep == ClosedStep::Redirect) {
        redirectionStep();
        return;
    }
    if (state_ != hsAborting && state_ != hsReady) {
        if (tunnel_ == Tunnel::ConnectAnswer) {
            fail(error ? int(error) : int(wsaECONNABORTED),
                 QStringLiteral("TLS: handshake failed: connection closed"));
        } else if (tunnel_ == Tunnel::Handshake || !socket_->TlsError().isEmpty()) {
            const QString text = socket_->TlsError();
            fail(error ? int(error) : int(wsaECONNABORTED),
                 text.isEmpty() ? QStringLiteral("TLS: handshake failed: connection closed")
                                : text);
        }
    }
    if (state_ == hsWaitingBody && !ownClose_ && requestType_ != httpHEAD &&
        rs_.statusCode != 204 && rs_.statusCode != 304) {
        // The server ended the body: short of its length, or (without one)
        // a TLS stream with no closing alert, it was cut off.
        rs_.bodyCut = rs_.contentLength >= 0 ? rs_.receivedCount < rs_.contentLength
                                             : hop_.tls && !socket_->TlsCloseNotifyReceived();
    }
    tunnel_ = Tunnel::None;
    // A close, even a reset by the peer, ends the request without an error
    // number: only lookup, connect and Abort set one.
    connectionClosedStep();
}

// ---- aborting -------------------------------------------------------------

void THttpCli::Abort() {
    const RequestGuard guard(this);
    if (state_ == hsReady) {
        if (socket_->State() != wsClosed)
            socket_->Close();
        return;
    }
    if (state_ == hsAborting)
        return;
    const bool lookup = state_ == hsDnsLookup;
    setState(hsAborting);
    if (guard.replaced())
        return;
    if (lookup) {
        try {
            socket_->CancelDnsLookup();
        } catch (...) {
        }
    }
    rs_.statusCode = 404;
    rs_.reasonPhrase = QStringLiteral("Connection aborted on request");
    rs_.doneError = 3;
    pending_.clear();
    closePending_ = false;
    rs_.closedStep = ClosedStep::Normal;
    if (lookup)
        connectionClosedStep();
    else
        closeConnection();
    if (guard.replaced())
        return;
    rs_.closedStepDone = true;
    setState(hsReady);
}

// ---- string body ----------------------------------------------------------

void TSTHttpCli::PostAsync() {
    if (State() != hsReady)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (!SendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);
    if (!SendStream->isOpen())
        SendStream->open(QIODevice::ReadWrite);
    SendStream->write(Stream.toUtf8());
    SendStream->seek(0);
    THttpCli::PostAsync();
}

} // namespace lb::net
